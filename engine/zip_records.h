// zip_records.h -- the ZIP records the engine reads and writes, encoded and
// decoded field by field in little-endian, in this one place.
#pragma once

#include "file_info.h"

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

// Decodes the 30 fixed bytes of a local file header (p at its signature)
// straight into the entry record; the sizes are the 32-bit fields as read.
void DecodeLocalHeader(const unsigned char* p, TFileInfo& e);

// A signature match is only an entry when its fields are possible: a version
// the format has reached, and a method the format defines or else a name a
// writer would give (see IsPlainName). Self-extractor stubs and compressed
// data hold stray signatures that fail this.
bool IsPlausibleLocalHeader(const TFileInfo& e);
bool IsKnownMethod(uint16_t method);
// Not empty and free of control characters: what any writer stores, and
// what the bytes behind a stray signature almost never are.
bool IsPlainName(std::string_view name);

// Walks the extra field kept in `e` once: notes the blocks the engine cares
// about (zip64, Unix, Unicode Path) and, where a 32-bit size field holds the
// 0xFFFFFFFF marker, takes that size from the zip64 block.
void DecodeExtraField(TFileInfo& e);

// For a central directory header decoded into `e` (its extra field kept):
// takes each size and the offset whose 32-bit field holds the marker from
// the zip64 block, in the order the format lists them.
void DecodeCentralZip64(TFileInfo& e);

// Whether `name` is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8Name(std::string_view name);

// The extra field without its zip64 block, for a rewritten local header whose
// sizes fit its own fields. Other blocks stay byte for byte; a malformed tail
// is kept as it stands.
std::string WithoutZip64Extra(std::string_view extra);

// The blocks of a local extra field that the central directory repeats,
// because readers look for them there: zip64 is written afresh, AES
// encryption and the Unicode path are copied.
std::string CentralExtraBlocks(std::string_view extra);

// What the repaired archive says of one entry where it differs from the
// scan's record, which stays as found.
struct TWrittenEntry {
    uint16_t Flags = 0;
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    int64_t HeaderOffset = 0; // in the repaired archive
};

// Writers of the repaired archive's records.
std::string EncodeLocalHeader(const TFileInfo& e, const TWrittenEntry& w, std::string_view extra);
std::string EncodeCentralHeader(const TFileInfo& e, const TWrittenEntry& w);
std::string EncodeDataDescriptor(const TFileInfo& e, const TWrittenEntry& w);
struct TCentralDirectory {
    uint64_t Count = 0;
    int64_t Size = 0;
    int64_t Offset = 0;
};
std::string EncodeEndRecords(const TCentralDirectory& cd, int64_t zip64EndOffset,
                             std::string_view comment);

// Whether the entry needs zip64 forms in the repaired archive.
bool NeedsZip64Sizes(const TWrittenEntry& w);
bool NeedsZip64Central(const TWrittenEntry& w);
bool NeedsZip64End(const TCentralDirectory& cd);

} // namespace tessary
