// engine_test_util.h -- running the engine over bytes in memory.
#pragma once

#include "arcsalve.h"
#include "memory_streams.h"
#include "zip_reader.h"

#include <gtest/gtest.h>

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

// Makes the engine and, unless told otherwise, runs its scan.
inline std::unique_ptr<TRun> Scan(const std::string& bytes, size_t bufferSize = 1 << 20,
                                  bool scan = true) {
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
    if (scan)
        run->Engine->BeginScanFile();
    return run;
}

inline std::string OutputOf(const TRun& run) {
    auto it = run.Fs->Files.find("out.zip");
    return it == run.Fs->Files.end() ? std::string() : it->second;
}

// Scans and rebuilds; returns the repaired archive's bytes ("" when none was
// written). Each such repair is made a second time in one pass, through a
// small buffer so that entries are handed on in the middle of the scan, and
// must come out byte for byte the same.
inline std::string Repair(const std::string& bytes, size_t bufferSize = 1 << 20) {
    auto run = Scan(bytes, bufferSize);
    run->Engine->GetRecovered("out.zip");
    auto onePass = Scan(bytes, 512, false);
    onePass->Engine->ScanAndRecover("out.zip");
    EXPECT_TRUE(OutputOf(*onePass) == OutputOf(*run)) << "the one-pass repair differs";
    EXPECT_EQ(onePass->Engine->FView.size(), run->Engine->FView.size());
    return OutputOf(*run);
}

} // namespace tessary::test
