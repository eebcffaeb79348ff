// archive_writer.cpp -- the records of the repaired archive.
#include "archive_writer.h"

#include "arcsalve.h"
#include "engine_error.h"

namespace tessary {

namespace {
constexpr int64_t ImplausibleCompressedSize = 1'048'576;
constexpr int64_t UnknownSizeFallback = 1024;
constexpr size_t CentralDirectoryFlush = 1 << 20;
} // namespace

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

TLocalPart LocalPartOf(const TFileInfo& e, int64_t fileSize) {
    TWrittenEntry w = AsWritten(e, fileSize, 0);
    TLocalPart part;
    part.Header = EncodeLocalHeader(e, w, WithoutZip64Extra(e.ExtraField()));
    part.DataOffset = e.HeaderOffset + LocalHeaderSize + e.NameLength + e.ExtraLength;
    part.DataLength = w.CompressedSize;
    if (w.Flags & FlagDataDescriptor)
        part.Descriptor = EncodeDataDescriptor(e, w);
    part.Planned = PlannedBytes(e, fileSize);
    return part;
}

void WriteLocalPart(TOutputStream& out, TInputStream& input, const TLocalPart& part) {
    out.Write(part.Header.data(), part.Header.size());
    out.CopyFrom(input, part.DataOffset, part.DataLength);
    if (!part.Descriptor.empty())
        out.Write(part.Descriptor.data(), part.Descriptor.size());
}

int64_t PlannedBytes(const TFileInfo& e, int64_t fileSize) {
    return LocalHeaderSize + int64_t(e.Name.size()) + e.ExtraLength +
           AsWritten(e, fileSize, 0).CompressedSize + 24;
}

// Twice the damaged file, plus room for one implausible entry's megabyte,
// is more than any honest file needs.
int64_t MostBytesToWrite(int64_t fileSize) {
    return 2 * fileSize + ImplausibleCompressedSize + (64 << 10);
}

void RefuseOverlappingEntries(const std::string& inputName) {
    throw EArcsalveError(TErrorKind::ReadInput, inputName,
                         "Its headers claim far more data than it holds (overlapping "
                         "entries); the repaired archive would be more than twice its size, "
                         "so nothing was written");
}

void WriteDirectory(TOutputStream& out, size_t count,
                    const std::function<std::string(size_t k)>& centralHeader) {
    TCentralDirectory cd;
    cd.Offset = out.Position();
    cd.Count = count;
    std::string block;
    for (size_t k = 0; k < count; ++k) {
        block += centralHeader(k);
        if (block.size() >= CentralDirectoryFlush) {
            out.Write(block.data(), block.size());
            block.clear();
        }
    }
    out.Write(block.data(), block.size());
    cd.Size = out.Position() - cd.Offset;

    std::string end = EncodeEndRecords(cd, out.Position(), RecoveredComment);
    out.Write(end.data(), end.size());
}

} // namespace tessary
