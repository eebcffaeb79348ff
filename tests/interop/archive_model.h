// archive_model.h -- where each entry of an undamaged archive lies, and a
// damaged copy of it that remembers which original bytes survived where.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::interop {

struct TLayoutEntry {
    std::string Name;      // raw bytes, as the central directory holds them
    std::string LocalName; // as the local header holds them
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    int64_t HeaderOffset = 0;
    int64_t DataStart = 0;
    int64_t RecordEnd = 0; // where the next record begins
    int DescriptorSize =
        0; // 0, or 12/16 (20/24 with zip64 sizes); even sizes of 12 and 20 lack the signature

    bool IsDirectory() const { return !Name.empty() && Name.back() == '/'; }
    bool UnsignedDescriptor() const { return DescriptorSize == 12 || DescriptorSize == 20; }
};

struct TLayout {
    std::vector<TLayoutEntry> Entries; // in central directory order
    int64_t CentralOffset = 0;
    int64_t Size = 0;
    std::string Comment; // the end record's
};

// Reads the central directory of a well-formed archive (zip64 end records and
// zip64 sizes included; the record count of the end record is not trusted,
// so counts beyond 65,535 need no zip64 record). Throws std::runtime_error.
TLayout ParseLayout(const std::string& bytes);

// A damaged copy of an archive. Every change is made in the copy's current
// coordinates; the copy keeps track of which bytes of the original survive
// unchanged and in one piece, and where they now are.
class TDamagedFile {
public:
    explicit TDamagedFile(std::string original);

    void Truncate(int64_t size);
    void Delete(int64_t at, int64_t count);
    void Insert(int64_t at, const std::string& bytes);
    void Overwrite(int64_t at, const std::string& bytes);
    void FlipByte(int64_t at, uint8_t mask = 0xFF);

    const std::string& Bytes() const { return FBytes; }
    int64_t Size() const { return FSize; }
    // Frees the bytes once written out; what survived where is kept.
    void ReleaseBytes() { std::string().swap(FBytes); }

    // Where the original bytes [begin, end) now lie, if they survived
    // unchanged and contiguous.
    std::optional<int64_t> Survives(int64_t begin, int64_t end) const;
    // Where an original offset now lies, if the byte there survived.
    std::optional<int64_t> MapOffset(int64_t offset) const { return Survives(offset, offset + 1); }

    // Whether an entry's record survived so that a reader of the damaged
    // file can still delimit it: its header, name, extra field, data and
    // descriptor unchanged. A descriptor without signature is only found by
    // what follows it, so such an entry also needs the next record's fixed
    // header (or the next central directory signature) behind it, or the end
    // of the damaged file right behind its descriptor.
    bool EntrySurvives(const TLayout& layout, size_t index) const;

private:
    struct TSegment {
        int64_t Length;
        int64_t Origin; // offset in the original, or -1 for new bytes
    };
    void Replace(int64_t at, int64_t count, const std::string& bytes);

    std::string FBytes;
    int64_t FSize = 0;
    std::vector<TSegment> FSegments;
};

} // namespace tessary::interop
