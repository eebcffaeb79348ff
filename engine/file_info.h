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

// Where the CRC-32 and sizes the repaired archive gives an entry come from.
enum class TSizeSource : uint8_t {
    LocalHeader,       // its local header
    Descriptor,        // the data descriptor that fits it
    Inflated,          // its descriptor is lost: inflating its data found the
                       // stream's end, and no surviving record confirms the CRC
    InflatedInDamage,  // the same, but no record follows that end: the stream
                       // may have decoded damage, so its CRC is not written
    InflatedConfirmed, // the same, and a surviving central header agrees
    Central,           // a surviving central header, its data inflating to them
    CentralUnchecked,  // a surviving central header, for data not inflated
    CentralDisagrees,  // a surviving central header that the data does not match
    Unknown,           // its descriptor is lost and nothing else tells
};

// Written for an entry whose CRC-32 nothing tells: never the CRC of empty
// data (0), so that no reader takes a cut entry for a complete empty file.
inline constexpr uint32_t UnknownCrcPlaceholder = 0xFFFFFFFF;

// General purpose flag bits the engine looks at.
inline constexpr uint16_t FlagEncrypted = 0x0001;
inline constexpr uint16_t FlagDataDescriptor = 0x0008;
inline constexpr uint16_t FlagUtf8Name = 0x0800;

// What a central directory header found in the damaged file holds for an
// entry beyond its local header: its extra blocks and its comment.
struct TCentralKept {
    std::string Extra; // without the blocks that describe the local layout
    std::string Comment;
};

// One entry, decoded once from the local file header the scan accepted and
// final when the scan ends: the rebuild works out what it writes without
// changing it. The leading fields follow the central directory header; sizes
// and offsets are 64-bit so that large archives need no special case until
// they are written.
struct TFileInfo {
    uint16_t VersionMadeBy = 0;
    uint16_t VersionNeeded = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t ModTime = 0;
    uint16_t ModDate = 0;
    uint32_t Crc32 = 0;
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0; // -1: unknown
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0; // 0 when the extra field is not kept
    uint8_t Status = StatusExcellent;
    TSizeSource SizeSource = TSizeSource::LocalHeader;
    bool Zip64 = false;       // the local header carried its sizes in a zip64 extra field
    bool UnixExtra = false;   // the local header carried Unix extra fields: made on Unix
    bool UnicodePath = false; // the local header carried a Unicode Path extra field
    uint32_t ExternalAttributes = 0;
    int64_t HeaderOffset = 0; // of the local header in the damaged file
    // Where the record that gave the CRC and sizes lies in the damaged file
    // (the descriptor or the central header); -1 when none did.
    int64_t SizeRecordOffset = -1;
    std::string Name; // raw bytes, in whatever code page the archive used
    // The local header's extra field, ExtraLength bytes as read; absent for
    // most entries, so kept out of line.
    std::unique_ptr<std::string> Extra;
    // Set when a central directory header of the damaged file matches the
    // entry; VersionMadeBy and ExternalAttributes then come from it too.
    std::unique_ptr<TCentralKept> Central;

    std::string_view ExtraField() const {
        return Extra && ExtraLength ? std::string_view(*Extra).substr(0, ExtraLength)
                                    : std::string_view();
    }
};

// What the results list shows of one entry. The name refers to the entry's
// own text; it stays valid as long as the engine that made it.
struct TInfoForView {
    int64_t Size = 0;
    std::string_view Name;
    int32_t Status = 0;
    uint16_t Flags = 0; // bit 11 marks a UTF-8 name
    // Made by a writer that stores names as UTF-8 whatever the flag says:
    // the entry carries Unix or Unicode Path extra fields.
    bool Utf8Writer = false;
};

} // namespace tessary
