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

} // namespace

void DecodeLocalHeader(const unsigned char* p, TFileInfo& e) {
    e.VersionNeeded = GetLE16(p + 4);
    e.Flags = GetLE16(p + 6);
    e.Method = GetLE16(p + 8);
    e.ModTime = GetLE16(p + 10);
    e.ModDate = GetLE16(p + 12);
    e.Crc32 = GetLE32(p + 14);
    e.CompressedSize = GetLE32(p + 18);
    e.UncompressedSize = GetLE32(p + 22);
    e.NameLength = GetLE16(p + 26);
    e.ExtraLength = GetLE16(p + 28);
}

bool IsKnownMethod(uint16_t method) {
    return method <= 20 || (method >= 93 && method <= 99);
}

bool IsPlausibleLocalHeader(const TFileInfo& e) {
    return (e.VersionNeeded & 0xFF) <= 63;
}

bool IsPlainName(std::string_view name) {
    if (name.empty())
        return false;
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7F)
            return false;
    return true;
}

void DecodeExtraField(TFileInfo& e) {
    bool compressedMarked = e.CompressedSize == Zip64Marker32;
    bool uncompressedMarked = e.UncompressedSize == Zip64Marker32;
    ForEachExtraBlock(e.ExtraField(), [&](uint16_t id, std::string_view block) {
        e.UnixExtra |= id == 0x7875 || id == 0x7855 || id == 0x5855 || id == 0x000D;
        e.UnicodePath |= id == UnicodePathExtraId;
        if (id != Zip64ExtraId || e.Zip64)
            return;
        e.Zip64 = true;
        auto p = reinterpret_cast<const unsigned char*>(block.data()) + 4;
        size_t len = block.size() - 4;
        // A local header's block holds both sizes, whichever field is marked;
        // a short one holds the marked one. Sizes no file can have are ignored.
        auto take = [](int64_t& field, uint64_t value) {
            if (value < (uint64_t(1) << 62))
                field = static_cast<int64_t>(value);
        };
        if (!compressedMarked && !uncompressedMarked)
            return;
        if (len >= 16) {
            take(e.UncompressedSize, GetLE64(p));
            take(e.CompressedSize, GetLE64(p + 8));
        } else if (len >= 8) {
            take(uncompressedMarked ? e.UncompressedSize : e.CompressedSize, GetLE64(p));
        }
    });
}

void DecodeCentralZip64(TFileInfo& e) {
    ForEachExtraBlock(e.ExtraField(), [&](uint16_t id, std::string_view block) {
        if (id != Zip64ExtraId)
            return;
        auto p = reinterpret_cast<const unsigned char*>(block.data()) + 4;
        size_t left = block.size() - 4;
        for (int64_t* field : {&e.UncompressedSize, &e.CompressedSize, &e.HeaderOffset}) {
            if (*field != Zip64Marker32)
                continue;
            if (left < 8)
                return;
            uint64_t value = GetLE64(p);
            if (value < (uint64_t(1) << 62))
                *field = static_cast<int64_t>(value);
            p += 8;
            left -= 8;
        }
    });
}

bool IsValidUtf8Name(std::string_view name) {
    auto s = reinterpret_cast<const unsigned char*>(name.data());
    size_t n = name.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (len == 0 || c > 0xF4 || c == 0xC0 || c == 0xC1 || i + len > n)
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        unsigned char next = s[i + 1];
        if ((c == 0xE0 && next < 0xA0) || (c == 0xED && next >= 0xA0) ||
            (c == 0xF0 && next < 0x90) || (c == 0xF4 && next >= 0x90))
            return false; // overlong, surrogate or beyond U+10FFFF
        i += len;
    }
    return true;
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
        if (id == UnicodePathExtraId || id == AesExtraId)
            kept.append(block);
    });
    return kept;
}

bool NeedsZip64Sizes(const TWrittenEntry& w) {
    return w.CompressedSize >= Zip64Marker32 || w.UncompressedSize >= Zip64Marker32;
}

bool NeedsZip64Central(const TWrittenEntry& w) {
    return NeedsZip64Sizes(w) || w.HeaderOffset >= Zip64Marker32;
}

bool NeedsZip64End(const TCentralDirectory& cd) {
    return cd.Size >= Zip64Marker32 || cd.Offset >= Zip64Marker32;
}

std::string EncodeLocalHeader(const TFileInfo& e, const TWrittenEntry& w, std::string_view extra) {
    std::string_view name = e.Name;
    bool zip64 = NeedsZip64Sizes(w);
    std::string out;
    out.reserve(LocalHeaderSize + name.size() + extra.size() + 20);
    PutLE32(out, LocalHeaderSignature);
    PutLE16(out, zip64 && e.VersionNeeded < Zip64Version ? Zip64Version : e.VersionNeeded);
    PutLE16(out, w.Flags);
    PutLE16(out, e.Method);
    PutLE16(out, e.ModTime);
    PutLE16(out, e.ModDate);
    PutLE32(out, e.Crc32);
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(w.CompressedSize));
    PutLE32(out, zip64 ? Zip64Marker32 : static_cast<uint32_t>(w.UncompressedSize));
    PutLE16(out, static_cast<uint16_t>(name.size()));
    std::string zip64Block;
    if (zip64) {
        PutLE16(zip64Block, Zip64ExtraId);
        PutLE16(zip64Block, 16);
        PutLE64(zip64Block, static_cast<uint64_t>(w.UncompressedSize));
        PutLE64(zip64Block, static_cast<uint64_t>(w.CompressedSize));
    }
    // An extra field that no longer fits 16 bits with the block in front loses its tail.
    std::string_view rest = extra.substr(0, 0xFFFF - zip64Block.size());
    PutLE16(out, static_cast<uint16_t>(zip64Block.size() + rest.size()));
    out.append(name);
    out.append(zip64Block);
    out.append(rest);
    return out;
}

std::string EncodeCentralHeader(const TFileInfo& e, const TWrittenEntry& w) {
    std::string zip64Block;
    if (NeedsZip64Central(w)) {
        std::string values;
        if (w.UncompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(w.UncompressedSize));
        if (w.CompressedSize >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(w.CompressedSize));
        if (w.HeaderOffset >= Zip64Marker32)
            PutLE64(values, static_cast<uint64_t>(w.HeaderOffset));
        PutLE16(zip64Block, Zip64ExtraId);
        PutLE16(zip64Block, static_cast<uint16_t>(values.size()));
        zip64Block += values;
    }
    // A matching central header of the damaged file gives the blocks it held;
    // otherwise the local header's blocks that readers look for here.
    std::string more =
        e.Central ? WithoutZip64Extra(e.Central->Extra) : CentralExtraBlocks(e.ExtraField());
    more.resize(std::min(more.size(), 0xFFFF - zip64Block.size()));
    std::string_view comment = e.Central ? std::string_view(e.Central->Comment) : "";
    bool zip64 = !zip64Block.empty();

    std::string out;
    out.reserve(CentralHeaderSize + e.Name.size() + zip64Block.size() + more.size() +
                comment.size());
    PutLE32(out, CentralHeaderSignature);
    PutLE16(out, e.VersionMadeBy);
    PutLE16(out, zip64 && e.VersionNeeded < Zip64Version ? Zip64Version : e.VersionNeeded);
    PutLE16(out, w.Flags);
    PutLE16(out, e.Method);
    PutLE16(out, e.ModTime);
    PutLE16(out, e.ModDate);
    PutLE32(out, e.Crc32);
    PutLE32(out, Field32(w.CompressedSize));
    PutLE32(out, Field32(w.UncompressedSize));
    PutLE16(out, static_cast<uint16_t>(e.Name.size()));
    PutLE16(out, static_cast<uint16_t>(zip64Block.size() + more.size()));
    // One disk, no internal attributes.
    PutLE16(out, static_cast<uint16_t>(comment.size()));
    PutLE16(out, 0);
    PutLE16(out, 0);
    PutLE32(out, e.ExternalAttributes);
    PutLE32(out, Field32(w.HeaderOffset));
    out.append(e.Name);
    out.append(zip64Block);
    out.append(more);
    out.append(comment);
    return out;
}

std::string EncodeDataDescriptor(const TFileInfo& e, const TWrittenEntry& w) {
    std::string out;
    PutLE32(out, DescriptorSignature);
    PutLE32(out, e.Crc32);
    if (NeedsZip64Sizes(w)) {
        PutLE64(out, static_cast<uint64_t>(w.CompressedSize));
        PutLE64(out, static_cast<uint64_t>(w.UncompressedSize));
    } else {
        PutLE32(out, static_cast<uint32_t>(w.CompressedSize));
        PutLE32(out, static_cast<uint32_t>(w.UncompressedSize));
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
