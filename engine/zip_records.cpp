// zip_records.cpp -- decoding and encoding of ZIP records.
#include "zip_records.h"

#include "byte_order.h"

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

} // namespace

TLocalHeader DecodeLocalHeader(const unsigned char* p) {
    TLocalHeader h;
    h.VersionNeeded = GetLE16(p + 4);
    h.Flags = GetLE16(p + 6);
    h.Method = GetLE16(p + 8);
    h.ModTime = GetLE16(p + 10);
    h.ModDate = GetLE16(p + 12);
    h.Crc32 = GetLE32(p + 14);
    h.CompressedSize = GetLE32(p + 18);
    h.UncompressedSize = GetLE32(p + 22);
    h.NameLength = GetLE16(p + 26);
    h.ExtraLength = GetLE16(p + 28);
    return h;
}

bool IsPlausibleLocalHeader(const TLocalHeader& h) {
    bool knownMethod = h.Method <= 20 || (h.Method >= 93 && h.Method <= 99);
    bool knownVersion = (h.VersionNeeded & 0xFF) <= 63;
    return knownMethod && knownVersion;
}

std::optional<TZip64Sizes> FindZip64Sizes(std::string_view extra, const TLocalHeader& h) {
    std::optional<TZip64Sizes> found;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        if (id != Zip64ExtraId || found)
            return;
        auto p = reinterpret_cast<const unsigned char*>(block.data()) + 4;
        size_t len = block.size() - 4;
        TZip64Sizes sizes;
        if (len >= 16) {
            // A local header's block holds both sizes, whichever field is marked.
            sizes.Uncompressed = GetLE64(p);
            sizes.Compressed = GetLE64(p + 8);
        } else if (len >= 8) {
            if (h.UncompressedSize == Zip64Marker32)
                sizes.Uncompressed = GetLE64(p);
            else
                sizes.Compressed = GetLE64(p);
        }
        found = sizes;
    });
    return found;
}

bool HasZip64Extra(std::string_view extra) {
    bool has = false;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view) { has |= id == Zip64ExtraId; });
    return has;
}

bool HasUnixExtra(std::string_view extra) {
    bool has = false;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view) {
        has |= id == 0x7875 || id == 0x7855 || id == 0x5855 || id == 0x000D;
    });
    return has;
}

std::string WithoutZip64Extra(std::string_view extra) {
    std::string kept;
    size_t end = ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        if (id != Zip64ExtraId)
            kept.append(block);
    });
    kept.append(extra.substr(end));
    return kept;
}

std::string CentralExtraBlocks(std::string_view extra) {
    std::string kept;
    ForEachExtraBlock(extra, [&](uint16_t id, std::string_view block) {
        if (id == UnicodePathExtraId)
            kept.append(block);
    });
    return kept;
}

bool NeedsZip64Sizes(const TFileInfo& e) {
    return e.CompressedSize >= Zip64Marker32 || e.UncompressedSize >= Zip64Marker32;
}

bool NeedsZip64Central(const TFileInfo& e) {
    return NeedsZip64Sizes(e) || e.HeaderOffset >= Zip64Marker32;
}

bool NeedsZip64End(const TCentralDirectory& cd) {
    return cd.Size >= Zip64Marker32 || cd.Offset >= Zip64Marker32;
}

std::string EncodeLocalHeader(const TFileInfo& e, std::string_view name, std::string_view extra) {
    bool zip64 = NeedsZip64Sizes(e);
    std::string out;
    out.reserve(LocalHeaderSize + name.size() + extra.size() + 20);
    PutLE32(out, LocalHeaderSignature);
    PutLE16(out, zip64 && e.VersionNeeded < Zip64Version ? Zip64Version : e.VersionNeeded);
    PutLE16(out, e.Flags);
    PutLE16(out, e.Method);
    PutLE16(out, e.ModTime);
    PutLE16(out, e.ModDate);
    PutLE32(out, e.Crc32);
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(e.CompressedSize));
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(e.UncompressedSize));
    PutLE16(out, static_cast<uint16_t>(name.size()));
    std::string zip64Block;
    if (zip64) {
        PutLE16(zip64Block, Zip64ExtraId);
        PutLE16(zip64Block, 16);
        PutLE64(zip64Block, static_cast<uint64_t>(e.UncompressedSize));
        PutLE64(zip64Block, static_cast<uint64_t>(e.CompressedSize));
    }
    // An extra field that no longer fits 16 bits with the block in front loses its tail.
    std::string_view rest = extra.substr(0, 0xFFFF - zip64Block.size());
    PutLE16(out, static_cast<uint16_t>(zip64Block.size() + rest.size()));
    out.append(name);
    out.append(zip64Block);
    out.append(rest);
    return out;
}

std::string EncodeCentralHeader(const TFileInfo& e) {
    std::string zip64Block;
    if (NeedsZip64Central(e)) {
        std::string values;
        if (e.UncompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(e.UncompressedSize));
        if (e.CompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(e.CompressedSize));
        if (e.HeaderOffset >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(e.HeaderOffset));
        PutLE16(zip64Block, Zip64ExtraId);
        PutLE16(zip64Block, static_cast<uint16_t>(values.size()));
        zip64Block += values;
    }
    std::string_view more = e.CentralExtra ? std::string_view(*e.CentralExtra) : std::string_view();
    more = more.substr(0, 0xFFFF - zip64Block.size());
    bool zip64 = !zip64Block.empty();

    std::string out;
    out.reserve(CentralHeaderSize + e.Name.size() + zip64Block.size() + more.size());
    PutLE32(out, CentralHeaderSignature);
    PutLE16(out, e.VersionMadeBy);
    PutLE16(out, zip64 && e.VersionNeeded < Zip64Version ? Zip64Version : e.VersionNeeded);
    PutLE16(out, e.Flags);
    PutLE16(out, e.Method);
    PutLE16(out, e.ModTime);
    PutLE16(out, e.ModDate);
    PutLE32(out, e.Crc32);
    PutLE32(out, Field32(e.CompressedSize));
    PutLE32(out, Field32(e.UncompressedSize));
    PutLE16(out, static_cast<uint16_t>(e.Name.size()));
    PutLE16(out, static_cast<uint16_t>(zip64Block.size() + more.size()));
    PutLE16(out, e.CommentLength);
    PutLE16(out, e.DiskStart);
    PutLE16(out, e.InternalAttributes);
    PutLE32(out, e.ExternalAttributes);
    PutLE32(out, Field32(e.HeaderOffset));
    out.append(e.Name);
    out.append(zip64Block);
    out.append(more);
    return out;
}

std::string EncodeDataDescriptor(const TFileInfo& e) {
    std::string out;
    PutLE32(out, DescriptorSignature);
    PutLE32(out, e.Crc32);
    if (NeedsZip64Sizes(e)) {
        PutLE64(out, static_cast<uint64_t>(e.CompressedSize));
        PutLE64(out, static_cast<uint64_t>(e.UncompressedSize));
    } else {
        PutLE32(out, static_cast<uint32_t>(e.CompressedSize));
        PutLE32(out, static_cast<uint32_t>(e.UncompressedSize));
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
    // Counts over 65,535 keep their low 16 bits in an archive that needs no
    // zip64 end record: every common reader counts the headers instead.
    uint16_t count = zip64 ? Zip64Marker16 : static_cast<uint16_t>(cd.Count & 0xFFFF);
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
