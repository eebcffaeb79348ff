// zip_builder.cpp -- writing test archives.
#include "zip_builder.h"

#include "byte_order.h"

#include <bzlib.h>
#include <fstream>
#include <stdexcept>
#include <zlib.h>

namespace tessary::test {

std::string Bzip2(const std::string& in) {
    std::string out(in.size() + in.size() / 100 + 600, '\0');
    unsigned size = static_cast<unsigned>(out.size());
    BZ2_bzBuffToBuffCompress(out.data(), &size, const_cast<char*>(in.data()),
                             static_cast<unsigned>(in.size()), 9, 0, 0);
    out.resize(size);
    return out;
}

uint32_t Crc32Of(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RawDeflate(const std::string& data, bool fixedCodes) {
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, fixedCodes ? Z_FIXED : Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

bool WriteLongExtraHeaders(const std::string& path, int count) {
    constexpr uint16_t ExtraLength = 0xFFFF - 1;
    std::string header;
    PutLE32(header, 0x04034B50);
    PutLE16(header, 10); // version needed
    PutLE16(header, 0);  // flags
    PutLE16(header, 0);  // stored
    PutLE32(header, 0);  // time and date
    PutLE32(header, 0);  // CRC-32 of no bytes
    PutLE32(header, 0);  // compressed size
    PutLE32(header, 0);  // uncompressed size
    PutLE16(header, 1);  // name length
    PutLE16(header, ExtraLength);
    header += 'a';
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::streamoff step = static_cast<std::streamoff>(header.size()) + ExtraLength;
    for (int i = 0; i < count && out; ++i) {
        out.seekp(step * i);
        out.write(header.data(), static_cast<std::streamsize>(header.size()));
    }
    // The last extra field ends the file; seeking alone would not make it longer.
    out.seekp(step * count - 1);
    out.put('\0');
    return static_cast<bool>(out.flush());
}

std::string TestBytes(size_t size, uint32_t seed, bool text) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 12345;
    static const char words[] = "the quick brown fox jumps over a lazy dog\n";
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = text ? words[x % (sizeof words - 1)] : static_cast<char>(x & 0xFF);
    }
    return s;
}

void TZipBuilder::AddStored(const std::string& name, const std::string& data) {
    Add(TZipEntry{name, data});
}

void TZipBuilder::AddDeflated(const std::string& name, const std::string& data) {
    TZipEntry e{name, data};
    e.Deflate = true;
    Add(e);
}

void TZipBuilder::Add(const TZipEntry& e) {
    std::string body = e.Deflate ? RawDeflate(e.Data, e.FixedCodes) : e.Data;
    uint32_t crc = Crc32Of(e.Data);
    bool descriptor = e.Descriptor != TDescriptor::None;
    uint16_t flags = static_cast<uint16_t>(e.Flags | (descriptor ? 0x0008 : 0));
    uint16_t version = e.Zip64 ? 45 : e.VersionNeeded;
    TBuiltEntry built;
    built.HeaderOffset = static_cast<int64_t>(FOut.size());
    built.Crc32 = crc;
    built.CompressedSize = body.size();

    std::string extra;
    if (e.Zip64) {
        PutLE16(extra, 0x0001);
        PutLE16(extra, 16);
        PutLE64(extra, descriptor ? 0 : e.Data.size());
        PutLE64(extra, descriptor ? 0 : body.size());
    }
    extra += e.Extra;

    std::string h;
    PutLE32(h, 0x04034B50);
    PutLE16(h, version);
    PutLE16(h, flags);
    PutLE16(h, e.Deflate ? 8 : 0);
    PutLE16(h, 0x6000); // 12:00
    PutLE16(h, 0x5A21); // 2025-01-01
    PutLE32(h, descriptor ? 0 : crc);
    uint32_t csize = descriptor ? 0 : static_cast<uint32_t>(body.size());
    uint32_t usize = descriptor ? 0 : static_cast<uint32_t>(e.Data.size());
    PutLE32(h, e.Zip64 ? 0xFFFFFFFF : csize);
    PutLE32(h, e.Zip64 ? 0xFFFFFFFF : usize);
    PutLE16(h, static_cast<uint16_t>(e.Name.size()));
    PutLE16(h, static_cast<uint16_t>(extra.size()));
    FOut += h + e.Name + extra;
    built.DataStart = static_cast<int64_t>(FOut.size());
    FOut += body;
    built.DataEnd = static_cast<int64_t>(FOut.size());
    if (descriptor) {
        std::string d;
        if (e.Descriptor == TDescriptor::Signed)
            PutLE32(d, 0x08074B50);
        PutLE32(d, crc);
        if (e.Zip64) {
            PutLE64(d, body.size());
            PutLE64(d, e.Data.size());
        } else {
            PutLE32(d, static_cast<uint32_t>(body.size()));
            PutLE32(d, static_cast<uint32_t>(e.Data.size()));
        }
        FOut += d;
    }
    built.RecordEnd = static_cast<int64_t>(FOut.size());

    std::string c;
    PutLE32(c, 0x02014B50);
    PutLE16(c, 0x031E);
    PutLE16(c, version);
    PutLE16(c, flags);
    PutLE16(c, e.Deflate ? 8 : 0);
    PutLE16(c, 0x6000);
    PutLE16(c, 0x5A21);
    PutLE32(c, crc);
    PutLE32(c, static_cast<uint32_t>(body.size()));
    PutLE32(c, static_cast<uint32_t>(e.Data.size()));
    PutLE16(c, static_cast<uint16_t>(e.Name.size()));
    PutLE16(c, static_cast<uint16_t>(e.CentralExtra.size()));
    PutLE16(c, static_cast<uint16_t>(e.Comment.size()));
    PutLE16(c, 0);
    PutLE16(c, 0);
    PutLE32(c, e.ExternalAttributes                    ? e.ExternalAttributes
               : e.Name.size() && e.Name.back() == '/' ? 0x10
                                                       : 0);
    PutLE32(c, static_cast<uint32_t>(built.HeaderOffset));
    FCentral += c + e.Name + e.CentralExtra + e.Comment;
    ++FCount;
    FBuilt.push_back(built);
}

std::string TZipBuilder::Finish(const std::string& comment) {
    FCentralOffset = static_cast<int64_t>(FOut.size());
    std::string out = FOut + FCentral;
    std::string end;
    PutLE32(end, 0x06054B50);
    PutLE16(end, 0);
    PutLE16(end, 0);
    PutLE16(end, static_cast<uint16_t>(FCount));
    PutLE16(end, static_cast<uint16_t>(FCount));
    PutLE32(end, static_cast<uint32_t>(FCentral.size()));
    PutLE32(end, static_cast<uint32_t>(FCentralOffset));
    PutLE16(end, static_cast<uint16_t>(comment.size()));
    return out + end + comment;
}

} // namespace tessary::test
