// rebuild.cpp -- GetRecovered: writes every found entry behind a fresh local
// header, then a new central directory and end record.
#include "arcsalve.h"

#include "archive_writer.h"
#include "engine_error.h"
#include "entry_check.h"
#include "zip_records.h"

#include <deque>
#include <string>
#include <vector>

namespace tessary {

namespace {

int32_t Percent(size_t i, size_t total) {
    return total == 1 ? 100 : static_cast<int32_t>(uint64_t(i) * 100 / uint64_t(total - 1));
}

// The record of an entry written as stored data holding `plan.Size` bytes:
// its own name, time and extra field, with the salvaged bytes' CRC-32.
TFileInfo SalvagedRecord(const TFileInfo& e, const TEntryPlan& plan) {
    TFileInfo s;
    s.VersionMadeBy = e.VersionMadeBy;
    s.VersionNeeded = e.VersionNeeded;
    s.Flags = static_cast<uint16_t>(e.Flags & ~FlagDataDescriptor);
    s.Method = 0;
    s.ModTime = e.ModTime;
    s.ModDate = e.ModDate;
    s.Crc32 = plan.Crc32;
    s.CompressedSize = s.UncompressedSize = plan.Size;
    s.NameLength = e.NameLength;
    s.ExtraLength = e.ExtraLength;
    s.Status = StatusExtent;
    s.ExternalAttributes = e.ExternalAttributes;
    s.HeaderOffset = e.HeaderOffset;
    s.Name = e.Name;
    if (e.Extra)
        s.Extra = std::make_unique<std::string>(*e.Extra);
    return s;
}

TWrittenEntry SalvagedWritten(const TFileInfo& s, int64_t headerOffset) {
    return TWrittenEntry{s.Flags, s.CompressedSize, s.UncompressedSize, headerOffset};
}

int64_t BytesToWrite(const std::deque<TFileInfo>& entries, int64_t fileSize) {
    int64_t total = 0;
    for (const TFileInfo& e : entries)
        total += PlannedBytes(e, fileSize);
    return total;
}

} // namespace

void TArcsalve::GetRecovered(const std::string& path, const TEntryPlanner& plan) {
    FLastTick = FOptions.TickCount();
    if (FEntries.empty() || FRebuilt)
        return;
    if (FInput->IsSameFile(path))
        throw EArcsalveError(TErrorKind::OutputIsInput, path,
                             "The repaired archive cannot replace the damaged one");
    if (!FOptions.CreateOutput)
        throw EArcsalveError(TErrorKind::CreateOutput, path, "No output is available");
    // Refused before anything is created, rather than fill the disk.
    if (BytesToWrite(FEntries, FFileSize) > MostBytesToWrite(FFileSize))
        RefuseOverlappingEntries(FInput->Name());
    std::unique_ptr<TOutputStream> out = FOptions.CreateOutput(path);
    FRebuilt = true;

    size_t total = FEntries.size();
    std::vector<int64_t> offsets; // where each entry landed in the repaired archive
    offsets.reserve(total);
    // With a planner: which entry each written one is, and the salvaged ones.
    std::vector<size_t> indexes;
    std::vector<std::pair<size_t, TEntryPlan>> salvaged;
    for (size_t i = 0; i < total; ++i) {
        const TFileInfo& e = FEntries[i];
        TEntryPlan p = plan ? plan(i) : TEntryPlan{};
        if (plan && p.Action != TEntryPlan::LeaveOut)
            indexes.push_back(i);
        if (p.Action == TEntryPlan::Salvage) {
            TFileInfo s = SalvagedRecord(e, p);
            TWrittenEntry w = SalvagedWritten(s, out->Position());
            offsets.push_back(w.HeaderOffset);
            salvaged.emplace_back(i, p);
            std::string header = EncodeLocalHeader(s, w, WithoutZip64Extra(s.ExtraField()));
            out->Write(header.data(), header.size());
            WriteSalvagedData(*FInput, e, p.Size, *out);
        }
        if (p.Action != TEntryPlan::Copy) {
            if (!ReportIfDue(Percent(i, total), offsets.size()))
                break;
            continue;
        }
        offsets.push_back(out->Position());
        WriteLocalPart(*out, *FInput, LocalPartOf(e, FFileSize));
        if (!ReportIfDue(Percent(i, total), offsets.size()))
            break;
    }
    Report(100, total);

    size_t written = offsets.size();
    auto nextSalvaged = salvaged.begin();
    WriteDirectory(*out, written, [&](size_t k) {
        size_t i = indexes.empty() ? k : indexes[k];
        if (nextSalvaged != salvaged.end() && nextSalvaged->first == i) {
            TFileInfo s = SalvagedRecord(FEntries[i], (nextSalvaged++)->second);
            return EncodeCentralHeader(s, SalvagedWritten(s, offsets[k]));
        }
        return EncodeCentralHeader(FEntries[i], AsWritten(FEntries[i], FFileSize, offsets[k]));
    });
    out->Commit();
    FWritten = written;
}

} // namespace tessary
