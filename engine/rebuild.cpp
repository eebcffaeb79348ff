// rebuild.cpp -- GetRecovered: writes every found entry, as its plan says,
// through the archive writer after the scan.
#include "arcsalve.h"

#include "archive_writer.h"

namespace tessary {

void TArcsalve::GetRecovered(const std::string& path, const TEntryPlanner& plan) {
    FLastTick = FOptions.TickCount();
    if (FEntries.empty() || FRebuilt)
        return;
    TArchiveWriter::CheckTarget(*FInput, path, FOptions.CreateOutput);
    FRebuilt = true;

    // Progress is the share of the bytes to write that are written, so that
    // it moves inside one large entry too.
    int64_t total = 0;
    for (const TFileInfo& e : FEntries)
        total += PlannedBytes(e, {}, FFileSize);
    int64_t copiedBefore = 0; // bytes planned for the entries written before this one
    int64_t entryStart = 0;   // where the current entry's data starts in the damaged file
    TArchiveWriter writer(*FInput, path, FOptions.CreateOutput, [&](int64_t inputOffset) {
        ReportIfDue(Percent(copiedBefore + inputOffset - entryStart, total), writer.Written());
    });
    for (size_t i = 0; i < FEntries.size(); ++i) {
        entryStart = FEntries[i].DataOffset();
        writer.Add(FEntries[i], plan ? plan(i) : TEntryPlan{});
        copiedBefore = writer.Planned();
        if (!ReportIfDue(Percent(copiedBefore, total), writer.Written()))
            break;
    }
    Report(100, FEntries.size());
    writer.Finish();
    FWritten = writer.Written();
}

} // namespace tessary
