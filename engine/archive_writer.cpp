// archive_writer.cpp -- the records of the repaired archive, and the writer
// that puts them together.
#include "archive_writer.h"

#include "content_check.h"
#include "engine_error.h"
#include "entry_check.h"
#include "utf8.h"

#include <algorithm>

namespace tessary {

namespace {
constexpr int64_t ImplausibleCompressedSize = 1'048'576;
constexpr int64_t UnknownSizeFallback = 1024;
constexpr int64_t DescriptorRoom = 24;
constexpr size_t CentralDirectoryFlush = 1 << 20;
// Large data is copied in slices, with progress between them; a multiple of
// the page size, so that each slice keeps the data's place within a page.
constexpr int64_t CopySlice = 16 << 20;

bool IsEncrypted(const TFileInfo& e) {
    return (e.Found->Flags & FlagEncrypted) != 0;
}

std::string ReadString(TInputStream& input, int64_t offset, size_t count) {
    std::string s(count, '\0');
    ReadFully(input, offset, reinterpret_cast<unsigned char*>(s.data()), count);
    return s;
}
} // namespace

int64_t BytesInFile(const TFileInfo& e, int64_t fileSize) {
    return std::max<int64_t>(0, fileSize - e.DataOffset());
}

// A bzip2 stream that ends before its end marker makes unzip wait for more
// input for ever; behind a few bytes of all ones its decoder stops with an
// error (zeros can decode on for a long way first). The bytes stand behind
// the cut, where no reader takes them for the entry's content: every reader
// reports the entry as damaged.
constexpr int64_t BzipStopper = 64;
constexpr char StopperByte = '\xFF';

int64_t CutStreamTail(const TFileInfo& e, int64_t fileSize) {
    bool cut = IsImplausiblyLong(e, fileSize) || e.CompressedSize > BytesInFile(e, fileSize);
    return cut && e.Found->Method == MethodBzip2 ? BzipStopper : 0;
}

bool IsImplausiblyLong(const TFileInfo& e, int64_t fileSize) {
    return LocalHeaderSize + int64_t(e.Found->NameLength) + e.ExtraLength() + e.CompressedSize >
           fileSize;
}

bool DropsUtf8Flag(const TFileInfo& e) {
    return (e.Found->Flags & FlagUtf8Name) && !IsValidUtf8(e.Name());
}

TFileHeader WrittenHeader(const TFileInfo& e, const TEntryPlan& plan, int64_t fileSize,
                          int64_t headerOffset) {
    const TLocalHeader& found = *e.Found;
    TFileHeader w;
    w.VersionNeeded = found.VersionNeeded;
    w.Flags = found.Flags;
    w.Method = found.Method;
    w.ModTime = found.ModTime;
    w.ModDate = found.ModDate;
    w.Crc32 = e.Crc32;
    w.CompressedSize = e.CompressedSize;
    w.UncompressedSize = e.UncompressedSize;
    w.LocalOffset = headerOffset;
    if (plan.Action == TEntryPlan::Salvage) {
        // Stored data holding the bytes that decoded correctly.
        w.Method = 0;
        w.Crc32 = plan.Crc32;
        w.CompressedSize = w.UncompressedSize = plan.Size;
    } else {
        if (w.UncompressedSize < 0)
            w.UncompressedSize = w.CompressedSize > 0 ? w.CompressedSize : UnknownSizeFallback;
        // An entry longer than the whole damaged file cannot be what its
        // header says; a megabyte of what follows its name and extra field
        // is kept for whatever can be salvaged. The name stays whole, so
        // that the local and the central header agree on it.
        if (IsImplausiblyLong(e, fileSize)) {
            w.CompressedSize = ImplausibleCompressedSize;
            if (found.Method == 0 && !IsEncrypted(e))
                w.UncompressedSize = ImplausibleCompressedSize;
        }
        // Data cut off by the end of the file is written as far as it
        // exists, never filled up with bytes that are not in the file. Its
        // CRC and its uncompressed size stay as claimed, so that every
        // reader reports it as damaged.
        w.CompressedSize =
            std::min(w.CompressedSize, BytesInFile(e, fileSize)) + CutStreamTail(e, fileSize);
    }
    // Without encryption, the rewritten header holds the true CRC and sizes,
    // so the entry no longer announces a descriptor. Traditional encryption
    // takes its password check byte from bit 3, so there it stays, and the
    // entry gets its descriptor back behind the data.
    if (!IsEncrypted(e))
        w.Flags &= static_cast<uint16_t>(~FlagDataDescriptor);
    // A name flagged as UTF-8 that is not would make strict readers refuse
    // the whole archive; unflagged, it is read in the old code page.
    if (DropsUtf8Flag(e))
        w.Flags &= static_cast<uint16_t>(~FlagUtf8Name);
    return w;
}

int64_t PlannedBytes(const TFileInfo& e, const TEntryPlan& plan, int64_t fileSize) {
    if (plan.Action == TEntryPlan::LeaveOut)
        return 0;
    return LocalHeaderSize + int64_t(e.Name().size()) + e.ExtraLength() +
           WrittenHeader(e, plan, fileSize, 0).CompressedSize + DescriptorRoom;
}

// Twice the damaged file, plus room for one implausible entry's megabyte,
// is more than any honest file needs.
int64_t MostBytesToWrite(int64_t fileSize) {
    return 2 * fileSize + ImplausibleCompressedSize + (64 << 10);
}

void TArchiveWriter::CheckTarget(const TInputStream& input, const std::string& path,
                                 const TOutputFactory& create) {
    if (input.IsSameFile(path))
        throw OutputIsInputError(path);
    if (!create)
        throw EArcsalveError(TErrorKind::CreateOutput, path, "No output is available");
}

TArchiveWriter::TArchiveWriter(TInputStream& input, std::string path, TOutputFactory create,
                               std::function<void(int64_t)> onCopied)
    : FInput(input), FFileSize(input.Size()), FPath(std::move(path)), FCreate(std::move(create)),
      FOnCopied(std::move(onCopied)) {}

TArchiveWriter::~TArchiveWriter() = default;

TOutputStream& TArchiveWriter::Output() {
    if (!FOut)
        FOut = FCreate(FPath);
    return *FOut;
}

void TArchiveWriter::Add(const TFileInfo& e, const TEntryPlan& plan) {
    if (plan.Action == TEntryPlan::LeaveOut)
        return;
    // Refused as soon as the entries so far pass the bound: the archive is
    // not yet under its name, so nothing is left.
    FPlanned += PlannedBytes(e, plan, FFileSize);
    if (FPlanned > MostBytesToWrite(FFileSize))
        throw EArcsalveError(
            TErrorKind::Refused, FInput.Name(),
            plan.Action == TEntryPlan::Salvage
                ? "Its salvaged entries would decode to more than twice its size (a cut archive "
                  "bomb), so nothing was written; repair it without salvaging"
                : "Its headers claim far more data than it holds (overlapping entries); the "
                  "repaired archive would be more than twice its size, so nothing was written");
    TOutputStream& out = Output();
    int64_t offset = out.Position();
    TFileHeader w = WrittenHeader(e, plan, FFileSize, offset);
    std::string header =
        EncodeFileHeader(w, THeaderKind::Local, e.Name(), WithoutZip64Extra(e.ExtraField()));
    out.Write(header.data(), header.size());
    if (plan.Action == TEntryPlan::Salvage) {
        WriteSalvagedData(FInput, e, plan.Size, out);
    } else {
        int64_t from = e.DataOffset();
        int64_t tail = CutStreamTail(e, FFileSize);
        int64_t copy = w.CompressedSize - tail;
        for (int64_t done = 0; done < copy;) {
            int64_t n = std::min(CopySlice, copy - done);
            out.CopyFrom(FInput, from + done, n);
            done += n;
            if (FOnCopied && done < copy)
                FOnCopied(from + done);
        }
        std::string stopper(static_cast<size_t>(tail), StopperByte);
        out.Write(stopper.data(), stopper.size());
        if (w.Flags & FlagDataDescriptor) {
            std::string descriptor = EncodeDataDescriptor(w);
            out.Write(descriptor.data(), descriptor.size());
        }
    }
    if (plan.Action == TEntryPlan::Salvage)
        FSalvaged.emplace_back(FWritten.size(), plan);
    FWritten.push_back({&e, offset});
}

// A matching central header of the damaged file gives the blocks and the
// comment it held; otherwise the local header's blocks that readers look
// for here.
std::string TArchiveWriter::CentralHeaderOf(const TWritten& w, const TEntryPlan& plan) {
    const TFileInfo& e = *w.Entry;
    TFileHeader h = WrittenHeader(e, plan, FFileSize, w.Offset);
    h.VersionMadeBy = e.VersionMadeBy();
    h.ExternalAttributes = e.ExternalAttributes();
    std::string extra;
    std::string comment;
    if (e.CentralStrings) {
        extra =
            WithoutZip64Extra(ReadString(FInput, e.Central->ExtraOffset(), e.Central->ExtraLength));
        comment = ReadString(FInput, e.Central->ExtraOffset() + e.Central->ExtraLength,
                             e.Central->CommentLength);
    } else {
        extra = CentralExtraBlocks(e.ExtraField());
    }
    return EncodeFileHeader(h, THeaderKind::Central, e.Name(), extra, comment);
}

void TArchiveWriter::Finish() {
    TOutputStream& out = Output();
    TCentralDirectory cd;
    cd.Offset = out.Position();
    cd.Count = FWritten.size();
    std::string block;
    auto salvaged = FSalvaged.begin();
    for (size_t k = 0; k < FWritten.size(); ++k) {
        TEntryPlan plan;
        if (salvaged != FSalvaged.end() && salvaged->first == k)
            plan = (salvaged++)->second;
        block += CentralHeaderOf(FWritten[k], plan);
        if (block.size() >= CentralDirectoryFlush) {
            out.Write(block.data(), block.size());
            block.clear();
        }
    }
    out.Write(block.data(), block.size());
    cd.Size = out.Position() - cd.Offset;
    std::string end = EncodeEndRecords(cd, out.Position(), RecoveredComment);
    out.Write(end.data(), end.size());
    out.Commit();
}

} // namespace tessary
