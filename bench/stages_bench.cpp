// stages_bench.cpp -- times the engine's repair the two ways it runs: the
// wizard's two stages (BeginScanFile, then GetRecovered: the Saving page)
// and the command line's single pass (ScanAndRecover), on one archive from
// the page cache. Prints one line per run: the way, then seconds per stage.
//
// Usage: tessary-stages-bench ARCHIVE OUTPUT [RUNS]   (default 3)
#include "arcsalve.h"
#include "file_streams.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

using namespace tessary;

namespace {

double CpuSeconds() {
    struct rusage u;
    ::getrusage(RUSAGE_THREAD, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::unique_ptr<TArcsalve> EngineFor(const char* archive) {
    TArcsalveOptions options;
    options.CreateOutput = FileOutputFactory();
    return std::make_unique<TArcsalve>(
        OpenInputFile(archive), [](int32_t, const char*) { return true; }, options);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tessary-stages-bench ARCHIVE OUTPUT [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    for (int run = 0; run < runs; ++run) {
        ::unlink(argv[2]);
        ::sync(); // nothing from the run before is left to write back
        auto engine = EngineFor(argv[1]);
        auto start = std::chrono::steady_clock::now();
        engine->BeginScanFile();
        double scan = Since(start);
        start = std::chrono::steady_clock::now();
        double cpu = CpuSeconds();
        engine->GetRecovered(argv[2]);
        std::printf("two-stage scan %.3f saving %.3f entries %zu cpu %.3f\n", scan, Since(start),
                    engine->WrittenEntries(), CpuSeconds() - cpu);

        ::unlink(argv[2]);
        ::sync();
        engine = EngineFor(argv[1]);
        start = std::chrono::steady_clock::now();
        engine->ScanAndRecover(argv[2]);
        std::printf("one-pass %.3f entries %zu\n", Since(start), engine->WrittenEntries());
        std::fflush(stdout);
    }
    ::unlink(argv[2]);
    return 0;
}
