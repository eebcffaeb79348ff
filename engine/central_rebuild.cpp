// central_rebuild.cpp -- entries made from central directory headers whose
// local header is gone.
#include "central_rebuild.h"

#include "byte_order.h"
#include "content_check.h"
#include "entry_check.h"
#include "zip_records.h"

#include <algorithm>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tessary {

namespace {

// Local extra field lengths tried for one header, at most.
constexpr size_t MaxExtraTries = 8;
// Extra blocks of surviving bytes followed to find where a lost header's
// extra field ends.
constexpr int MaxChainBlocks = 4;
constexpr size_t MaxCheckWindow = 64 << 10;
constexpr size_t MinCheckWindow = 512;
// Bytes the tries may read together beyond the ones that succeed, as a
// multiple of the file's size: enough for every honest entry to be tried at
// each of its places, and a bound on a file of headers that claim its
// whole length many times over.
constexpr int64_t ReadsPerFileByte = 8;
constexpr int64_t ReadAllowance = 64 << 20;

// Beyond any file's size, and far enough from the type's limit that adding
// a shift cannot overflow.
constexpr int64_t MostOffset = int64_t(1) << 60;

// The parts of the file entries take: the found entries (which may overlap
// one another: headers inside damaged data) and the rebuilt ones, which do
// not.
class TTakenSpans {
public:
    TTakenSpans(const std::deque<TFileInfo>& entries, int64_t fileSize) {
        FFound.reserve(entries.size());
        for (const TFileInfo& e : entries) {
            int64_t start = e.HeaderOffset();
            int64_t size = e.CompressedSize;
            int64_t end =
                size < 0 || size > fileSize - e.DataOffset() ? fileSize : e.DataOffset() + size;
            FFound.emplace_back(start, std::max(end, e.DataOffset()));
        }
        std::sort(FFound.begin(), FFound.end());
        FMostEnd.reserve(FFound.size());
        int64_t most = std::numeric_limits<int64_t>::min();
        for (const auto& span : FFound)
            FMostEnd.push_back(most = std::max(most, span.second));
    }

    // Whether [start, end) shares a byte with a span taken; `end` > `start`.
    bool Overlaps(int64_t start, int64_t end) const {
        auto before =
            std::lower_bound(FFound.begin(), FFound.end(), std::make_pair(end, end),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        size_t count = static_cast<size_t>(before - FFound.begin());
        if (count > 0 && FMostEnd[count - 1] > start)
            return true;
        auto next = FAdded.lower_bound(end);
        return next != FAdded.begin() && std::prev(next)->second > start;
    }

    void Add(int64_t start, int64_t end) { FAdded.emplace(start, end); }

private:
    std::vector<std::pair<int64_t, int64_t>> FFound; // by start
    std::vector<int64_t> FMostEnd;                   // the furthest end up to each
    std::map<int64_t, int64_t> FAdded;
};

// An extra field that survived: blocks whose lengths fit it exactly, none of
// them of the id 0, which is what zeroed bytes read as.
bool IsSurvivingExtra(std::string_view extra) {
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
        if (GetLE16(p) == 0)
            return false;
        at += 4 + GetLE16(p + 2);
    }
    return at == extra.size();
}

class TRebuilder {
public:
    TRebuilder(const TScanEvidence& found, TReadWindow& window, const TCentralMatch& match,
               std::deque<TFileInfo>& entries)
        : FFound(found), FWindow(window), FMatch(match), FEntries(entries),
          FSpans(entries, window.FileSize()), FDecodeLeft(MaxDecodedBytes(window.FileSize())),
          FReadLeft(window.FileSize() >
                            (std::numeric_limits<int64_t>::max() - ReadAllowance) / ReadsPerFileByte
                        ? std::numeric_limits<int64_t>::max()
                        : window.FileSize() * ReadsPerFileByte + ReadAllowance),
          FKept(match.KeptBytes) {}

    // The shifts to try: the one the matched entries share, or without any,
    // the one the end record implies and none.
    std::vector<int64_t> Shifts() const;
    // Whether the data of `r` lies behind a local header at `at`; the length
    // of the extra field in front of it goes to `extraLength`.
    bool FindData(const TCentralHeader& r, int64_t at, uint16_t& extraLength);
    void Add(const TCentralHeader& r, int64_t at, uint16_t extraLength,
             std::deque<TLocalHeader>& made);
    bool Taken(int64_t start, int64_t end) const { return FSpans.Overlaps(start, end); }
    bool Spent() const { return FReadLeft <= 0 || FDecodeLeft <= 0; }

private:
    std::vector<uint16_t> ExtraLengths(const TCentralHeader& r, int64_t at);
    bool DataMatches(const TCentralHeader& r, int64_t dataStart);

    const TScanEvidence& FFound;
    TReadWindow& FWindow;
    const TCentralMatch& FMatch;
    std::deque<TFileInfo>& FEntries;
    TTakenSpans FSpans;
    std::atomic<int64_t> FDecodeLeft;
    int64_t FReadLeft;
    size_t FKept; // central extra fields and comments copied, of MaxKeptCentralBytes
};

std::vector<int64_t> TRebuilder::Shifts() const {
    if (FMatch.Shift)
        return {*FMatch.Shift};
    std::vector<int64_t> shifts;
    if (!FFound.EndRecords.empty() && !FFound.CentralHeaders.empty()) {
        const TEndRecord& end = FFound.EndRecords.front();
        int64_t first = FFound.CentralHeaders.front().Offset;
        if (end.DirectoryOffset != Zip64Marker32 && first != end.DirectoryOffset)
            shifts.push_back(first - int64_t(end.DirectoryOffset));
    }
    shifts.push_back(0);
    return shifts;
}

// The lengths the local extra field may have had, the likeliest first: the
// one a header still there gives, the directory's own moved by what the
// archive's other entries add locally, the directory's, none, and where the
// bytes behind the name survived, the ends of the blocks they hold.
std::vector<uint16_t> TRebuilder::ExtraLengths(const TCentralHeader& r, int64_t at) {
    std::vector<uint16_t> lengths;
    auto offer = [&](int64_t length) {
        if (length >= 0 && length <= 0xFFFF && lengths.size() < MaxExtraTries &&
            std::find(lengths.begin(), lengths.end(), length) == lengths.end())
            lengths.push_back(static_cast<uint16_t>(length));
    };
    unsigned char fixed[LocalHeaderSize];
    if (FWindow.Fetch(at, fixed, sizeof fixed) == sizeof fixed &&
        GetLE16(fixed + 26) == r.NameLength)
        offer(GetLE16(fixed + 28));
    offer(int64_t(r.ExtraLength) + FMatch.ExtraDifference);
    offer(r.ExtraLength);
    offer(0);
    int64_t extraAt = at + LocalHeaderSize + r.NameLength;
    int64_t length = 0;
    for (int block = 0; block < MaxChainBlocks; ++block) {
        unsigned char head[4];
        if (FWindow.Fetch(extraAt + length, head, sizeof head) < sizeof head || GetLE16(head) == 0)
            break;
        length += 4 + GetLE16(head + 2);
        offer(length);
    }
    return lengths;
}

bool TRebuilder::DataMatches(const TCentralHeader& r, int64_t dataStart) {
    TEntryData data;
    data.Offset = dataStart;
    data.CompressedSize = r.CompressedSize;
    data.Method = r.Method;
    data.Flags = r.Flags;
    data.Crc32 = r.Crc32;
    data.UncompressedSize = r.UncompressedSize;
    TCheckOptions options;
    options.WindowSize =
        static_cast<size_t>(std::clamp<int64_t>(r.CompressedSize, MinCheckWindow, MaxCheckWindow));
    options.DecodeLeft = &FDecodeLeft;
    TCheckResult result = CheckEntryData(FWindow.Input(), data, options);
    FReadLeft -= result.Consumed + static_cast<int64_t>(options.WindowSize);
    return result.Outcome == TCheckOutcome::Ok;
}

bool TRebuilder::FindData(const TCentralHeader& r, int64_t at, uint16_t& extraLength) {
    int64_t fileSize = FWindow.FileSize();
    if (at < 0 || at > fileSize)
        return false;
    for (uint16_t extra : ExtraLengths(r, at)) {
        int64_t dataStart = at + LocalHeaderSize + r.NameLength + extra;
        if (dataStart > fileSize || r.CompressedSize > fileSize - dataStart)
            continue;
        int64_t dataEnd = dataStart + r.CompressedSize;
        // Empty data proves nothing: it matches anywhere. Such an entry is
        // only placed in front of its own directory.
        if (r.CompressedSize == 0 && dataEnd > r.Offset)
            continue;
        if (Taken(at, dataEnd) || Spent())
            continue;
        if (DataMatches(r, dataStart)) {
            extraLength = extra;
            return true;
        }
    }
    return false;
}

// The entry's local header is made from the directory's: the same name,
// method, flags, times, CRC-32 and sizes, now in the header itself rather
// than in a descriptor. Its extra field is the one behind the name where it
// survived.
void TRebuilder::Add(const TCentralHeader& r, int64_t at, uint16_t extraLength,
                     std::deque<TLocalHeader>& made) {
    TLocalHeader h;
    static_cast<TFileHeader&>(h) = r;
    h.Kind = THeaderKind::Local;
    h.Offset = at;
    h.LocalOffset = 0;
    h.VersionMadeBy = 0;
    h.ExternalAttributes = 0;
    h.CommentLength = 0;
    h.ExtraLength = extraLength;
    h.Flags &= static_cast<uint16_t>(~FlagDataDescriptor);
    h.Zip64 = h.UnixExtra = h.UnicodePath = false;
    std::string extra = FWindow.FetchString(at + LocalHeaderSize + r.NameLength, extraLength);
    if (!IsSurvivingExtra(extra))
        extra.clear();
    // Which blocks it carries, from either field; the sizes stay the
    // directory's.
    TFileHeader blocks;
    DecodeExtraField(blocks, extra);
    DecodeExtraField(blocks, FWindow.FetchString(r.ExtraOffset(), r.ExtraLength));
    h.UnixExtra = blocks.UnixExtra;
    h.UnicodePath = blocks.UnicodePath;
    h.NameAndExtra = FWindow.FetchString(r.Offset + CentralHeaderSize, r.NameLength) + extra;
    made.push_back(std::move(h));

    TFileInfo e;
    e.Found = &made.back();
    e.Central = &r;
    e.CompressedSize = r.CompressedSize;
    e.UncompressedSize = r.UncompressedSize;
    e.Crc32 = r.Crc32;
    e.SizeSource = TSizeSource::LocalHeader;
    e.SizeRecordOffset = r.Offset;
    e.Reasons = ReasonRebuiltFromCentral;
    size_t more = size_t(r.ExtraLength) + r.CommentLength;
    if (more > 0 && FKept + more <= MaxKeptCentralBytes) {
        FKept += more;
        e.CentralStrings = true;
    }
    FSpans.Add(at, e.DataOffset() + e.CompressedSize);
    FEntries.push_back(e);
}

} // namespace

void RebuildFromCentral(const TScanEvidence& found, TReadWindow& window, const TCentralMatch& match,
                        const std::function<bool(int64_t)>& excluded,
                        std::deque<TLocalHeader>& made, std::deque<TFileInfo>& entries) {
    const std::vector<TCentralHeader>& centrals = found.CentralHeaders;
    if (std::all_of(match.Taken.begin(), match.Taken.end(), [](char t) { return t != 0; }))
        return; // every header has its entry: the usual case, at no cost
    TRebuilder rebuilder(found, window, match, entries);
    std::vector<int64_t> shifts = rebuilder.Shifts();
    // Once the tries have decoded all they may, the entries made so far stay.
    for (size_t i = 0; i < centrals.size() && !rebuilder.Spent(); ++i) {
        const TCentralHeader& r = centrals[i];
        if (match.Taken[i] || excluded(r.Offset) || rebuilder.Taken(r.Offset, r.Offset + 1))
            continue;
        // Sizes and offsets decoded from 64-bit fields may be anything.
        if (r.CompressedSize < 0 || r.UncompressedSize < 0 || r.LocalOffset < 0 ||
            r.LocalOffset > MostOffset)
            continue;
        for (int64_t shift : shifts) {
            uint16_t extraLength = 0;
            int64_t at = r.LocalOffset + shift;
            if (rebuilder.FindData(r, at, extraLength)) {
                rebuilder.Add(r, at, extraLength, made);
                break;
            }
        }
    }
}

} // namespace tessary
