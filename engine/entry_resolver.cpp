// entry_resolver.cpp -- deciding which found headers are entries, and what
// each entry is written with.
#include "entry_resolver.h"

#include "central_match.h"
#include "central_rebuild.h"
#include "content_check.h"
#include "zip_records.h"

#include <algorithm>
#include <limits>

namespace tessary {

namespace {

constexpr uint16_t MaxNameLength = 300;
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

bool HasForbiddenNameByte(std::string_view name) {
    for (unsigned char c : name)
        if (IsForbiddenNameByte(c))
            return true;
    return false;
}

void GradeName(TFileInfo& e) {
    if (e.Found->NameLength > MaxNameLength) {
        e.Status = StatusName;
        e.Reasons |= ReasonLongName;
    }
    if (HasForbiddenNameByte(e.Name())) {
        e.Status = StatusName;
        e.Reasons |= ReasonNameBytes;
    }
}

// A size taken from where the entry ends. Stored data is as long as the
// file it holds, so a stored entry's uncompressed size follows: readers that
// stream through an archive step by it.
void SetCompressedSize(TFileInfo& e, int64_t size) {
    e.CompressedSize = size;
    if (e.Found->Method == 0 && !(e.Found->Flags & FlagEncrypted))
        e.UncompressedSize = size;
}

// Whether a record of the format begins at `at`, or the file ends there: an
// entry whose data ends exactly there is as long as its header says.
bool RecordBeginsAt(TReadWindow& window, int64_t at) {
    if (at == window.FileSize())
        return true;
    unsigned char sig[4];
    if (at < 0 || window.Fetch(at, sig, 4) < 4)
        return false;
    uint32_t v = SignatureOf(sig);
    return v == LocalHeaderSignature || v == CentralHeaderSignature || v == EndRecordSignature ||
           v == DescriptorSignature || v == Zip64EndRecordSignature;
}

// Behind the data of an entry with a data descriptor come the descriptor
// (12 to 24 bytes, with or without its signature) and the next record. A
// stream that ends anywhere else may have ended inside damage: zeros, for
// one, read as the end of a block, and a final block ends the stream there.
// Where the stream ends on a non-zero byte right in front of a run of zeros,
// the inflater did not reach the zeros, so what it decoded was the stream's
// own end: a block of zeros written over the descriptor and what follows.
bool EndIsFollowedByRecord(TReadWindow& window, int64_t end) {
    for (int gap : {0, 12, 16, 20, 24})
        if (RecordBeginsAt(window, end + gap))
            return true;
    constexpr size_t ZeroRun = 16;
    unsigned char around[1 + ZeroRun];
    if (window.Fetch(end - 1, around, sizeof around) < sizeof around || around[0] == 0)
        return false;
    return std::all_of(around + 1, around + sizeof around, [](unsigned char c) { return c == 0; });
}

// A deflated entry whose descriptor is missing: its stream ends where its
// data ends, so inflating it from its start gives its compressed size, its
// CRC-32 and its size. The stream may not run into the next local header,
// central directory header or end record: one that does has run through
// damage into other data. Even one that ends in time may have decoded
// damage, so its CRC proves nothing yet; a surviving central header decides
// later (see MatchCentralHeaders).
bool SizeByInflating(TReadWindow& window, TFileInfo& e, int64_t limit) {
    const TLocalHeader& h = *e.Found;
    int64_t dataStart = h.DataStart();
    if (h.Method != MethodDeflate || (h.Flags & FlagEncrypted) || limit <= dataStart)
        return false;
    TEntryData data;
    data.Offset = dataStart;
    data.Limit = limit - dataStart;
    data.Method = h.Method;
    data.Flags = h.Flags;
    TCheckResult r = CheckEntryData(window.Input(), data);
    if (!r.StreamEnded || r.Consumed <= 0 || r.Outcome == TCheckOutcome::DataError)
        return false;
    e.CompressedSize = r.Consumed;
    e.UncompressedSize = r.UncompressedSize;
    e.Crc32 = r.Crc32;
    e.SizeSource = EndIsFollowedByRecord(window, dataStart + r.Consumed)
                       ? TSizeSource::Inflated
                       : TSizeSource::InflatedInDamage;
    return true;
}

// The descriptor that fits a header: a signed one before an unsigned one.
const TDataDescriptor* DescriptorOf(const TScanEvidence& found, const TLocalHeader& h) {
    auto slot = found.Descriptors.find(h.DataStart());
    if (slot == found.Descriptors.end())
        return nullptr;
    if (slot->second.Signed.Offset >= 0)
        return &slot->second.Signed;
    return slot->second.Unsigned.Offset >= 0 ? &slot->second.Unsigned : nullptr;
}

} // namespace

// Mid-scan a header is taken once the header behind it has been seen. Its
// descriptor is then final if a signed one was found for it: of several,
// the first signed one counts. Otherwise the one found so far (or none) is a
// guess, as a signed one further on would still take precedence; the guess
// is checked when the scan is over.
void TEntryResolver::ResolveKnown() {
    while (FNext + 1 < FFound.LocalHeaders.size()) {
        const TLocalHeader& h = FFound.LocalHeaders[FNext];
        if (h.Flags & FlagDataDescriptor) {
            auto slot = FFound.Descriptors.find(h.DataStart());
            if (slot != FFound.Descriptors.end() && slot->second.Signed.Offset < 0)
                FGuesses.push_back({h.DataStart(), slot->second.Unsigned.Offset});
        }
        Resolve(FNext++);
    }
}

bool TEntryResolver::GuessesHeld() const {
    for (const auto& [dataStart, unsignedAt] : FGuesses) {
        auto slot = FFound.Descriptors.find(dataStart);
        if (slot->second.Signed.Offset >= 0 || slot->second.Unsigned.Offset != unsignedAt)
            return false;
    }
    return true;
}

size_t TEntryResolver::Settled() {
    FMostSettled =
        std::max(FMostSettled, std::min(FEntries.size() - (FPrev.Entry ? 1 : 0), FFirstUnsized));
    return FMostSettled;
}

// The end record's comment may hold bytes of any kind, another archive among
// them; where the comment runs to the end of the file behind a central
// directory, its headers are that archive's, not entries of this one.
bool TEntryResolver::InsideArchiveComment(int64_t at) const {
    if (FFound.EndRecords.empty() || FFound.CentralHeaders.empty())
        return false;
    const TEndRecord& end = FFound.EndRecords.front();
    int64_t comment = end.Offset + EndRecordSize;
    return end.CommentLength > 0 && comment + end.CommentLength == FWindow.FileSize() &&
           FFound.CentralHeaders.front().Offset < end.Offset && at >= comment;
}

// An APK's signing block stands between its last entry and its central
// directory, and ends in its magic; signatures inside it are no entries.
// Known only once the directory has been seen: an entry handed on before
// that makes the resolution inexact, so the one pass repairs again.
void TEntryResolver::LeaveOutSigningBlock() {
    static constexpr char Magic[] = "APK Sig Block 42";
    constexpr int64_t MagicSize = sizeof Magic - 1;
    if (FFound.CentralHeaders.empty() || FEntries.empty())
        return;
    int64_t directory = FFound.CentralHeaders.front().Offset;
    if (directory < MagicSize + 8)
        return;
    std::string tail = FWindow.FetchString(directory - MagicSize - 8, MagicSize + 8);
    if (tail.compare(8, MagicSize, Magic) != 0)
        return;
    TByteCursor cursor(reinterpret_cast<const unsigned char*>(tail.data()), 8);
    uint64_t size = cursor.Get64();
    if (size > static_cast<uint64_t>(directory) - 8)
        return;
    int64_t blockStart = directory - static_cast<int64_t>(size) - 8;
    while (!FEntries.empty() && FEntries.back().HeaderOffset() >= blockStart &&
           FEntries.back().HeaderOffset() < directory) {
        if (FEntries.size() <= FMostSettled)
            FGuessesHeld = false;
        FEntries.pop_back();
    }
}

// An entry's claimed size is only overruled by the position of the next
// header when the claim cannot be true: it runs past the end of the file.
void TEntryResolver::CorrectPrevious(int64_t nextHeader) {
    TFileInfo& e = *FPrev.Entry;
    const TLocalHeader& h = *e.Found;
    if (FPrev.OpenEnded) {
        SetCompressedSize(e, nextHeader - h.DataStart());
        e.SizeRecordOffset = nextHeader;
        return;
    }
    if (FPrev.Described)
        return; // its descriptor's size matched where the descriptor lies
    int64_t span = nextHeader - h.Offset - LocalHeaderSize;
    if (span == FPrev.BodyLength || FWindow.FileSize() - h.Offset > FPrev.BodyLength)
        return;
    e.SizeSource = TSizeSource::NextHeader;
    e.SizeRecordOffset = nextHeader;
    int64_t keepingExtra = span - h.NameLength - h.ExtraLength;
    if (keepingExtra >= 0) {
        SetCompressedSize(e, keepingExtra);
    } else {
        e.Reasons |= ReasonExtraDropped;
        SetCompressedSize(e, span - h.NameLength);
    }
}

void TEntryResolver::Resolve(size_t index) {
    const TLocalHeader& h = FFound.LocalHeaders[index];
    int64_t fileSize = FWindow.FileSize();
    if (h.Offset < FCursor)
        return; // inside a record already taken
    if (InsideArchiveComment(h.Offset))
        return; // an archive kept in the comment of this one
    // A header whose claimed name and extra field would hold another
    // header has a damaged length; the inner header is the real one.
    int64_t next = index + 1 < FFound.LocalHeaders.size() ? FFound.LocalHeaders[index + 1].Offset
                                                          : std::numeric_limits<int64_t>::max();
    int64_t dataStart = h.DataStart();
    if (next < dataStart)
        return;
    // A signature before zeros (or any header naming nothing and holding
    // nothing) has no file to give back; readers skip or refuse such an entry.
    if (h.NameLength == 0 && h.CompressedSize == 0 && !(h.Flags & FlagDataDescriptor))
        return;

    if (FPrev.Entry)
        CorrectPrevious(h.Offset);

    TFileInfo e;
    e.Found = &h;
    e.CompressedSize = h.CompressedSize;
    e.UncompressedSize = h.UncompressedSize;
    e.Crc32 = h.Crc32;
    int64_t bodyLength = h.CompressedSize + h.NameLength + h.ExtraLength;
    GradeName(e);

    FCursor = dataStart;
    bool openEnded = false;
    bool described = false;
    if (h.Flags & FlagDataDescriptor) {
        int64_t directory = NextDirectoryRecord(FFound, dataStart);
        int64_t limit = std::min(next, fileSize);
        if (directory >= 0)
            limit = std::min(limit, directory);
        if (const TDataDescriptor* d = DescriptorOf(FFound, h)) {
            e.Crc32 = d->Crc32;
            e.CompressedSize = static_cast<int64_t>(d->CompressedSize);
            e.UncompressedSize = static_cast<int64_t>(d->UncompressedSize);
            e.SizeSource = TSizeSource::Descriptor;
            e.SizeRecordOffset = d->Offset;
            FCursor = d->Offset + d->Length;
            described = true;
        } else if (SizeByInflating(FWindow, e, limit)) {
            FCursor = dataStart + e.CompressedSize;
            described = true;
        } else {
            e.Status = StatusNoDescriptor;
            e.SizeSource = TSizeSource::Unknown;
            openEnded = true;
            // Its size and CRC are not known: a non-empty entry must not
            // claim to be empty, or readers would extract nothing and succeed.
            e.UncompressedSize = -1;
            if (e.Crc32 == 0)
                e.Crc32 = UnknownCrcPlaceholder;
        }
    } else if (dataStart + e.CompressedSize <= fileSize &&
               (next == dataStart + e.CompressedSize ||
                RecordBeginsAt(FWindow, dataStart + e.CompressedSize))) {
        // Its extent checks out: signatures inside its data (a stored
        // archive inside this one) belong to that data, not to entries.
        FCursor = dataStart + e.CompressedSize;
    }
    if (dataStart + e.CompressedSize > fileSize) {
        e.Status = StatusExtent;
        e.Reasons |= ReasonPastEnd;
    }

    // A central header found later may still change what such an entry's
    // local header says.
    bool unsettled = e.SizeSource == TSizeSource::Unknown ||
                     e.SizeSource == TSizeSource::Inflated ||
                     e.SizeSource == TSizeSource::InflatedInDamage;
    if (unsettled && FFirstUnsized == SIZE_MAX)
        FFirstUnsized = FEntries.size();
    FEntries.push_back(e);
    FPrev = TLastEntry{&FEntries.back(), bodyLength, openEnded, described};
}

void TEntryResolver::ResolveAll() {
    while (FNext < FFound.LocalHeaders.size())
        Resolve(FNext++);
    FGuessesHeld = GuessesHeld();
    int64_t fileSize = FWindow.FileSize();
    // An entry whose descriptor was never found reaches to the end of the
    // file; one whose claimed size runs past it ends at the central directory
    // behind its data, where there is one.
    if (TFileInfo* last = FPrev.Entry) {
        int64_t dataStart = last->Found->DataStart();
        if (FPrev.OpenEnded) {
            SetCompressedSize(*last, fileSize > dataStart ? fileSize - dataStart : 0);
            last->SizeRecordOffset = fileSize;
        } else if (!FPrev.Described && dataStart + last->CompressedSize > fileSize) {
            int64_t end = NextDirectoryRecord(FFound, dataStart);
            if (end >= 0) {
                SetCompressedSize(*last, end - dataStart);
                last->SizeSource = TSizeSource::DirectoryBehind;
                last->SizeRecordOffset = end;
            }
        }
    }
    FPrev = {};
    LeaveOutSigningBlock();
    TCentralMatch match = MatchCentralHeaders(FFound, FWindow, FEntries);
    size_t found = FEntries.size();
    RebuildFromCentral(
        FFound, FWindow, match, [this](int64_t at) { return InsideArchiveComment(at); }, FRebuilt,
        FEntries);
    for (size_t i = found; i < FEntries.size(); ++i)
        GradeName(FEntries[i]);
}

} // namespace tessary
