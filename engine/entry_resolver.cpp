// entry_resolver.cpp -- deciding which found headers are entries.
#include "entry_resolver.h"

#include "zip_records.h"

#include <limits>

namespace tessary {

namespace {

constexpr uint16_t MaxNameLength = 300;
constexpr uint16_t MadeByUnix = (3 << 8) | 30;
constexpr uint16_t MadeByNtfs = 10 << 8;
constexpr uint32_t DosDirectory = 0x10;
constexpr uint32_t UnixFileMode = 0100644;
constexpr uint32_t UnixFolderMode = 040755;

// The damaged archive's own "made by" and attributes are lost with its
// directory; they are chosen so that readers show the names as the original
// did. Names are code page 437 for entries made on MS-DOS, and unzip
// translates them so even when they are flagged as UTF-8; for NTFS, whose
// attributes mean the same, it honours the flag. Entries carrying Unix
// extra fields were made on Unix, where names are taken as they are.
void SetMadeByAndAttributes(TFileInfo& e, bool isFolder) {
    uint32_t dos = isFolder ? DosDirectory : 0;
    if (e.UnixExtra) {
        e.VersionMadeBy = MadeByUnix;
        e.ExternalAttributes = ((isFolder ? UnixFolderMode : UnixFileMode) << 16) | dos;
    } else {
        e.VersionMadeBy = (e.Flags & FlagUtf8Name) ? MadeByNtfs : 0;
        e.ExternalAttributes = dos;
    }
}

bool IsForbiddenNameByte(unsigned char c) {
    switch (c) {
    case '\\':
    case ':':
    case '*':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return c < 0x20;
    }
}

bool HasForbiddenNameByte(const std::string& name) {
    for (unsigned char c : name)
        if (IsForbiddenNameByte(c))
            return true;
    return false;
}

// What the walk remembers of the entry accepted last.
struct TPrevious {
    TFileInfo* Entry = nullptr;
    int64_t BodyLength = 0; // compressed size + name + extra, as its header claimed
    bool OpenEnded = false; // announced a descriptor that was not found
    bool Described = false; // sized by its data descriptor
    int64_t DataStart = 0;
};

// A size taken from where the entry ends. Stored data is as long as the
// file it holds, so a stored entry's uncompressed size follows: readers that
// stream through an archive step by it.
void SetCompressedSize(TFileInfo& e, int64_t size) {
    e.CompressedSize = size;
    if (e.Method == 0 && !(e.Flags & FlagEncrypted))
        e.UncompressedSize = size;
}

// An entry's claimed size is only overruled by the position of the next
// header when the claim cannot be true: it runs past the end of the file.
void CorrectPrevious(const TPrevious& prev, int64_t h, int64_t fileSize) {
    TFileInfo& e = *prev.Entry;
    int64_t s = e.HeaderOffset;
    if (prev.OpenEnded) {
        SetCompressedSize(e, h - prev.DataStart);
        return;
    }
    if (prev.Described)
        return; // its descriptor's size matched where the descriptor lies
    int64_t span = h - s - LocalHeaderSize;
    if (span == prev.BodyLength || fileSize - s > prev.BodyLength)
        return;
    int64_t keepingExtra = span - e.NameLength - e.ExtraLength;
    if (keepingExtra >= 0) {
        SetCompressedSize(e, keepingExtra);
    } else {
        e.ExtraLength = 0;
        e.Extra.reset();
        SetCompressedSize(e, span - e.NameLength);
    }
}

} // namespace

void ResolveEntries(TSignatureScanResult& found, int64_t fileSize, std::deque<TFileInfo>& entries) {
    auto& candidates = found.Candidates;
    int64_t cursor = 0;
    TPrevious prev;
    while (!candidates.empty()) {
        TCandidate c = std::move(candidates.front());
        candidates.pop_front();
        TFileInfo& e = c.Info;
        int64_t h = e.HeaderOffset;
        if (h < cursor)
            continue; // inside a record already taken
        // A header whose claimed name and extra field would hold another
        // header has a damaged length; the inner header is the real one.
        int64_t next = candidates.empty() ? std::numeric_limits<int64_t>::max()
                                          : candidates.front().Info.HeaderOffset;
        if (next < c.DataStart)
            continue;

        if (prev.Entry)
            CorrectPrevious(prev, h, fileSize);

        int64_t bodyLength = e.CompressedSize + e.NameLength + e.ExtraLength;
        bool isFolder = c.RawCompressedSize == 0 && !e.Name.empty() && e.Name.back() == '/';
        SetMadeByAndAttributes(e, isFolder);
        if (e.NameLength > MaxNameLength)
            e.Status = StatusName;
        if (HasForbiddenNameByte(e.Name))
            e.Status = StatusName;

        cursor = c.DataStart;
        bool openEnded = false;
        bool described = false;
        if (e.Flags & FlagDataDescriptor) {
            const TDescriptorHit* hit = nullptr;
            auto slot = found.Descriptors.find(c.DataStart);
            if (slot != found.Descriptors.end())
                hit = slot->second.Signed.Offset >= 0     ? &slot->second.Signed
                      : slot->second.Unsigned.Offset >= 0 ? &slot->second.Unsigned
                                                          : nullptr;
            if (hit) {
                e.Crc32 = hit->Crc32;
                e.CompressedSize = static_cast<int64_t>(hit->CompressedSize);
                e.UncompressedSize = static_cast<int64_t>(hit->UncompressedSize);
                cursor = hit->Offset + hit->Length;
                described = true;
            } else {
                e.Status = StatusNoDescriptor;
                openEnded = true;
            }
        }
        if (h + LocalHeaderSize + e.NameLength + e.CompressedSize >= fileSize)
            e.Status = StatusExtent;

        entries.push_back(std::move(e));
        prev = TPrevious{&entries.back(), bodyLength, openEnded, described, c.DataStart};
    }
    // An entry whose descriptor was never found reaches to the end of the file.
    if (prev.Entry && prev.OpenEnded)
        SetCompressedSize(*prev.Entry, fileSize > prev.DataStart ? fileSize - prev.DataStart : 0);
    found.Descriptors.clear();
}

} // namespace tessary
