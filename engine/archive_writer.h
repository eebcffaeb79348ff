// archive_writer.h -- the one writer of the repaired archive: entry by entry
// a fresh local header and the entry's data, then the central directory and
// the end records. The rebuild after a scan and the one-pass repair both
// feed it; what it writes of an entry depends on the entry and its plan
// alone.
#pragma once

#include "arcsalve.h"
#include "file_info.h"
#include "streams.h"
#include "zip_records.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tessary {

// The values the repaired archive's headers give an entry written by `plan`
// whose local header lands at `headerOffset`. The fields only a central
// header holds (made by, attributes) are left out: they are the directory's.
TFileHeader WrittenHeader(const TFileInfo& e, const TEntryPlan& plan, int64_t fileSize,
                          int64_t headerOffset);

// Conclusions the writer draws itself, for the reasons an entry shows:
// an entry longer than the whole damaged file keeps a megabyte of its data;
// a name flagged as UTF-8 that is not loses the flag.
bool IsImplausiblyLong(const TFileInfo& e, int64_t fileSize);
// The bytes of the entry's data the damaged file holds, and the 0xFF bytes
// written behind data cut off by the end of the file for readers that would
// otherwise wait for its end (bzip2 only).
int64_t BytesInFile(const TFileInfo& e, int64_t fileSize);
int64_t CutStreamTail(const TFileInfo& e, int64_t fileSize);
bool DropsUtf8Flag(const TFileInfo& e);

// What an entry takes in the repaired archive, and the most all of them may
// take: entries whose claimed data overlaps (headers inside a damaged entry's
// data) are copied more than once, so a hostile file could otherwise make
// the repaired archive far larger than itself.
int64_t PlannedBytes(const TFileInfo& e, const TEntryPlan& plan, int64_t fileSize);
int64_t MostBytesToWrite(int64_t fileSize);

class TArchiveWriter {
public:
    // Throws before anything is created when `path` may not take the
    // repaired archive of `input`: it names the damaged file itself, or
    // there is no output.
    static void CheckTarget(const TInputStream& input, const std::string& path,
                            const TOutputFactory& create);

    // `onCopied` is called while a large entry's data is copied, with the
    // offset in the damaged file reached, so that progress can be shown
    // inside one entry. The output is created with the first entry.
    TArchiveWriter(TInputStream& input, std::string path, TOutputFactory create,
                   std::function<void(int64_t inputOffset)> onCopied = {});
    ~TArchiveWriter(); // an unfinished archive is discarded

    // Writes one entry as `plan` says (leaving it out writes nothing).
    // Refuses with nothing left under the name once the entries so far
    // would take more than MostBytesToWrite.
    void Add(const TFileInfo& e, const TEntryPlan& plan = {});
    // Writes the directory and the end records and commits the archive.
    void Finish();

    size_t Written() const { return FWritten.size(); }
    // Bytes the entries written so far count against the bound.
    int64_t Planned() const { return FPlanned; }

private:
    struct TWritten {
        const TFileInfo* Entry;
        int64_t Offset; // of its local header in the repaired archive
    };
    TOutputStream& Output();
    std::string CentralHeaderOf(const TWritten& w, const TEntryPlan& plan);

    TInputStream& FInput;
    int64_t FFileSize;
    std::string FPath;
    TOutputFactory FCreate;
    std::function<void(int64_t)> FOnCopied;
    std::unique_ptr<TOutputStream> FOut;
    // In a deque: its blocks do not double, as a vector's storage would, for
    // a million entries.
    std::deque<TWritten> FWritten;
    std::vector<std::pair<size_t, TEntryPlan>> FSalvaged; // by index into FWritten
    int64_t FPlanned = 0;
};

} // namespace tessary
