// archive_model.cpp -- the layout of an undamaged archive and damaged copies.
#include "archive_model.h"

#include "byte_order.h"

#include <algorithm>
#include <stdexcept>

namespace tessary::interop {

namespace {

class TBytes {
public:
    explicit TBytes(const std::string& s) : FData(s) {}
    const unsigned char* At(int64_t offset, int64_t count) const {
        if (offset < 0 || count < 0 || offset + count > static_cast<int64_t>(FData.size()))
            throw std::runtime_error("record at " + std::to_string(offset) +
                                     " runs past the end of the archive");
        return reinterpret_cast<const unsigned char*>(FData.data()) + offset;
    }
    uint16_t U16(int64_t o) const { return GetLE16(At(o, 2)); }
    uint32_t U32(int64_t o) const { return GetLE32(At(o, 4)); }
    uint64_t U64(int64_t o) const { return GetLE64(At(o, 8)); }
    std::string Str(int64_t o, int64_t n) const {
        return std::string(reinterpret_cast<const char*>(At(o, n)), static_cast<size_t>(n));
    }
    int64_t Size() const { return static_cast<int64_t>(FData.size()); }

private:
    const std::string& FData;
};

// Replaces 0xFFFFFFFF sizes and offset by the zip64 extra field's values.
void ApplyZip64(const TBytes& b, int64_t extra, int64_t extraLength, TLayoutEntry& e,
                bool sizesMasked, bool compressedMasked, bool offsetMasked) {
    for (int64_t p = extra; p + 4 <= extra + extraLength;) {
        uint16_t id = b.U16(p);
        uint16_t len = b.U16(p + 2);
        if (id == 0x0001) {
            int64_t q = p + 4;
            if (sizesMasked) {
                e.UncompressedSize = b.U64(q);
                q += 8;
            }
            if (compressedMasked) {
                e.CompressedSize = b.U64(q);
                q += 8;
            }
            if (offsetMasked)
                e.HeaderOffset = static_cast<int64_t>(b.U64(q));
            return;
        }
        p += 4 + len;
    }
}

} // namespace

TLayout ParseLayout(const std::string& bytes) {
    TBytes b(bytes);
    TLayout layout;
    layout.Size = b.Size();
    int64_t end = -1;
    for (int64_t p = b.Size() - 22; p >= 0 && p >= b.Size() - 22 - 65535; --p) {
        if (b.U32(p) == 0x06054B50 && p + 22 + b.U16(p + 20) == b.Size()) {
            end = p;
            break;
        }
    }
    if (end < 0)
        throw std::runtime_error("no end of central directory record");
    layout.Comment = b.Str(end + 22, b.U16(end + 20));
    int64_t centralSize = b.U32(end + 12);
    int64_t centralOffset = b.U32(end + 16);
    if (end >= 20 && b.U32(end - 20) == 0x07064B50) {
        int64_t z = static_cast<int64_t>(b.U64(end - 20 + 8));
        if (b.U32(z) != 0x06064B50)
            throw std::runtime_error("zip64 end record not where its locator says");
        centralSize = static_cast<int64_t>(b.U64(z + 40));
        centralOffset = static_cast<int64_t>(b.U64(z + 48));
    }
    layout.CentralOffset = centralOffset;
    for (int64_t p = centralOffset; p < centralOffset + centralSize;) {
        if (b.U32(p) != 0x02014B50)
            throw std::runtime_error("no central directory header at " + std::to_string(p));
        TLayoutEntry e;
        e.Flags = b.U16(p + 8);
        e.Method = b.U16(p + 10);
        e.Crc32 = b.U32(p + 16);
        e.CompressedSize = b.U32(p + 20);
        e.UncompressedSize = b.U32(p + 24);
        uint16_t nameLength = b.U16(p + 28);
        uint16_t extraLength = b.U16(p + 30);
        uint16_t commentLength = b.U16(p + 32);
        e.HeaderOffset = b.U32(p + 42);
        e.Name = b.Str(p + 46, nameLength);
        ApplyZip64(b, p + 46 + nameLength, extraLength, e, e.UncompressedSize == 0xFFFFFFFF,
                   e.CompressedSize == 0xFFFFFFFF, e.HeaderOffset == 0xFFFFFFFF);
        if (b.U32(e.HeaderOffset) != 0x04034B50)
            throw std::runtime_error("no local header at " + std::to_string(e.HeaderOffset));
        e.LocalName = b.Str(e.HeaderOffset + 30, b.U16(e.HeaderOffset + 26));
        e.DataStart = e.HeaderOffset + 30 + b.U16(e.HeaderOffset + 26) + b.U16(e.HeaderOffset + 28);
        layout.Entries.push_back(e);
        p += 46 + nameLength + extraLength + commentLength;
    }
    std::vector<int64_t> starts;
    for (const TLayoutEntry& e : layout.Entries)
        starts.push_back(e.HeaderOffset);
    starts.push_back(centralOffset);
    std::sort(starts.begin(), starts.end());
    for (TLayoutEntry& e : layout.Entries) {
        e.RecordEnd = *std::upper_bound(starts.begin(), starts.end(), e.HeaderOffset);
        int64_t rest = e.RecordEnd - e.DataStart - static_cast<int64_t>(e.CompressedSize);
        if (e.Flags & 0x0008)
            e.DescriptorSize = static_cast<int>(rest);
        if (rest < 0 || !(rest == 0 || ((e.Flags & 0x0008) &&
                                        (rest == 12 || rest == 16 || rest == 20 || rest == 24))))
            throw std::runtime_error("entry " + e.Name + " leaves " + std::to_string(rest) +
                                     " unexplained bytes before the next record");
        if (e.DescriptorSize == 12 && b.U32(e.RecordEnd - 12) == 0x08074B50)
            throw std::runtime_error("ambiguous descriptor of " + e.Name);
    }
    return layout;
}

TDamagedFile::TDamagedFile(std::string original)
    : FBytes(std::move(original)), FSize(static_cast<int64_t>(FBytes.size())) {
    FSegments.push_back({FSize, 0});
}

void TDamagedFile::Replace(int64_t at, int64_t count, const std::string& bytes) {
    if (at < 0 || count < 0 || at + count > static_cast<int64_t>(FBytes.size()))
        throw std::out_of_range("damage outside the file");
    FBytes.replace(static_cast<size_t>(at), static_cast<size_t>(count), bytes);
    FSize = static_cast<int64_t>(FBytes.size());
    // Rebuild the segment list: the part before `at`, the new bytes, the rest.
    std::vector<TSegment> next;
    auto push = [&next](TSegment s) {
        if (s.Length <= 0)
            return;
        if (!next.empty() && next.back().Origin >= 0 && s.Origin >= 0 &&
            next.back().Origin + next.back().Length == s.Origin) {
            next.back().Length += s.Length;
            return;
        }
        if (!next.empty() && next.back().Origin < 0 && s.Origin < 0) {
            next.back().Length += s.Length;
            return;
        }
        next.push_back(s);
    };
    int64_t pos = 0;
    bool inserted = false;
    for (const TSegment& s : FSegments) {
        int64_t begin = pos, end = pos + s.Length;
        pos = end;
        auto origin = [&s, begin](int64_t p) { return s.Origin < 0 ? -1 : s.Origin + (p - begin); };
        // Before the replaced range.
        if (begin < at)
            push({std::min(end, at) - begin, s.Origin});
        if (!inserted && end >= at) {
            push({static_cast<int64_t>(bytes.size()), -1});
            inserted = true;
        }
        // After the replaced range.
        if (end > at + count) {
            int64_t from = std::max(begin, at + count);
            push({end - from, origin(from)});
        }
    }
    if (!inserted)
        push({static_cast<int64_t>(bytes.size()), -1});
    FSegments = std::move(next);
}

void TDamagedFile::Truncate(int64_t size) {
    Replace(size, static_cast<int64_t>(FBytes.size()) - size, "");
}

void TDamagedFile::Delete(int64_t at, int64_t count) {
    Replace(at, count, "");
}

void TDamagedFile::Insert(int64_t at, const std::string& bytes) {
    Replace(at, 0, bytes);
}

void TDamagedFile::Overwrite(int64_t at, const std::string& bytes) {
    Replace(at, static_cast<int64_t>(bytes.size()), bytes);
}

void TDamagedFile::FlipByte(int64_t at, uint8_t mask) {
    std::string b(
        1, static_cast<char>(static_cast<uint8_t>(FBytes.at(static_cast<size_t>(at))) ^ mask));
    Overwrite(at, b);
}

std::optional<int64_t> TDamagedFile::Survives(int64_t begin, int64_t end) const {
    int64_t pos = 0;
    for (const TSegment& s : FSegments) {
        if (s.Origin >= 0 && s.Origin <= begin && end <= s.Origin + s.Length)
            return pos + (begin - s.Origin);
        pos += s.Length;
    }
    return std::nullopt;
}

bool TDamagedFile::EntrySurvives(const TLayout& layout, size_t index) const {
    const TLayoutEntry& e = layout.Entries.at(index);
    std::optional<int64_t> at = Survives(e.HeaderOffset, e.RecordEnd);
    if (!at)
        return false;
    if (!e.UnsignedDescriptor())
        return true;
    int64_t end = *at + (e.RecordEnd - e.HeaderOffset);
    if (end == FSize)
        return true;
    int64_t follower = e.RecordEnd == layout.CentralOffset ? 4 : 30;
    return Survives(e.HeaderOffset, e.RecordEnd + follower).has_value();
}

} // namespace tessary::interop
