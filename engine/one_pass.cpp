// one_pass.cpp -- ScanAndRecover: the scan and the rebuild at once. The scan
// runs on a thread of its own and hands each entry, as soon as it is final,
// through a bounded queue to the caller's thread, which copies it into the
// repaired archive while the scan reads on.
#include "arcsalve.h"

#include "archive_writer.h"
#include "engine_error.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tessary {

namespace {

// Entries go over in batches, so that a file of many small entries costs one
// hand-over per batch rather than per entry; the scan may be a few batches
// ahead of the writer, each entry a header and a few numbers.
constexpr size_t BatchLength = 1024;
constexpr size_t QueueLength = 16;
constexpr std::chrono::milliseconds ProgressWait{50};

class TPartQueue {
public:
    enum TPop { Got, Empty, Closed };

    // Waits while the queue is full; false when the writer has given up.
    bool Push(std::vector<TLocalPart> batch) {
        std::unique_lock lock(FMutex);
        FNotFull.wait(lock, [&] { return FParts.size() < QueueLength || FAbandoned; });
        if (FAbandoned)
            return false;
        FParts.push_back(std::move(batch));
        FNotEmpty.notify_one();
        return true;
    }

    TPop Pop(std::vector<TLocalPart>& batch, std::chrono::milliseconds wait) {
        std::unique_lock lock(FMutex);
        if (!FNotEmpty.wait_for(lock, wait, [&] { return !FParts.empty() || FClosed; }))
            return Empty;
        if (FParts.empty())
            return Closed;
        batch = std::move(FParts.front());
        FParts.pop_front();
        FNotFull.notify_one();
        return Got;
    }

    // The scan is over: nothing more comes.
    void Close() {
        std::lock_guard lock(FMutex);
        FClosed = true;
        FNotEmpty.notify_all();
    }

    // The writer stops: nothing more is taken.
    void Abandon() {
        std::lock_guard lock(FMutex);
        FAbandoned = true;
        FParts.clear();
        FNotFull.notify_all();
    }

private:
    std::mutex FMutex;
    std::condition_variable FNotEmpty;
    std::condition_variable FNotFull;
    std::deque<std::vector<TLocalPart>> FParts;
    bool FClosed = false;
    bool FAbandoned = false;
};

int32_t Percent(int64_t part, int64_t whole) {
    return whole <= 0 ? 100 : static_cast<int32_t>(part * 100 / whole);
}

} // namespace

void TArcsalve::ScanAndRecover(const std::string& path) {
    if (FScanned || FRebuilt)
        return;
    if (FInput && FInput->IsSameFile(path))
        throw EArcsalveError(TErrorKind::OutputIsInput, path,
                             "The repaired archive cannot replace the damaged one");
    if (!FOptions.CreateOutput)
        throw EArcsalveError(TErrorKind::CreateOutput, path, "No output is available");
    FScanned = FRebuilt = true;
    FLastTick = FOptions.TickCount();

    TPartQueue queue;
    std::atomic<bool> stopScan{false};
    std::atomic<bool> scanOver{false};
    std::exception_ptr scanError;
    std::thread scanner([&] {
        try {
            size_t handed = 0;
            auto hand = [&](size_t settled) {
                while (handed < settled) {
                    std::vector<TLocalPart> batch;
                    batch.reserve(std::min(settled - handed, BatchLength));
                    for (; handed < settled && batch.size() < BatchLength; ++handed)
                        batch.push_back(LocalPartOf(FEntries[handed], FFileSize));
                    if (!queue.Push(std::move(batch))) {
                        stopScan = true;
                        return;
                    }
                }
            };
            Scan([&](int64_t, uint64_t) { return !stopScan; }, hand);
            scanOver = true;
            if (FScanExact)
                hand(FEntries.size());
        } catch (...) {
            scanError = std::current_exception();
        }
        scanOver = true;
        queue.Close();
    });

    std::unique_ptr<TOutputStream> out;
    std::vector<int64_t> offsets; // where each entry landed in the repaired archive
    int64_t planned = 0;
    int64_t writtenTo = 0; // the end of the last written entry's data in the damaged file
    bool stopAsked = false;
    // The first false from the progress event stops the scan while it runs,
    // else the writing.
    auto StopsWriting = [&] {
        if (ReportIfDue(Percent(writtenTo, FFileSize), offsets.size()) || stopAsked)
            return false;
        stopAsked = true;
        if (scanOver)
            return true;
        stopScan = true;
        FScanStopped = true;
        return false;
    };
    try {
        for (bool stop = false; !stop;) {
            std::vector<TLocalPart> batch;
            TPartQueue::TPop got = queue.Pop(batch, ProgressWait);
            if (got == TPartQueue::Closed)
                break;
            for (const TLocalPart& part : batch) {
                // Refused as soon as the entries so far pass the bound: the
                // archive is not yet under its name, so nothing is left.
                planned += part.Planned;
                if (planned > MostBytesToWrite(FFileSize))
                    RefuseOverlappingEntries(FInput->Name());
                if (!out)
                    out = FOptions.CreateOutput(path);
                offsets.push_back(out->Position());
                WriteLocalPart(*out, *FInput, part);
                writtenTo = part.DataOffset + part.DataLength;
                if ((stop = StopsWriting()))
                    break;
            }
            if (got == TPartQueue::Empty)
                stop = StopsWriting();
        }
    } catch (...) {
        queue.Abandon();
        stopScan = true;
        scanner.join();
        throw;
    }
    queue.Abandon();
    scanner.join();
    if (scanError)
        std::rethrow_exception(scanError);
    if (!FScanExact) {
        // A descriptor found late overruled one the scan had taken to keep
        // the writer busy (a rare coincidence of signatures): what was
        // written may differ, so it is dropped and the repair runs again,
        // first the whole scan, then the rebuild.
        out.reset();
        FEntries.clear();
        FScanStopped = false;
        FRebuilt = false;
        Scan(
            [&](int64_t at, uint64_t count) {
                return !stopAsked && ReportIfDue(Percent(at, FFileSize), count);
            },
            {});
        BuildView();
        GetRecovered(path);
        return;
    }
    BuildView();
    if (FEntries.empty())
        return;
    if (!out)
        out = FOptions.CreateOutput(path);
    WriteDirectory(*out, offsets.size(), [&](size_t k) {
        return EncodeCentralHeader(FEntries[k], AsWritten(FEntries[k], FFileSize, offsets[k]));
    });
    out->Commit();
    FWritten = offsets.size();
    Report(100, FWritten);
}

} // namespace tessary
