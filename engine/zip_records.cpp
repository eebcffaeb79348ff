// zip_records.cpp -- decoding and encoding of ZIP records.
#include "zip_records.h"

#include "byte_order.h"

#include <algorithm>

namespace tessary {

namespace {

constexpr uint16_t Zip64Version = 45;

// Calls visit(id, block-with-header) for each well-formed block of an extra
// field; returns the offset where well-formed blocks end.
template <typename Visit> size_t ForEachExtraBlock(std::string_view extra, Visit visit) {
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        auto p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        size_t len = GetLE16(p + 2);
        if (pos + 4 + len > extra.size())
            break;
        visit(GetLE16(p), extra.substr(pos, 4 + len));
        pos += 4 + len;
    }
    return pos;
}

uint32_t Field32(int64_t v) {
    return v >= Zip64Marker32 ? Zip64Marker32 : static_cast<uint32_t>(v);
}

// Sizes no file can have are taken for damage and ignored.
void TakeZip64(int64_t& field, uint64_t value) {
    if (value < (uint64_t(1) << 62))
        field = static_cast<int64_t>(value);
}

} // namespace

const unsigned char* TByteCursor::Take(size_t count) {
    if (!FOk || count > FSize - FPos) {
        FOk = false;
        return nullptr;
    }
    const unsigned char* p = FData + FPos;
    FPos += count;
    return p;
}

uint16_t TByteCursor::Get16() {
    const unsigned char* p = Take(2);
    return p ? GetLE16(p) : 0;
}

uint32_t TByteCursor::Get32() {
    const unsigned char* p = Take(4);
    return p ? GetLE32(p) : 0;
}

uint64_t TByteCursor::Get64() {
    const unsigned char* p = Take(8);
    return p ? GetLE64(p) : 0;
}

void TByteCursor::Skip(size_t count) {
    Take(count);
}

uint32_t SignatureOf(const unsigned char* p) {
    return GetLE32(p);
}

bool DecodeFileHeader(TByteCursor& c, THeaderKind kind, TFileHeader& h) {
    bool local = kind == THeaderKind::Local;
    h.Kind = kind;
    uint32_t signature = c.Get32();
    if (!local)
        h.VersionMadeBy = c.Get16();
    h.VersionNeeded = c.Get16();
    h.Flags = c.Get16();
    h.Method = c.Get16();
    h.ModTime = c.Get16();
    h.ModDate = c.Get16();
    h.Crc32 = c.Get32();
    h.CompressedSize = c.Get32();
    h.CompressedFieldZero = h.CompressedSize == 0;
    h.UncompressedSize = c.Get32();
    h.NameLength = c.Get16();
    h.ExtraLength = c.Get16();
    if (!local) {
        h.CommentLength = c.Get16();
        c.Skip(4); // disk number start, internal attributes
        h.ExternalAttributes = c.Get32();
        h.LocalOffset = c.Get32();
    }
    return c.Ok() && signature == (local ? LocalHeaderSignature : CentralHeaderSignature);
}

uint16_t CentralHeaderDiskStart(const unsigned char* fixed) {
    return GetLE16(fixed + 34); // behind the comment length
}

void DecodeExtraField(TFileHeader& h, std::string_view extra) {
    bool local = h.Kind == THeaderKind::Local;
    bool compressedMarked = h.CompressedSize == Zip64Marker32;
    bool uncompressedMarked = h.UncompressedSize == Zip64Marker32;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        h.UnixExtra |= id == 0x7875 || id == 0x7855 || id == 0x5855 || id == 0x000D;
        h.UnicodePath |= id == UnicodePathExtraId;
        if (id != Zip64ExtraId || h.Zip64)
            return;
        h.Zip64 = true;
        TByteCursor c(reinterpret_cast<const unsigned char*>(block.data()) + 4, block.size() - 4);
        if (!local) {
            for (int64_t* field : {&h.UncompressedSize, &h.CompressedSize, &h.LocalOffset}) {
                if (*field != Zip64Marker32)
                    continue;
                uint64_t value = c.Get64();
                if (!c.Ok())
                    return;
                TakeZip64(*field, value);
            }
            return;
        }
        if (!compressedMarked && !uncompressedMarked)
            return;
        if (c.Left() >= 16) {
            TakeZip64(h.UncompressedSize, c.Get64());
            TakeZip64(h.CompressedSize, c.Get64());
        } else if (c.Left() >= 8) {
            TakeZip64(uncompressedMarked ? h.UncompressedSize : h.CompressedSize, c.Get64());
        }
    });
}

bool DecodeDataDescriptor(TByteCursor& c, int64_t offset, bool isSigned, bool zip64,
                          TDataDescriptor& d) {
    if (isSigned && c.Get32() != DescriptorSignature)
        return false;
    d.Offset = offset;
    d.Signed = isSigned;
    d.Zip64 = zip64;
    d.Length = static_cast<uint8_t>((isSigned ? 4 : 0) + (zip64 ? 20 : 12));
    d.Crc32 = c.Get32();
    d.CompressedSize = zip64 ? c.Get64() : c.Get32();
    d.UncompressedSize = zip64 ? c.Get64() : c.Get32();
    return c.Ok();
}

bool DecodeEndRecord(TByteCursor& c, int64_t offset, TEndRecord& r) {
    r.Offset = offset;
    uint32_t signature = c.Get32();
    r.Disk = c.Get16();
    r.DirectoryDisk = c.Get16();
    r.EntriesOnDisk = c.Get16();
    r.Entries = c.Get16();
    r.DirectorySize = c.Get32();
    r.DirectoryOffset = c.Get32();
    r.CommentLength = c.Get16();
    return c.Ok() && signature == EndRecordSignature;
}

bool IsKnownMethod(uint16_t method) {
    return method <= 20 || (method >= 93 && method <= 99);
}

bool IsPlainName(std::string_view name) {
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

bool IsWellFormedExtraField(std::string_view extra) {
    return ForEachExtraBlock(extra, [](uint16_t, std::string_view) {}) == extra.size();
}

std::string WithoutZip64Extra(std::string_view extra) {
    std::string kept;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        if (id != Zip64ExtraId)
            kept.append(block);
    });
    return kept;
}

size_t MalformedExtraTail(std::string_view extra) {
    return extra.size() - ForEachExtraBlock(extra, [](uint16_t, std::string_view) {});
}

std::string CentralExtraBlocks(std::string_view extra) {
    std::string kept;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        if (id == UnicodePathExtraId || id == AesExtraId)
            kept.append(block);
    });
    return kept;
}

bool NeedsZip64Sizes(const TFileHeader& h) {
    return h.CompressedSize >= Zip64Marker32 || h.UncompressedSize >= Zip64Marker32;
}

bool NeedsZip64Central(const TFileHeader& h) {
    return NeedsZip64Sizes(h) || h.LocalOffset >= Zip64Marker32;
}

bool NeedsZip64End(const TCentralDirectory& cd) {
    return cd.Size >= Zip64Marker32 || cd.Offset >= Zip64Marker32 || cd.Count >= Zip64Marker16;
}

// A local header with zip64 sizes marks both size fields and carries both
// sizes in its block; a central header marks and carries only the fields
// (sizes, offset) that do not fit.
std::string EncodeFileHeader(const TFileHeader& h, THeaderKind kind, std::string_view name,
                             std::string_view extra, std::string_view comment) {
    bool local = kind == THeaderKind::Local;
    bool zip64 = local ? NeedsZip64Sizes(h) : NeedsZip64Central(h);
    std::string zip64Block;
    if (zip64) {
        std::string values;
        if (local || h.UncompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(h.UncompressedSize));
        if (local || h.CompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(h.CompressedSize));
        if (!local && h.LocalOffset >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(h.LocalOffset));
        PutLE16(zip64Block, Zip64ExtraId);
        PutLE16(zip64Block, static_cast<uint16_t>(values.size()));
        zip64Block += values;
    }
    // An extra field that no longer fits 16 bits with the block in front
    // loses its tail.
    std::string_view rest = extra.substr(0, 0xFFFF - zip64Block.size());
    if (local)
        comment = {};

    std::string out;
    out.reserve(CentralHeaderSize + name.size() + zip64Block.size() + rest.size() + comment.size());
    PutLE32(out, local ? LocalHeaderSignature : CentralHeaderSignature);
    if (!local)
        PutLE16(out, h.VersionMadeBy);
    PutLE16(out, zip64 && h.VersionNeeded < Zip64Version ? Zip64Version : h.VersionNeeded);
    PutLE16(out, h.Flags);
    PutLE16(out, h.Method);
    PutLE16(out, h.ModTime);
    PutLE16(out, h.ModDate);
    PutLE32(out, h.Crc32);
    PutLE32(out, local && zip64 ? Zip64Marker32 : Field32(h.CompressedSize));
    PutLE32(out, local && zip64 ? Zip64Marker32 : Field32(h.UncompressedSize));
    PutLE16(out, static_cast<uint16_t>(name.size()));
    PutLE16(out, static_cast<uint16_t>(zip64Block.size() + rest.size()));
    if (!local) {
        PutLE16(out, static_cast<uint16_t>(comment.size()));
        PutLE16(out, 0); // one disk
        PutLE16(out, 0); // no internal attributes
        PutLE32(out, h.ExternalAttributes);
        PutLE32(out, Field32(h.LocalOffset));
    }
    out.append(name);
    out.append(zip64Block);
    out.append(rest);
    out.append(comment);
    return out;
}

std::string EncodeDataDescriptor(const TFileHeader& h) {
    std::string out;
    PutLE32(out, DescriptorSignature);
    PutLE32(out, h.Crc32);
    if (NeedsZip64Sizes(h)) {
        PutLE64(out, static_cast<uint64_t>(h.CompressedSize));
        PutLE64(out, static_cast<uint64_t>(h.UncompressedSize));
    } else {
        PutLE32(out, static_cast<uint32_t>(h.CompressedSize));
        PutLE32(out, static_cast<uint32_t>(h.UncompressedSize));
    }
    return out;
}

std::string EncodeEndRecords(const TCentralDirectory& cd, int64_t zip64EndOffset,
                             std::string_view comment) {
    std::string out;
    bool zip64 = NeedsZip64End(cd);
    if (zip64) {
        PutLE32(out, Zip64EndRecordSignature);
        PutLE64(out, Zip64EndRecordSize - 12);
        PutLE16(out, Zip64Version); // version made by
        PutLE16(out, Zip64Version); // version needed
        PutLE32(out, 0);            // this disk
        PutLE32(out, 0);            // disk of the central directory
        PutLE64(out, cd.Count);
        PutLE64(out, cd.Count);
        PutLE64(out, static_cast<uint64_t>(cd.Size));
        PutLE64(out, static_cast<uint64_t>(cd.Offset));
        PutLE32(out, Zip64LocatorSignature);
        PutLE32(out, 0);
        PutLE64(out, static_cast<uint64_t>(zip64EndOffset));
        PutLE32(out, 1); // total disks
    }
    // Behind a zip64 end record every field holds its marker: readers then
    // take the zip64 record's values.
    uint16_t count = zip64 ? Zip64Marker16 : static_cast<uint16_t>(cd.Count);
    PutLE32(out, EndRecordSignature);
    PutLE16(out, 0);
    PutLE16(out, 0);
    PutLE16(out, count);
    PutLE16(out, count);
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(cd.Size));
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(cd.Offset));
    PutLE16(out, static_cast<uint16_t>(comment.size()));
    out.append(comment);
    return out;
}

} // namespace tessary
