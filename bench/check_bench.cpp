// check_bench.cpp -- measures the content check over every entry of one
// archive: scans it with the engine, then checks each entry's data, on one
// thread and on a small pool that takes entries in parallel. Prints one line
// per run: threads, seconds, compressed and decoded MB/s, and the outcomes.
//
// Usage: tessary-check-bench ARCHIVE [THREADS...]   (default: 1 2)
#include "arcsalve.h"
#include "content_check.h"
#include "file_streams.h"
#include "zip_records.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

using namespace tessary;

namespace {

// Where each found entry's data starts: behind its local header, name and
// extra field, all of which the scan's record knows.
std::vector<TEntryData> EntriesOf(TArcsalve& engine) {
    std::vector<TEntryData> entries;
    for (const TFileInfo& e : engine.Entries()) {
        TEntryData d;
        d.Offset = e.DataOffset();
        d.Method = e.Found->Method;
        d.Flags = e.Found->Flags;
        if (e.Status != StatusNoDescriptor) {
            d.CompressedSize = e.CompressedSize;
            d.Crc32 = e.Crc32;
            d.UncompressedSize = e.UncompressedSize;
        }
        entries.push_back(d);
    }
    return entries;
}

struct TTotals {
    std::atomic<int64_t> Compressed{0};
    std::atomic<int64_t> Decoded{0};
    std::atomic<int> Counts[5] = {};
};

void CheckAll(TInputStream& input, const std::vector<TEntryData>& entries, unsigned threads,
              TTotals& totals) {
    std::atomic<size_t> next{0};
    auto worker = [&] {
        for (size_t i; (i = next.fetch_add(1)) < entries.size();) {
            TCheckResult r = CheckEntryData(input, entries[i]);
            totals.Compressed += r.Consumed;
            totals.Decoded += r.UncompressedSize;
            totals.Counts[static_cast<int>(r.Outcome)]++;
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(worker);
    worker();
    for (auto& t : pool)
        t.join();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s ARCHIVE [THREADS...]\n", argv[0]);
        return 2;
    }
    std::vector<unsigned> threadCounts;
    for (int i = 2; i < argc; ++i)
        threadCounts.push_back(static_cast<unsigned>(std::max(1, std::atoi(argv[i]))));
    if (threadCounts.empty())
        threadCounts = {1, 2};

    TArcsalve engine(OpenInputFile(argv[1]), [](int32_t, const char*) { return true; });
    engine.BeginScanFile();
    std::unique_ptr<TInputStream> input = OpenInputFile(argv[1]);
    std::vector<TEntryData> entries = EntriesOf(engine);
    std::printf("%zu entries\n", entries.size());

    for (unsigned threads : threadCounts) {
        TTotals totals;
        auto start = std::chrono::steady_clock::now();
        CheckAll(*input, entries, threads, totals);
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("threads %u: %.3f s, %.0f MB/s compressed, %.0f MB/s decoded;", threads,
                    seconds, totals.Compressed / 1e6 / seconds, totals.Decoded / 1e6 / seconds);
        for (int o = 0; o < 5; ++o)
            std::printf(" %s %d", CheckOutcomeWord(static_cast<TCheckOutcome>(o)).data(),
                        totals.Counts[o].load());
        std::printf("\n");
    }
    return 0;
}
