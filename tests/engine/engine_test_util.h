// engine_test_util.h -- running the engine over bytes in memory.
#pragma once

#include "arcsalve.h"
#include "memory_streams.h"
#include "zip_reader.h"

#include <memory>
#include <string>
#include <vector>

namespace tessary::test {

struct TRun {
    std::unique_ptr<TMemoryFileSystem> Fs = std::make_unique<TMemoryFileSystem>();
    std::unique_ptr<TArcsalve> Engine;
    std::vector<std::pair<int32_t, std::string>> Reports;
    int StopAfterReports = -1; // answer "stop" from this report on
};

inline std::unique_ptr<TRun> Scan(const std::string& bytes, size_t bufferSize = 1 << 20) {
    auto run = std::make_unique<TRun>();
    TArcsalveOptions options;
    options.BufferSize = bufferSize;
    options.CreateOutput = run->Fs->Factory();
    // A clock that moves 1 s per call makes every report due.
    auto clock = std::make_shared<uint32_t>(0);
    options.TickCount = [clock] { return *clock += 1000; };
    TRun* r = run.get();
    run->Engine = std::make_unique<TArcsalve>(
        std::make_unique<TMemoryInput>(bytes),
        [r](int32_t percent, const char* text) {
            r->Reports.emplace_back(percent, text);
            return r->StopAfterReports < 0 ||
                   static_cast<int>(r->Reports.size()) < r->StopAfterReports;
        },
        options);
    run->Engine->BeginScanFile();
    return run;
}

// Scans and rebuilds; returns the repaired archive's bytes ("" when none was written).
inline std::string Repair(const std::string& bytes, size_t bufferSize = 1 << 20) {
    auto run = Scan(bytes, bufferSize);
    run->Engine->GetRecovered("out.zip");
    auto it = run->Fs->Files.find("out.zip");
    return it == run->Fs->Files.end() ? std::string() : it->second;
}

} // namespace tessary::test
