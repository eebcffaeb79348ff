// file_info.h -- the entry record that carries one found entry from the scan to
// the rebuild, and the reduced view of it that the results list shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessary {

// Entry status codes. The scan runs its checks in the order name length, name
// characters, data descriptor, extent; the last failed check decides.
enum TEntryStatus : uint8_t {
    StatusExcellent = 0,    // no fault found
    StatusExtent = 1,       // reaches the end of the file, or its descriptor disagrees
    StatusName = 2,         // name over 300 bytes or holding a forbidden byte
    StatusNoDescriptor = 3, // flag bit 3 set but no data descriptor found
};

// The word the results list shows for a status code; empty for unknown codes.
std::string_view StatusWord(int status);

// General purpose flag bits the engine looks at.
inline constexpr uint16_t FlagEncrypted = 0x0001;
inline constexpr uint16_t FlagDataDescriptor = 0x0008;
inline constexpr uint16_t FlagUtf8Name = 0x0800;

// One entry, from the local file header the scan accepted. The leading fields
// follow the central directory header; sizes and offsets are 64-bit so that
// large archives need no special case until they are written.
struct TFileInfo {
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t ModTime = 0;
    uint16_t ModDate = 0;
    uint32_t Crc32 = 0;
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t DiskStart = 0;
    uint16_t InternalAttributes = 0;
    uint8_t Status = StatusExcellent;
    bool Zip64 = false;     // the local header carried its sizes in a zip64 extra field
    bool UnixExtra = false; // the local header carried Unix extra fields: made on Unix
    uint32_t ExternalAttributes = 0;
    // After the scan: the local header's offset in the damaged file.
    // After the rebuild: its offset in the repaired archive.
    int64_t HeaderOffset = 0;
    std::string Name; // raw bytes, in whatever code page the archive used
    // Extra-field blocks the central directory header repeats (Unicode Path);
    // absent for nearly every entry, so kept out of line.
    std::unique_ptr<std::string> CentralExtra;
};

// What the results list shows of one entry. The name refers to the entry's
// own text; it stays valid as long as the engine that made it.
struct TInfoForView {
    int64_t Size = 0;
    std::string_view Name;
    int32_t Status = 0;
    uint16_t Flags = 0; // lets the list tell UTF-8 names from code page 437 ones
};

} // namespace tessary
