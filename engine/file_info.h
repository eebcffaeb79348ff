// file_info.h -- the records the scan finds (local and central headers, as
// found) and the entry record that the resolver concludes from them: what
// the repaired archive says of each entry, beside the header it came from.
#pragma once

#include "zip_records.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tessary {

// Entry status codes. The checks run in the order name length, name
// characters, data descriptor, extent; the last failed check decides.
enum TEntryStatus : uint8_t {
    StatusExcellent = 0,    // no fault found
    StatusExtent = 1,       // reaches the end of the file or into a missing part of it,
                            // or its descriptor disagrees
    StatusName = 2,         // name over 300 bytes or holding a forbidden byte
    StatusNoDescriptor = 3, // flag bit 3 set but no data descriptor found
};

// A local file header as the scan found it, with its name and extra field.
struct TLocalHeader : TFileHeader {
    // Its name (raw bytes, in whatever code page the archive used) followed
    // by its extra field, in one string: one allocation at most per header.
    std::string NameAndExtra;

    std::string_view Name() const { return std::string_view(NameAndExtra).substr(0, NameLength); }
    std::string_view ExtraField() const {
        return NameAndExtra.size() > NameLength ? std::string_view(NameAndExtra).substr(NameLength)
                                                : std::string_view();
    }
    int64_t DataStart() const { return Offset + LocalHeaderSize + NameLength + ExtraLength; }
};

// A central directory header as the scan found it. Its name is kept as a
// hash; its name, extra field and comment are read again where needed.
struct TCentralHeader : TFileHeader {
    uint64_t NameHash = 0;
    int64_t ExtraOffset() const { return Offset + CentralHeaderSize + NameLength; }
};

// Where the CRC-32 and sizes the repaired archive gives an entry come from.
enum class TSizeSource : uint8_t {
    LocalHeader,       // its local header
    Descriptor,        // the data descriptor that fits it
    NextHeader,        // its claim runs past the end of the file: up to the next header
    DirectoryBehind,   // the same, up to the central directory behind its data
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

// Further conclusions the reasons of an entry name.
enum TEntryReason : uint8_t {
    ReasonLongName = 1 << 0,       // name over 300 bytes
    ReasonNameBytes = 1 << 1,      // name holds bytes file names may not hold
    ReasonPastEnd = 1 << 2,        // its data runs past the end of the file
    ReasonExtraDropped = 1 << 3,   // its extra field would overlap the next header
    ReasonTextModeUndone = 1 << 4, // its line ends, changed by a text-mode transfer, were restored
    ReasonMissingPart = 1 << 5,    // it reaches into bytes a missing or short part did not hold
    ReasonRebuiltFromCentral = 1 << 6, // its local header was lost: made from its central header
};

// Written for an entry whose CRC-32 nothing tells: never the CRC of empty
// data (0), so that no reader takes a cut entry for a complete empty file.
inline constexpr uint32_t UnknownCrcPlaceholder = 0xFFFFFFFF;

// One entry: the local header it was found by, and what the repair concluded
// of it. Complete when the resolver hands it on; nothing changes it after.
struct TFileInfo {
    const TLocalHeader* Found = nullptr;
    // The surviving central directory header that matches it: its made-by
    // and attributes, and its extra blocks and comment where CentralStrings.
    const TCentralHeader* Central = nullptr;
    int64_t CompressedSize = 0;   // bytes of data the repaired archive copies
    int64_t UncompressedSize = 0; // -1: unknown
    // Where the record that gave the CRC and sizes lies in the damaged file
    // (descriptor, next header, central header); -1 when none did.
    int64_t SizeRecordOffset = -1;
    uint32_t Crc32 = 0;
    uint8_t Status = StatusExcellent;
    TSizeSource SizeSource = TSizeSource::LocalHeader;
    uint8_t Reasons = 0; // TEntryReason bits
    bool CentralStrings = false;

    std::string_view Name() const { return Found->Name(); }
    int64_t HeaderOffset() const { return Found->Offset; }
    // The local extra field kept: all of it, unless it would overlap the
    // next header.
    uint16_t ExtraLength() const { return (Reasons & ReasonExtraDropped) ? 0 : Found->ExtraLength; }
    std::string_view ExtraField() const {
        return ExtraLength() ? Found->ExtraField() : std::string_view();
    }
    int64_t DataOffset() const {
        return Found->Offset + LocalHeaderSize + Found->NameLength + ExtraLength();
    }
    // The system that made it and its attributes: the central header's, or
    // where none matches, chosen from its local header.
    uint16_t VersionMadeBy() const;
    uint32_t ExternalAttributes() const;
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

inline TInfoForView ViewOf(const TFileInfo& e) {
    return TInfoForView{e.UncompressedSize, e.Name(), e.Status, e.Found->Flags,
                        e.Found->UnixExtra || e.Found->UnicodePath};
}

} // namespace tessary
