// zip_records.h -- the ZIP records the engine reads and writes, encoded and
// decoded field by field in little-endian, in this one place.
#pragma once

#include "file_info.h"

#include <cstdint>
#include <optional>
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
inline constexpr uint32_t Zip64Marker32 = 0xFFFFFFFF;
inline constexpr uint16_t Zip64Marker16 = 0xFFFF;

// The fixed 30 bytes of a local file header, as read.
struct TLocalHeader {
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t ModTime = 0;
    uint16_t ModDate = 0;
    uint32_t Crc32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
};

TLocalHeader DecodeLocalHeader(const unsigned char* p); // p at the signature

// A signature match is only an entry when its fields are possible: a method
// the format defines and a version the format has reached. Self-extractor
// stubs and compressed data hold stray signatures that fail this.
bool IsPlausibleLocalHeader(const TLocalHeader& h);

// Sizes from a zip64 extended-information extra field, for a local header
// whose 32-bit size fields hold the 0xFFFFFFFF marker.
struct TZip64Sizes {
    std::optional<uint64_t> Uncompressed;
    std::optional<uint64_t> Compressed;
};
std::optional<TZip64Sizes> FindZip64Sizes(std::string_view extra, const TLocalHeader& h);

// True when the extra field holds a zip64 extended-information block.
bool HasZip64Extra(std::string_view extra);

// True when the extra field holds a block only Unix writers add (user and
// group ids).
bool HasUnixExtra(std::string_view extra);

// The extra field without its zip64 block, for a rewritten local header whose
// sizes fit its own fields. Other blocks stay byte for byte; a malformed tail
// is kept as it stands.
std::string WithoutZip64Extra(std::string_view extra);

// The blocks of a local extra field that the central directory repeats.
std::string CentralExtraBlocks(std::string_view extra);

// Writers of the repaired archive's records.
std::string EncodeLocalHeader(const TFileInfo& e, std::string_view name, std::string_view extra);
std::string EncodeCentralHeader(const TFileInfo& e);
std::string EncodeDataDescriptor(const TFileInfo& e);
struct TCentralDirectory {
    uint64_t Count = 0;
    int64_t Size = 0;
    int64_t Offset = 0;
};
std::string EncodeEndRecords(const TCentralDirectory& cd, int64_t zip64EndOffset,
                             std::string_view comment);

// Whether the entry needs zip64 forms in the repaired archive.
bool NeedsZip64Sizes(const TFileInfo& e);
bool NeedsZip64Central(const TFileInfo& e);
bool NeedsZip64End(const TCentralDirectory& cd);

} // namespace tessary
