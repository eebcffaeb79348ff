// zip_reader.cpp -- a strict reader of repaired archives for tests.
#include "zip_reader.h"

#include "byte_order.h"

#include <stdexcept>
#include <zlib.h>

namespace tessary::test {

namespace {

const unsigned char* At(const std::string& s, uint64_t offset, uint64_t count) {
    if (offset > s.size() || count > s.size() - offset)
        throw std::runtime_error("record runs past the end of the archive");
    return reinterpret_cast<const unsigned char*>(s.data() + offset);
}

void ApplyZip64(TReadEntry& e, const std::string& extra, bool hasOffset) {
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        auto p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        uint16_t id = GetLE16(p), len = GetLE16(p + 2);
        if (id == 0x0001) {
            size_t k = 4;
            if (e.UncompressedSize == 0xFFFFFFFF)
                e.UncompressedSize = GetLE64(p + k), k += 8;
            if (e.CompressedSize == 0xFFFFFFFF)
                e.CompressedSize = GetLE64(p + k), k += 8;
            if (hasOffset && e.HeaderOffset == 0xFFFFFFFF)
                e.HeaderOffset = GetLE64(p + k);
        }
        pos += 4 + len;
    }
}

} // namespace

TReadArchive ReadArchive(const std::string& s) {
    TReadArchive a;
    if (s.size() < 22)
        throw std::runtime_error("too short for an end record");
    size_t endAt = s.rfind(std::string("PK\x05\x06", 4));
    if (endAt == std::string::npos)
        throw std::runtime_error("no end record");
    const unsigned char* end = At(s, endAt, 22);
    a.EndRecordCount = GetLE16(end + 10);
    uint64_t cdSize = GetLE32(end + 12), cdOffset = GetLE32(end + 16);
    uint16_t commentLength = GetLE16(end + 20);
    a.Comment =
        std::string(reinterpret_cast<const char*>(At(s, endAt + 22, commentLength)), commentLength);
    if (endAt + 22 + commentLength != s.size())
        throw std::runtime_error("bytes after the end record");
    if (endAt >= 20 && GetLE32(At(s, endAt - 20, 4)) == 0x07064B50) {
        a.Zip64End = true;
        uint64_t z = GetLE64(At(s, endAt - 12, 8));
        const unsigned char* r = At(s, z, 56);
        if (GetLE32(r) != 0x06064B50)
            throw std::runtime_error("bad zip64 end record");
        a.EndRecordCount = GetLE64(r + 32);
        cdSize = GetLE64(r + 40);
        cdOffset = GetLE64(r + 48);
        if (z != cdOffset + cdSize)
            throw std::runtime_error("zip64 end record not behind the central directory");
    } else if (cdOffset + cdSize != endAt) {
        throw std::runtime_error("central directory does not end at the end record");
    }
    uint64_t pos = cdOffset;
    while (pos < cdOffset + cdSize) {
        const unsigned char* c = At(s, pos, 46);
        if (GetLE32(c) != 0x02014B50)
            throw std::runtime_error("bad central directory header");
        TReadEntry e;
        e.VersionMadeBy = GetLE16(c + 4);
        e.VersionNeeded = GetLE16(c + 6);
        e.Flags = GetLE16(c + 8);
        e.Method = GetLE16(c + 10);
        e.Crc32 = GetLE32(c + 16);
        e.CompressedSize = GetLE32(c + 20);
        e.UncompressedSize = GetLE32(c + 24);
        uint16_t n = GetLE16(c + 28), m = GetLE16(c + 30), k = GetLE16(c + 32);
        e.ExternalAttributes = GetLE32(c + 38);
        e.HeaderOffset = GetLE32(c + 42);
        e.Name.assign(reinterpret_cast<const char*>(At(s, pos + 46, n)), n);
        e.CentralExtra.assign(reinterpret_cast<const char*>(At(s, pos + 46 + n, m)), m);
        ApplyZip64(e, e.CentralExtra, true);
        e.Comment.assign(reinterpret_cast<const char*>(At(s, pos + 46 + n + m, k)), k);
        pos += 46 + n + m + k;

        const unsigned char* l = At(s, e.HeaderOffset, 30);
        if (GetLE32(l) != 0x04034B50)
            throw std::runtime_error("no local header where the directory points");
        e.LocalFlags = GetLE16(l + 6);
        uint16_t ln = GetLE16(l + 26), lm = GetLE16(l + 28);
        e.LocalName.assign(reinterpret_cast<const char*>(At(s, e.HeaderOffset + 30, ln)), ln);
        e.LocalExtra.assign(reinterpret_cast<const char*>(At(s, e.HeaderOffset + 30 + ln, lm)), lm);
        uint64_t dataAt = e.HeaderOffset + 30 + ln + lm;
        e.Data.assign(reinterpret_cast<const char*>(At(s, dataAt, e.CompressedSize)),
                      e.CompressedSize);
        a.Entries.push_back(std::move(e));
    }
    if (pos != cdOffset + cdSize)
        throw std::runtime_error("central directory size disagrees with its headers");
    return a;
}

std::string Extract(const TReadEntry& e) {
    std::string out;
    if (e.Method == 0) {
        out = e.Data;
    } else if (e.Method == 8) {
        out.resize(e.UncompressedSize);
        z_stream z{};
        inflateInit2(&z, -15);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(e.Data.data()));
        z.avail_in = static_cast<uInt>(e.Data.size());
        z.next_out = reinterpret_cast<Bytef*>(out.data());
        z.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&z, Z_FINISH);
        inflateEnd(&z);
        if (rc != Z_STREAM_END || z.total_out != e.UncompressedSize)
            throw std::runtime_error("inflate failed for " + e.Name);
    } else {
        throw std::runtime_error("unsupported method");
    }
    if (out.size() != e.UncompressedSize || crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                                                  static_cast<uInt>(out.size())) != e.Crc32)
        throw std::runtime_error("CRC mismatch for " + e.Name);
    return out;
}

} // namespace tessary::test
