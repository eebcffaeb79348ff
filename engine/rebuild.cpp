// rebuild.cpp -- GetRecovered: writes every found entry behind a fresh local
// header, then a new central directory and end record.
#include "arcsalve.h"

#include "engine_error.h"
#include "read_window.h"
#include "zip_records.h"

#include <string>

namespace tessary {

namespace {

constexpr int64_t ImplausibleCompressedSize = 1'048'576;
constexpr int64_t UnknownSizeFallback = 1024;
constexpr size_t CentralDirectoryFlush = 1 << 20;

// Fixes the record's fields for writing; returns where its data begins in the damaged file.
int64_t PrepareEntry(TFileInfo& e, int64_t fileSize) {
    if (e.UncompressedSize < 0)
        e.UncompressedSize = e.CompressedSize > 0 ? e.CompressedSize : UnknownSizeFallback;
    // An entry longer than the whole damaged file cannot be what its header
    // says; a megabyte of what follows its name and extra field is kept for
    // whatever can be salvaged. The name stays whole, so that the local and
    // the central header agree on it.
    int64_t length = LocalHeaderSize + int64_t(e.NameLength) + e.ExtraLength + e.CompressedSize;
    if (length > fileSize) {
        e.CompressedSize = ImplausibleCompressedSize;
        if (e.Method == 0 && !(e.Flags & FlagEncrypted))
            e.UncompressedSize = ImplausibleCompressedSize;
    }
    // Without encryption, the rewritten header holds the true CRC and sizes,
    // so the entry no longer announces a descriptor. Traditional encryption
    // takes its password check byte from bit 3, so there it stays, and the
    // entry gets its descriptor back behind the data.
    if (!(e.Flags & FlagEncrypted))
        e.Flags &= static_cast<uint16_t>(~FlagDataDescriptor);
    return e.HeaderOffset + LocalHeaderSize + e.NameLength + e.ExtraLength;
}

} // namespace

void TArcsalve::GetRecovered(const std::string& path) {
    FLastTick = FOptions.TickCount();
    if (FEntries.empty() || FRebuilt)
        return;
    if (FInput->IsSameFile(path))
        throw EArcsalveError(TErrorKind::OutputIsInput, path,
                             "The repaired archive cannot replace the damaged one");
    if (!FOptions.CreateOutput)
        throw EArcsalveError(TErrorKind::CreateOutput, path, "No output is available");
    std::unique_ptr<TOutputStream> out = FOptions.CreateOutput(path);
    FRebuilt = true;

    size_t total = FEntries.size();
    size_t written = 0;
    for (size_t i = 0; i < total; ++i) {
        TFileInfo& e = FEntries[i];
        int64_t dataStart = PrepareEntry(e, FFileSize);
        ++written;

        std::string nameAndExtra(size_t(e.NameLength) + e.ExtraLength, '\0');
        ReadFully(*FInput, e.HeaderOffset + LocalHeaderSize,
                  reinterpret_cast<unsigned char*>(nameAndExtra.data()), nameAndExtra.size());
        std::string_view name = std::string_view(nameAndExtra).substr(0, e.NameLength);
        std::string_view extra = std::string_view(nameAndExtra).substr(e.NameLength);
        std::string centralExtra = CentralExtraBlocks(extra);
        if (!centralExtra.empty())
            e.CentralExtra = std::make_unique<std::string>(std::move(centralExtra));

        e.HeaderOffset = out->Position();
        std::string header = EncodeLocalHeader(e, name, WithoutZip64Extra(extra));
        out->Write(header.data(), header.size());
        out->CopyFrom(*FInput, dataStart, e.CompressedSize);
        if (e.Flags & FlagDataDescriptor) {
            std::string descriptor = EncodeDataDescriptor(e);
            out->Write(descriptor.data(), descriptor.size());
        }
        e.ExtraLength = 0;

        int32_t percent =
            total == 1 ? 100 : static_cast<int32_t>(uint64_t(i) * 100 / uint64_t(total - 1));
        if (!ReportIfDue(percent, written))
            break;
    }
    Report(100, total);

    TCentralDirectory cd;
    cd.Offset = out->Position();
    cd.Count = written;
    std::string block;
    for (size_t i = 0; i < written; ++i) {
        block += EncodeCentralHeader(FEntries[i]);
        if (block.size() >= CentralDirectoryFlush) {
            out->Write(block.data(), block.size());
            block.clear();
        }
    }
    out->Write(block.data(), block.size());
    cd.Size = out->Position() - cd.Offset;

    FComment = RecoveredComment;
    std::string end = EncodeEndRecords(cd, out->Position(), FComment);
    out->Write(end.data(), end.size());
    out->Commit();
    FWritten = written;
}

} // namespace tessary
