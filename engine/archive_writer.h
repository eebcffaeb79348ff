// archive_writer.h -- the pieces of the repaired archive: what each entry
// becomes in it (its local header, data and descriptor) and the central
// directory and end records behind them. The rebuild after a scan and the
// one-pass repair write the same bytes through these.
#pragma once

#include "file_info.h"
#include "streams.h"
#include "zip_records.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tessary {

// The sizes and flags the repaired archive gives an entry whose local header
// lands at `headerOffset`.
TWrittenEntry AsWritten(const TFileInfo& e, int64_t fileSize, int64_t headerOffset);

// One entry as the repaired archive holds it in front of the directory.
struct TLocalPart {
    std::string Header;     // the fresh local header
    int64_t DataOffset = 0; // of its data in the damaged file
    int64_t DataLength = 0;
    std::string Descriptor; // behind the data, where the entry keeps one
    int64_t Planned = 0;    // what the entry counts against MostBytesToWrite
};

TLocalPart LocalPartOf(const TFileInfo& e, int64_t fileSize);
void WriteLocalPart(TOutputStream& out, TInputStream& input, const TLocalPart& part);

// What an entry takes in the repaired archive, and the most all of them may
// take: entries whose claimed data overlaps (headers inside a damaged entry's
// data) are copied more than once, so a hostile file could otherwise make
// the repaired archive far larger than itself.
int64_t PlannedBytes(const TFileInfo& e, int64_t fileSize);
int64_t MostBytesToWrite(int64_t fileSize);
[[noreturn]] void RefuseOverlappingEntries(const std::string& inputName);

// Writes the central directory of `count` entries, the k-th header made by
// `centralHeader(k)`, then the end records with the recovered comment.
void WriteDirectory(TOutputStream& out, size_t count,
                    const std::function<std::string(size_t k)>& centralHeader);

} // namespace tessary
