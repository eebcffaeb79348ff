// arcsalve.h -- TArcsalve, the repair engine: scans a damaged file for ZIP
// entries and writes them into a new, well-formed archive.
#pragma once

#include "file_info.h"
#include "signature_scan.h"
#include "streams.h"
#include "text_mode_view.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tessary {

// Called at most once per progress interval (100 ms unless the options say
// otherwise) of engine work plus once at the end of each
// run: the percentage (may exceed 100; the receiver clamps it) and a decimal
// count. Returning false asks the engine to stop at this point.
using TProgressEvent = std::function<bool(int32_t percent, const char* text)>;

struct TArcsalveOptions {
    // Size of the scan's read buffer. The result never depends on it; tests
    // shrink it to put every record across a buffer boundary.
    size_t BufferSize = 1 << 20;
    TTickSource TickCount = SteadyTickCount;
    // The least time between two progress events, in milliseconds.
    uint32_t ProgressInterval = 100;
    // Creates the repaired archive for GetRecovered.
    TOutputFactory CreateOutput;
    // The most entries one scan keeps; a hostile file of back-to-back headers
    // cannot exhaust memory. Headers beyond it are counted but not kept.
    size_t MaxEntries = 4'000'000;
    // Whether the scan fills FView, the results list's records; a caller
    // that reads Entries() alone saves their memory.
    bool BuildView = true;
    // Whether the engine first looks at the start of the file for the damage
    // of a text-mode transfer (line ends changed) and, where it finds it,
    // undoes it in every entry whose data then matches its CRC-32. The
    // entries are then those of the file with the damage undone.
    bool UndoTextMode = true;
};

// What the rebuild does with one entry: copies it as found, leaves it out, or
// writes it as a stored entry holding the first `Size` bytes its data decodes
// to (whose CRC-32 is `Crc32`), for an entry whose stream breaks.
struct TEntryPlan {
    enum TAction : uint8_t { Copy, LeaveOut, Salvage };
    TAction Action = Copy;
    uint32_t Crc32 = 0;
    int64_t Size = 0;
};
// Asked once per entry, in order, just before the entry is written.
using TEntryPlanner = std::function<TEntryPlan(size_t index)>;

inline constexpr const char* RecoveredComment = "This Zip file has been recovered!";

class TArcsalve {
public:
    // The engine owns `input` from here on.
    TArcsalve(std::unique_ptr<TInputStream> input, TProgressEvent onProgress,
              TArcsalveOptions options = {});
    ~TArcsalve();
    TArcsalve(const TArcsalve&) = delete;
    TArcsalve& operator=(const TArcsalve&) = delete;

    // Finds every entry of the damaged file and fills FView. Call once.
    void BeginScanFile();

    // Writes the repaired archive to `path` (through the output factory).
    // Creates nothing when no entry was found. Throws EArcsalveError when the
    // archive cannot be created or written, or `path` names the damaged file;
    // in every such case nothing is left under `path`. Call at most once.
    // Without a planner every entry is copied as found.
    void GetRecovered(const std::string& path, const TEntryPlanner& plan = {});

    // Scans and writes the repaired archive in one pass, with the result of
    // BeginScanFile followed by GetRecovered without a planner: the same
    // entries, bytes and order, FView included. A second thread scans while
    // this one writes each entry as soon as nothing further on in the file
    // can change it; progress is reported from this thread. The first false
    // from the progress event stops the scan, and the entries found so far
    // are still written; once the scan is over, it stops the writing after
    // the current entry. Errors are those of GetRecovered, and the input's
    // read errors; whatever ends the run early, the archive holds only whole
    // entries, or nothing is left under `path`. Call instead of both.
    void ScanAndRecover(const std::string& path);

    // One view record per entry, in the order of Entries().
    std::vector<TInfoForView> FView;

    // The damaged file's size.
    int64_t FileSize() const { return FFileSize; }
    // The files of a damaged archive in parts, in order; empty for one file.
    const std::vector<TInputPart>& InputParts() const { return FInput->Parts(); }
    // Every record the scan found, as found.
    const TScanEvidence& Evidence() const { return FEvidence; }
    // The entries concluded from them, in file order, followed by those
    // rebuilt from central headers whose local header was destroyed (in the
    // directory's order); nothing changes them after the scan.
    const std::deque<TFileInfo>& Entries() const { return FEntries; }
    // Entries the rebuild wrote (fewer than found after a stop).
    size_t WrittenEntries() const { return FWritten; }
    // Headers the scan recognised beyond MaxEntries (kept out of the list).
    uint64_t DroppedEntries() const { return FDroppedEntries; }
    // The scan stopped before the end of the file because the names and extra
    // fields it held reached its memory budget (or memory ran out).
    bool StoppedByMemory() const { return FOutOfMemory; }
    // ScanAndRecover's scan was stopped by the progress event.
    bool ScanWasStopped() const { return FScanStopped; }

    // The damage of a text-mode transfer found at the start of the file
    // (None: none found). Where entries were restored, the engine reads the
    // file with the damage undone: the offsets of Entries(), of their
    // reasons and FileSize() are those of the restored file.
    TTextModeDamage TextModeDamage() const { return FTextModeDamage; }
    // Entries of Entries() whose line ends were restored (they carry
    // ReasonTextModeUndone), and entries that showed the damage but whose
    // data did not match its CRC-32 however it was read (left as found).
    size_t TextModeRestored() const { return FTextModeMarked; }
    size_t TextModeNotRestored() const { return FTextModeNotRestored; }
    // Another reader of the damaged file (for the content check on threads
    // of its own), reading it as the engine does: with the damage undone.
    std::unique_ptr<TInputStream> ReadAsScanned(std::unique_ptr<TInputStream> damaged) const;

private:
    static int32_t Percent(int64_t part, int64_t whole);
    bool Report(int32_t percent, uint64_t count);
    bool ReportIfDue(int32_t percent, uint64_t count);
    void BuildView();
    // Before the scan: looks for text-mode damage and, where entries could
    // be restored, reads the file through the edits from here on. False
    // when the progress event asked to stop meanwhile.
    bool PrepareInput();
    void MarkTextModeEntries(size_t upTo);
    // The scan: `tick` after each block of the file with the bytes searched
    // and the headers found (false stops it); `onSettled`, when given, after
    // each block with how many entries at the front of FEntries are final
    // but for what a central directory header adds, unless FScanExact turns
    // out false at the end. Returns the bytes searched.
    int64_t Scan(const std::function<bool(int64_t scanned, uint64_t found)>& tick,
                 const std::function<void(size_t settled)>& onSettled);

    std::unique_ptr<TInputStream> FInput;
    int64_t FFileSize = 0;
    TScanEvidence FEvidence;
    std::deque<TFileInfo> FEntries; // point into FEvidence
    TProgressEvent FOnProgress;
    TArcsalveOptions FOptions;
    uint32_t FLastTick = 0;
    uint64_t FDroppedEntries = 0;
    size_t FWritten = 0;
    bool FOutOfMemory = false;
    bool FScanStopped = false;
    bool FScanExact = true; // the entries handed on mid-scan were final
    bool FScanned = false;
    bool FRebuilt = false;
    bool FInputPrepared = false;
    TTextModeDamage FTextModeDamage = TTextModeDamage::None;
    std::shared_ptr<const TEditList> FTextModeEdits;
    std::vector<int64_t> FTextModeRestored; // restored offsets of their local headers
    size_t FTextModeNotRestored = 0;
    size_t FTextModeMarked = 0; // entries marked
    size_t FMarkedUpTo = 0;     // entries looked at for the mark
};

} // namespace tessary
