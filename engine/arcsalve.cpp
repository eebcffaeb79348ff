// arcsalve.cpp -- the engine object, its progress pacing and the scan.
#include "arcsalve.h"

#include "central_match.h"
#include "entry_resolver.h"
#include "signature_scan.h"

#include <algorithm>
#include <string>

namespace tessary {

namespace {
constexpr uint32_t ProgressInterval = 100; // milliseconds between reports

int32_t Percent(int64_t part, int64_t whole) {
    if (whole <= 0)
        return 100;
    // part is at most the size of the damaged file, so part * 100 cannot overflow.
    return static_cast<int32_t>(part * 100 / whole);
}
} // namespace

TArcsalve::TArcsalve(std::unique_ptr<TInputStream> input, TProgressEvent onProgress,
                     TArcsalveOptions options)
    : FInput(std::move(input)), FOnProgress(std::move(onProgress)), FOptions(std::move(options)) {
    FFileSize = FInput ? FInput->Size() : 0;
    if (!FOptions.TickCount)
        FOptions.TickCount = SteadyTickCount;
}

TArcsalve::~TArcsalve() = default;

bool TArcsalve::Report(int32_t percent, uint64_t count) {
    if (!FOnProgress)
        return true;
    std::string text = std::to_string(count);
    return FOnProgress(percent, text.c_str());
}

bool TArcsalve::ReportIfDue(int32_t percent, uint64_t count) {
    uint32_t now = FOptions.TickCount();
    if (static_cast<uint32_t>(now - FLastTick) <= ProgressInterval)
        return true;
    FLastTick = now;
    return Report(percent, count);
}

void TArcsalve::BeginScanFile() {
    if (FScanned)
        return;
    FScanned = true;
    FLastTick = FOptions.TickCount();
    if (FFileSize <= 0 || !FInput)
        return;

    TSignatureScanResult found;
    int32_t lastPercent = 0;
    TReadWindow window(*FInput, FOptions.BufferSize);
    try {
        ScanSignatures(
            window, FOptions.MaxEntries,
            [&](int64_t scanned, uint64_t count) {
                lastPercent = Percent(scanned, FFileSize);
                return ReportIfDue(lastPercent, count);
            },
            found);
    } catch (const std::bad_alloc&) {
        // Out of memory: keep what was found so far, and say so.
        found.OutOfMemory = true;
    }
    lastPercent = Percent(found.ScannedTo, FFileSize);
    ResolveEntries(found, window, FEntries);
    MatchCentralHeaders(found.Centrals, window, FEntries);
    FDroppedEntries = found.Dropped;
    FOutOfMemory = found.OutOfMemory;
    Report(lastPercent, FEntries.size());
    BuildView();
}

void TArcsalve::BuildView() {
    FView.clear();
    FView.reserve(FEntries.size());
    for (const TFileInfo& e : FEntries)
        FView.push_back(TInfoForView{e.UncompressedSize, e.Name, e.Status, e.Flags,
                                     e.UnixExtra || e.UnicodePath});
}

} // namespace tessary
