// zip_records.h -- the ZIP records the engine reads and writes, decoded and
// encoded field by field in little-endian, in this one place: one header
// shape and one reader and writer for both header kinds (local file header
// and central directory header), the data descriptor and the end records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

inline constexpr uint32_t LocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t DescriptorSignature = 0x08074B50;
inline constexpr uint32_t CentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t EndRecordSignature = 0x06054B50;
inline constexpr uint32_t Zip64EndRecordSignature = 0x06064B50;
inline constexpr uint32_t Zip64LocatorSignature = 0x07064B50;

inline constexpr int LocalHeaderSize = 30;
inline constexpr int CentralHeaderSize = 46;
inline constexpr int EndRecordSize = 22;
inline constexpr int Zip64EndRecordSize = 56;
inline constexpr int Zip64LocatorSize = 20;

inline constexpr uint16_t Zip64ExtraId = 0x0001;
inline constexpr uint16_t UnicodePathExtraId = 0x7075;
inline constexpr uint16_t AesExtraId = 0x9901;
inline constexpr uint32_t Zip64Marker32 = 0xFFFFFFFF;
inline constexpr uint16_t Zip64Marker16 = 0xFFFF;

// General purpose flag bits the engine looks at.
inline constexpr uint16_t FlagEncrypted = 0x0001;
inline constexpr uint16_t FlagDataDescriptor = 0x0008;
inline constexpr uint16_t FlagUtf8Name = 0x0800;

// Reads little-endian fields from a byte range and never past its end: a
// read beyond it yields zeros and makes Ok() false, so a decoder reads its
// fields unconditionally and asks once at the end.
class TByteCursor {
public:
    TByteCursor(const unsigned char* data, size_t size) : FData(data), FSize(size) {}
    uint16_t Get16();
    uint32_t Get32();
    uint64_t Get64();
    void Skip(size_t count);
    size_t Left() const { return FSize - FPos; }
    bool Ok() const { return FOk; }

private:
    const unsigned char* Take(size_t count);
    const unsigned char* FData;
    size_t FSize;
    size_t FPos = 0;
    bool FOk = true;
};

uint32_t SignatureOf(const unsigned char* p); // the first four bytes, little-endian

enum class THeaderKind : uint8_t { Local, Central };

// What a local file header or a central directory header says, as found:
// the fixed fields of either kind (those a local header lacks stay zero),
// sizes and offset with the zip64 values of its extra field applied, and
// where it was found. The same shape, filled with the values to write, is
// what the repaired archive's headers are encoded from.
struct TFileHeader {
    int64_t Offset = 0; // of its signature in the file it was read from
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    int64_t LocalOffset = 0; // central header: where its local header lies
    uint32_t Crc32 = 0;
    uint32_t ExternalAttributes = 0;
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t ModTime = 0;
    uint16_t ModDate = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    THeaderKind Kind = THeaderKind::Local;
    // The 32-bit compressed size field, as found before any zip64 value,
    // was 0: the mark of a folder entry.
    bool CompressedFieldZero = false;
    bool Zip64 = false;       // its extra field held a zip64 block
    bool UnixExtra = false;   // its extra field held Unix blocks: made on Unix
    bool UnicodePath = false; // its extra field held a Unicode Path block
    // Kept small: the scan holds one per header. The disk number and the
    // internal attributes are not kept: the repair writes neither.
};

// Decodes the fixed part of a header of `kind` (30 or 46 bytes from its
// signature). False when the bytes are too few or the signature is not the
// kind's.
bool DecodeFileHeader(TByteCursor& cursor, THeaderKind kind, TFileHeader& h);

// The disk number start of a central directory header (46 fixed bytes from
// its signature): the part of an archive in parts that holds its local
// header, whose offset counts from that part's first byte.
uint16_t CentralHeaderDiskStart(const unsigned char* fixed);

// Walks the header's extra field once: notes the blocks the engine cares
// about and, where a 32-bit field holds the 0xFFFFFFFF marker, takes its
// value from the zip64 block. A local header's block holds both sizes,
// whichever is marked; a central header's holds the marked fields in the
// order the format lists them, the offset last.
void DecodeExtraField(TFileHeader& h, std::string_view extra);

// A data descriptor: the CRC-32 and sizes a streaming writer puts behind an
// entry's data, with or without its signature, in 32 or 64 bits.
struct TDataDescriptor {
    int64_t Offset = -1; // of its first byte; -1: none
    uint8_t Length = 0;  // 12, 16, 20 or 24
    bool Signed = false;
    bool Zip64 = false;
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
};

// `cursor` starts at the descriptor's signature when `isSigned`, else at
// its CRC-32.
bool DecodeDataDescriptor(TByteCursor& cursor, int64_t offset, bool isSigned, bool zip64,
                          TDataDescriptor& d);

// The end of central directory record, as found.
struct TEndRecord {
    int64_t Offset = 0;
    uint16_t Disk = 0;
    uint16_t DirectoryDisk = 0;
    uint16_t EntriesOnDisk = 0;
    uint16_t Entries = 0;
    uint32_t DirectorySize = 0;
    uint32_t DirectoryOffset = 0;
    uint16_t CommentLength = 0;
};

bool DecodeEndRecord(TByteCursor& cursor, int64_t offset, TEndRecord& r);

// A method the format defines (or reserves for a known compressor).
bool IsKnownMethod(uint16_t method);
// Not empty and free of control characters: what any writer stores, and
// what the bytes behind a stray signature almost never are.
bool IsPlainName(std::string_view name);

// Every byte of the extra field lies in a block whose length fits it.
bool IsWellFormedExtraField(std::string_view extra);

// The extra field without its zip64 block, for a rewritten header whose
// sizes fit its own fields. Other blocks stay byte for byte; a malformed tail
// (a block whose length runs past the field, padding) is dropped, as strict
// readers refuse the whole archive over it.
std::string WithoutZip64Extra(std::string_view extra);
// Bytes at the end of an extra field that are no whole block.
size_t MalformedExtraTail(std::string_view extra);

// The blocks of a local extra field that the central directory repeats,
// because readers look for them there: AES encryption and the Unicode path.
std::string CentralExtraBlocks(std::string_view extra);

// Encodes a header of `kind` from `h` (the values to write), with its name,
// its extra field (without any zip64 block: the writer adds one where the
// values need it) and, for a central header, its comment.
std::string EncodeFileHeader(const TFileHeader& h, THeaderKind kind, std::string_view name,
                             std::string_view extra, std::string_view comment = {});
// The descriptor behind an entry's data, 32- or 64-bit as its sizes need.
std::string EncodeDataDescriptor(const TFileHeader& h);

struct TCentralDirectory {
    uint64_t Count = 0;
    int64_t Size = 0;
    int64_t Offset = 0;
};
// The end record, behind a zip64 end record and locator (at
// `zip64EndOffset`) where the directory needs them.
std::string EncodeEndRecords(const TCentralDirectory& cd, int64_t zip64EndOffset,
                             std::string_view comment);

// Whether a header needs zip64 forms in the repaired archive.
bool NeedsZip64Sizes(const TFileHeader& h);
bool NeedsZip64Central(const TFileHeader& h);
// The directory's size or offset passes 32 bits, or its count 16 bits.
bool NeedsZip64End(const TCentralDirectory& cd);

} // namespace tessary
