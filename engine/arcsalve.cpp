// arcsalve.cpp -- the engine object, its progress pacing and the scan.
#include "arcsalve.h"

#include "entry_resolver.h"
#include "input_parts.h"
#include "signature_scan.h"
#include "text_mode.h"

#include <algorithm>
#include <string>

namespace tessary {

int32_t TArcsalve::Percent(int64_t part, int64_t whole) {
    if (whole <= 0)
        return 100;
    // part is at most a few times the size of the damaged file, so part * 100
    // cannot overflow.
    return static_cast<int32_t>(part * 100 / whole);
}

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
    if (static_cast<uint32_t>(now - FLastTick) <= FOptions.ProgressInterval)
        return true;
    FLastTick = now;
    return Report(percent, count);
}

int64_t TArcsalve::Scan(const std::function<bool(int64_t scanned, uint64_t found)>& tick,
                        const std::function<void(size_t settled)>& onSettled) {
    if (FFileSize <= 0 || !FInput)
        return 0;
    TReadWindow window(*FInput, FOptions.BufferSize);
    TEntryResolver resolver(FEvidence, window, FEntries, FEvidence.Rebuilt);
    FTextModeMarked = FMarkedUpTo = 0;
    // Entries that reach into a missing part are graded before they are
    // handed on: once they are, only the writer reads them.
    size_t graded = 0;
    auto gradeUpTo = [&](size_t settled) {
        for (; graded < settled; ++graded)
            MarkMissingParts(FInput->Parts(), FEntries[graded]);
    };
    try {
        ScanSignatures(
            window, FOptions.MaxEntries,
            [&](int64_t scanned, uint64_t count) {
                if (onSettled) {
                    resolver.ResolveKnown();
                    MarkTextModeEntries(resolver.Settled());
                    gradeUpTo(resolver.Settled());
                    onSettled(resolver.Settled());
                }
                return tick(scanned, count);
            },
            FEvidence);
    } catch (const std::bad_alloc&) {
        // Out of memory: keep what was found so far, and say so.
        FEvidence.OutOfMemory = true;
    }
    resolver.ResolveAll();
    MarkTextModeEntries(FEntries.size());
    gradeUpTo(FEntries.size());
    FScanExact = resolver.Exact();
    FDroppedEntries = FEvidence.Dropped;
    FOutOfMemory = FEvidence.OutOfMemory;
    return FEvidence.ScannedTo;
}

bool TArcsalve::PrepareInput() {
    if (FInputPrepared || !FInput || !FOptions.UndoTextMode || FFileSize <= 0)
        return true;
    // The parts of a split archive are placed by their offsets in the joined
    // stream, which restoring line ends would move; such sets are read as found.
    if (!FInput->Parts().empty())
        return true;
    FInputPrepared = true;
    TTextModeDamage damage = DetectTextModeDamage(*FInput);
    if (damage == TTextModeDamage::None)
        return true;
    FTextModeDamage = damage;
    TTextModeOptions options;
    options.Tick = [&](int64_t reached) { return ReportIfDue(Percent(reached, FFileSize), 0); };
    TTextModeRepair repair = UndoTextModeDamage(*FInput, damage, options);
    if (repair.Stopped)
        return false;
    FTextModeNotRestored = repair.NotRestored;
    if (!repair.Edits)
        return true;
    FTextModeEdits = std::move(repair.Edits);
    FTextModeRestored = std::move(repair.Restored);
    FInput = std::make_unique<TRestoredInput>(std::move(FInput), FTextModeEdits);
    FFileSize = FInput->Size();
    return true;
}

void TArcsalve::MarkTextModeEntries(size_t upTo) {
    if (FTextModeRestored.empty())
        return;
    for (; FMarkedUpTo < upTo; ++FMarkedUpTo) {
        TFileInfo& e = FEntries[FMarkedUpTo];
        if (std::binary_search(FTextModeRestored.begin(), FTextModeRestored.end(),
                               e.HeaderOffset())) {
            e.Reasons |= ReasonTextModeUndone;
            ++FTextModeMarked;
        }
    }
}

std::unique_ptr<TInputStream>
TArcsalve::ReadAsScanned(std::unique_ptr<TInputStream> damaged) const {
    if (!FTextModeEdits || !damaged)
        return damaged;
    return std::make_unique<TRestoredInput>(std::move(damaged), FTextModeEdits);
}

void TArcsalve::BeginScanFile() {
    if (FScanned)
        return;
    FScanned = true;
    FLastTick = FOptions.TickCount();
    int64_t scanned = 0;
    try {
        // A stop before the scan began finds nothing.
        if (PrepareInput())
            scanned =
                Scan([&](int64_t at,
                         uint64_t count) { return ReportIfDue(Percent(at, FFileSize), count); },
                     {});
    } catch (...) {
        FEntries.clear(); // a scan that failed concludes nothing
        throw;
    }
    if (FFileSize <= 0 || !FInput)
        return;
    Report(Percent(scanned, FFileSize), FEntries.size());
    BuildView();
}

void TArcsalve::BuildView() {
    FView.clear();
    if (!FOptions.BuildView)
        return;
    FView.reserve(FEntries.size());
    for (const TFileInfo& e : FEntries)
        FView.push_back(ViewOf(e));
}

} // namespace tessary
