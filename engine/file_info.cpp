// file_info.cpp -- what an entry's made-by and attributes are.
#include "file_info.h"

namespace tessary {

namespace {

constexpr uint16_t MadeByUnix = (3 << 8) | 30;
constexpr uint16_t MadeByNtfs = 10 << 8;
constexpr uint32_t DosDirectory = 0x10;
constexpr uint32_t UnixFileMode = 0100644;
constexpr uint32_t UnixFolderMode = 040755;

bool IsFolder(const TLocalHeader& h) {
    return h.CompressedFieldZero && !h.Name().empty() && h.Name().back() == '/';
}

} // namespace

// Where the damaged archive's own "made by" and attributes are lost with its
// directory, they are chosen so that readers show the names as the original
// did. Names are code page 437 for entries made on MS-DOS, and unzip
// translates them so even when they are flagged as UTF-8; for NTFS, whose
// attributes mean the same, it honours the flag. Entries carrying Unix
// extra fields were made on Unix, where names are taken as they are.
uint16_t TFileInfo::VersionMadeBy() const {
    if (Central)
        return Central->VersionMadeBy;
    if (Found->UnixExtra)
        return MadeByUnix;
    return (Found->Flags & FlagUtf8Name) ? MadeByNtfs : 0;
}

uint32_t TFileInfo::ExternalAttributes() const {
    if (Central)
        return Central->ExternalAttributes;
    uint32_t dos = IsFolder(*Found) ? DosDirectory : 0;
    if (Found->UnixExtra)
        return ((dos ? UnixFolderMode : UnixFileMode) << 16) | dos;
    return dos;
}

} // namespace tessary
