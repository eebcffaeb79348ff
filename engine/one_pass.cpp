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
#include <optional>
#include <thread>
#include <vector>

namespace tessary {

namespace {

// Entries go over in batches, so that a file of many small entries costs one
// hand-over per batch rather than per entry; the scan may be a few batches
// ahead of the writer, each entry a header and a few numbers.
constexpr size_t BatchLength = 1024;
constexpr size_t QueueLength = 16;

class TPartQueue {
public:
    enum TPop { Got, Empty, Closed };

    // Waits while the queue is full; false when the writer has given up.
    bool Push(std::vector<const TFileInfo*> batch) {
        std::unique_lock lock(FMutex);
        FNotFull.wait(lock, [&] { return FParts.size() < QueueLength || FAbandoned; });
        if (FAbandoned)
            return false;
        FParts.push_back(std::move(batch));
        FNotEmpty.notify_one();
        return true;
    }

    TPop Pop(std::vector<const TFileInfo*>& batch, std::chrono::milliseconds wait) {
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
    std::deque<std::vector<const TFileInfo*>> FParts;
    bool FClosed = false;
    bool FAbandoned = false;
};

} // namespace

void TArcsalve::ScanAndRecover(const std::string& path) {
    if (FScanned || FRebuilt)
        return;
    if (FInput)
        TArchiveWriter::CheckTarget(*FInput, path, FOptions.CreateOutput);
    FScanned = FRebuilt = true;
    FLastTick = FOptions.TickCount();
    if (!PrepareInput()) {
        FScanStopped = true; // stopped before the scan began: nothing to write
        return;
    }

    TPartQueue queue;
    std::atomic<bool> stopScan{false};
    std::atomic<bool> scanOver{false};
    std::atomic<int64_t> scanned{0}; // bytes of the file the scan has read
    std::exception_ptr scanError;
    std::thread scanner([&] {
        try {
            size_t handed = 0;
            auto hand = [&](size_t settled) {
                while (handed < settled) {
                    std::vector<const TFileInfo*> batch;
                    batch.reserve(std::min(settled - handed, BatchLength));
                    for (; handed < settled && batch.size() < BatchLength; ++handed)
                        batch.push_back(&FEntries[handed]);
                    if (!queue.Push(std::move(batch))) {
                        stopScan = true;
                        return;
                    }
                }
            };
            Scan(
                [&](int64_t at, uint64_t) {
                    scanned = at;
                    return !stopScan;
                },
                hand);
            scanOver = true;
            if (FScanExact)
                hand(FEntries.size());
        } catch (...) {
            scanError = std::current_exception();
        }
        scanOver = true;
        queue.Close();
    });

    std::optional<TArchiveWriter> writer;
    int64_t writtenTo = 0; // how far into the damaged file the writing has come
    bool stopAsked = false;
    bool stopWriting = false;
    // The first false from the progress event stops the scan while it runs,
    // else the writing, after the entry being written.
    auto Tick = [&] {
        size_t written = writer ? writer->Written() : 0;
        // The file is read twice, by the scan and by the copy: the progress
        // is both together, so that it moves while either works alone.
        if (ReportIfDue(Percent(scanned + writtenTo, 2 * FFileSize), written) || stopAsked)
            return;
        stopAsked = true;
        if (scanOver) {
            stopWriting = true;
        } else {
            stopScan = true;
            FScanStopped = true;
        }
    };
    if (FInput)
        writer.emplace(*FInput, path, FOptions.CreateOutput, [&](int64_t inputOffset) {
            writtenTo = inputOffset;
            Tick();
        });
    try {
        while (!stopWriting) {
            std::vector<const TFileInfo*> batch;
            // The writer waits for entries at most half a progress interval,
            // so that the scan's progress is reported while it waits.
            TPartQueue::TPop got = queue.Pop(
                batch, std::chrono::milliseconds(std::max(10u, FOptions.ProgressInterval / 2)));
            if (got == TPartQueue::Closed)
                break;
            for (const TFileInfo* e : batch) {
                writer->Add(*e);
                writtenTo = e->DataOffset() + e->CompressedSize;
                Tick();
                if (stopWriting)
                    break;
            }
            if (got == TPartQueue::Empty)
                Tick();
        }
    } catch (...) {
        queue.Abandon();
        stopScan = true;
        scanner.join();
        throw;
    }
    queue.Abandon();
    scanner.join();
    if (scanError) {
        writer.reset();
        FEntries.clear(); // a scan that failed concludes nothing
        std::rethrow_exception(scanError);
    }
    if (!FScanExact) {
        // A descriptor found late overruled one the scan had taken to keep
        // the writer busy (a rare coincidence of signatures): what was
        // written may differ, so it is dropped and the repair runs again,
        // first the whole scan, then the rebuild.
        writer.reset();
        FEntries.clear();
        FEvidence = TScanEvidence();
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
    writer->Finish();
    FWritten = writer->Written();
    Report(100, FWritten);
}

} // namespace tessary
