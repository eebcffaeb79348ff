// rebuild.cpp -- GetRecovered: writes every found entry behind a fresh local
// header, then a new central directory and end record.
#include "arcsalve.h"

#include "engine_error.h"
#include "entry_check.h"
#include "zip_records.h"

#include <deque>
#include <string>
#include <vector>

namespace tessary {

namespace {

constexpr int64_t ImplausibleCompressedSize = 1'048'576;
constexpr int64_t UnknownSizeFallback = 1024;
constexpr size_t CentralDirectoryFlush = 1 << 20;

int32_t Percent(size_t i, size_t total) {
    return total == 1 ? 100 : static_cast<int32_t>(uint64_t(i) * 100 / uint64_t(total - 1));
}

// The sizes and flags the repaired archive gives the entry.
TWrittenEntry AsWritten(const TFileInfo& e, int64_t fileSize, int64_t headerOffset) {
    TWrittenEntry w{e.Flags, e.CompressedSize, e.UncompressedSize, headerOffset};
    if (w.UncompressedSize < 0)
        w.UncompressedSize = w.CompressedSize > 0 ? w.CompressedSize : UnknownSizeFallback;
    // An entry longer than the whole damaged file cannot be what its header
    // says; a megabyte of what follows its name and extra field is kept for
    // whatever can be salvaged. The name stays whole, so that the local and
    // the central header agree on it.
    int64_t length = LocalHeaderSize + int64_t(e.NameLength) + e.ExtraLength + e.CompressedSize;
    if (length > fileSize) {
        w.CompressedSize = ImplausibleCompressedSize;
        if (e.Method == 0 && !(e.Flags & FlagEncrypted))
            w.UncompressedSize = ImplausibleCompressedSize;
    }
    // Without encryption, the rewritten header holds the true CRC and sizes,
    // so the entry no longer announces a descriptor. Traditional encryption
    // takes its password check byte from bit 3, so there it stays, and the
    // entry gets its descriptor back behind the data.
    if (!(e.Flags & FlagEncrypted))
        w.Flags &= static_cast<uint16_t>(~FlagDataDescriptor);
    // A name flagged as UTF-8 that is not would make strict readers refuse
    // the whole archive; unflagged, it is read in the old code page.
    if ((w.Flags & FlagUtf8Name) && !IsValidUtf8Name(e.Name))
        w.Flags &= static_cast<uint16_t>(~FlagUtf8Name);
    return w;
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

// What the entries would take in the repaired archive. Entries whose claimed
// data overlaps (headers inside a damaged entry's data) are copied more than
// once, so a hostile file could make this far larger than itself.
int64_t BytesToWrite(const std::deque<TFileInfo>& entries, int64_t fileSize) {
    int64_t total = 0;
    for (const TFileInfo& e : entries) {
        TWrittenEntry w = AsWritten(e, fileSize, 0);
        total += LocalHeaderSize + int64_t(e.Name.size()) + e.ExtraLength + w.CompressedSize + 24;
    }
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
    // Twice the damaged file, plus room for one implausible entry's megabyte,
    // is more than any honest file needs; past that, refuse before creating
    // anything rather than fill the disk.
    if (BytesToWrite(FEntries, FFileSize) > 2 * FFileSize + ImplausibleCompressedSize + (64 << 10))
        throw EArcsalveError(TErrorKind::ReadInput, FInput->Name(),
                             "Its headers claim far more data than it holds (overlapping "
                             "entries); the repaired archive would be more than twice its size, "
                             "so nothing was written");
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
        TWrittenEntry w = AsWritten(e, FFileSize, out->Position());
        offsets.push_back(w.HeaderOffset);

        std::string header = EncodeLocalHeader(e, w, WithoutZip64Extra(e.ExtraField()));
        out->Write(header.data(), header.size());
        int64_t dataStart = e.HeaderOffset + LocalHeaderSize + e.NameLength + e.ExtraLength;
        out->CopyFrom(*FInput, dataStart, w.CompressedSize);
        if (w.Flags & FlagDataDescriptor) {
            std::string descriptor = EncodeDataDescriptor(e, w);
            out->Write(descriptor.data(), descriptor.size());
        }

        if (!ReportIfDue(Percent(i, total), offsets.size()))
            break;
    }
    Report(100, total);

    size_t written = offsets.size();
    TCentralDirectory cd;
    cd.Offset = out->Position();
    cd.Count = written;
    std::string block;
    auto nextSalvaged = salvaged.begin();
    for (size_t k = 0; k < written; ++k) {
        size_t i = indexes.empty() ? k : indexes[k];
        if (nextSalvaged != salvaged.end() && nextSalvaged->first == i) {
            TFileInfo s = SalvagedRecord(FEntries[i], (nextSalvaged++)->second);
            block += EncodeCentralHeader(s, SalvagedWritten(s, offsets[k]));
        } else {
            block +=
                EncodeCentralHeader(FEntries[i], AsWritten(FEntries[i], FFileSize, offsets[k]));
        }
        if (block.size() >= CentralDirectoryFlush) {
            out->Write(block.data(), block.size());
            block.clear();
        }
    }
    out->Write(block.data(), block.size());
    cd.Size = out->Position() - cd.Offset;

    std::string end = EncodeEndRecords(cd, out->Position(), RecoveredComment);
    out->Write(end.data(), end.size());
    out->Commit();
    FWritten = written;
}

} // namespace tessary
