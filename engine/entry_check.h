// entry_check.h -- the content check of every found entry, run on a pool of
// worker threads beside the rebuild (or on its own after a scan), and what
// the rebuild does with an entry whose check failed.
#pragma once

#include "content_check.h"
#include "file_info.h"
#include "streams.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tessary {

// Where the entry's data lies in the damaged file and what the repaired
// archive's headers will claim of it: the check answers whether a reader of
// the repaired archive gets the content those headers promise.
TEntryData EntryDataOf(const TFileInfo& e);

// Checks one entry as the repaired archive will hold it: data cut off by the
// end of the damaged file is cut off there too.
TCheckResult CheckEntry(TInputStream& input, const TFileInfo& e, const TCheckOptions& options = {});

// Whether a failed entry may be written as a stored entry holding the bytes
// that decoded correctly before the break: a deflated stream that is cut off
// or broken, or stored data that is cut off.
bool IsSalvageable(const TFileInfo& e, const TCheckResult& r);

inline bool CheckFailed(const TCheckResult& r) {
    return r.Outcome == TCheckOutcome::CrcMismatch || r.Outcome == TCheckOutcome::DataError ||
           r.Outcome == TCheckOutcome::Truncated;
}

// The most bytes the checks of one archive decode together: more than any
// archive of honest entries needs (deflate expands at most 1,032 times),
// and a bound for one whose entries claim the same data many times over.
int64_t MaxDecodedBytes(int64_t fileSize);

// Checks entries in parallel on `threads` workers. Workers take entries in
// order and run at most `ahead` entries beyond the last one the caller has
// asked for, so a stopped rebuild does not leave them checking the rest of a
// large archive. Memory: one check window per worker plus a result per entry.
class TParallelCheck {
public:
    TParallelCheck(TInputStream& input, const std::deque<TFileInfo>& entries, unsigned threads,
                   size_t ahead);
    ~TParallelCheck(); // stops the workers at their next window and joins them
    TParallelCheck(const TParallelCheck&) = delete;
    TParallelCheck& operator=(const TParallelCheck&) = delete;

    // Waits for entry `index`'s result. A read failure of the input during
    // that entry's check is thrown here.
    const TCheckResult& Wait(size_t index);
    // Lets the workers run on to entry `index` + ahead without waiting.
    void Release(size_t index);
    // The result if the check of `index` has finished, else null.
    const TCheckResult* Result(size_t index) const;

private:
    void Work();

    TInputStream& FInput;
    const std::deque<TFileInfo>& FEntries;
    size_t FAhead;
    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    size_t FNext = 0;     // the next entry a worker takes
    size_t FReleased = 0; // workers may take entries below FReleased + FAhead
    std::atomic<bool> FStopping{false};
    std::atomic<int64_t> FDecodeLeft; // of MaxDecodedBytes
    std::vector<TCheckResult> FResults;
    std::vector<char> FDone;
    std::vector<std::exception_ptr> FErrors; // few: only entries whose read failed
    std::vector<size_t> FErrorIndex;
    std::vector<std::thread> FWorkers;
};

// Writes what decodes correctly of the entry's data to `out`, at most `size`
// bytes: the content a salvaged entry holds. Decoding is deterministic, so
// these are the bytes whose CRC-32 and count the check found.
void WriteSalvagedData(TInputStream& input, const TFileInfo& e, int64_t size, TOutputStream& out);

} // namespace tessary
