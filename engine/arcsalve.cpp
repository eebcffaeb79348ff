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

int64_t TArcsalve::Scan(const std::function<bool(int64_t scanned, uint64_t found)>& tick,
                        const std::function<void(size_t settled)>& onSettled) {
    if (FFileSize <= 0 || !FInput)
        return 0;
    TSignatureScanResult found;
    TReadWindow window(*FInput, FOptions.BufferSize);
    TEntryResolver resolver(found, window, FEntries);
    try {
        ScanSignatures(
            window, FOptions.MaxEntries,
            [&](int64_t scanned, uint64_t count) {
                if (onSettled) {
                    resolver.ResolveKnown();
                    onSettled(resolver.Settled());
                }
                return tick(scanned, count);
            },
            found);
    } catch (const std::bad_alloc&) {
        // Out of memory: keep what was found so far, and say so.
        found.OutOfMemory = true;
    }
    resolver.ResolveAll();
    FScanExact = resolver.Exact();
    MatchCentralHeaders(found, window, FEntries);
    FDroppedEntries = found.Dropped;
    FOutOfMemory = found.OutOfMemory;
    return found.ScannedTo;
}

void TArcsalve::BeginScanFile() {
    if (FScanned)
        return;
    FScanned = true;
    FLastTick = FOptions.TickCount();
    int64_t scanned = Scan(
        [&](int64_t at, uint64_t count) { return ReportIfDue(Percent(at, FFileSize), count); }, {});
    if (FFileSize <= 0 || !FInput)
        return;
    Report(Percent(scanned, FFileSize), FEntries.size());
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
