// central_match.cpp -- matching central directory headers to found entries.
#include "central_match.h"

#include "content_check.h"
#include "zip_records.h"

#include <algorithm>
#include <optional>
#include <unordered_map>

namespace tessary {

namespace {

struct TPair {
    size_t Entry = 0;
    size_t Record = 0;
    int64_t Shift = 0;
};

// Whether the entry's CRC-32 and sizes are its own, found without any
// central header: an entry whose CRC the repair computed by inflating its
// data is matched by name and place alone, since that CRC is what is in
// question.
bool IsInflatedEnd(const TFileInfo& e) {
    return e.SizeSource == TSizeSource::Inflated || e.SizeSource == TSizeSource::InflatedInDamage;
}

bool KnowsItsCrc(const TFileInfo& e) {
    return e.SizeSource != TSizeSource::Unknown && !IsInflatedEnd(e);
}

bool AgreesWith(const TFileInfo& e, const TCentralHeader& r, TReadWindow& window) {
    if (KnowsItsCrc(e)) {
        if (e.Crc32 != r.Crc32)
            return false;
        if (e.UncompressedSize >= 0 && e.UncompressedSize != r.UncompressedSize)
            return false;
    }
    // The hash only narrowed the search: the names themselves must be equal.
    return r.NameLength == e.Name().size() &&
           window.FetchString(r.Offset + CentralHeaderSize, r.NameLength) == e.Name();
}

void TakeCentralSizes(TFileInfo& e, const TCentralHeader& r, TSizeSource source) {
    e.Crc32 = r.Crc32;
    e.CompressedSize = r.CompressedSize;
    e.UncompressedSize = r.UncompressedSize;
    e.SizeSource = source;
    e.SizeRecordOffset = r.Offset;
}

// An entry whose descriptor was lost takes its CRC and sizes from the
// directory when the data they describe fits where the entry lies.
void TakeSizes(TFileInfo& e, const TCentralHeader& r) {
    if (r.CompressedSize > e.CompressedSize)
        return;
    TakeCentralSizes(e, r, TSizeSource::CentralUnchecked);
}

// An entry whose end was found by inflating is whole only when the central
// header agrees with what inflating gave. Where it does not, the inflater
// may have decoded on through damage into other data until some final
// block: the central header's values win if the data inflates to exactly
// them within the entry's room. Otherwise the data is damaged; it is written
// with the central header's CRC and sizes, so that every reader reports it.
void Reconcile(TFileInfo& e, const TCentralHeader& r, int64_t room, TInputStream& input) {
    if (e.Crc32 == r.Crc32 && e.CompressedSize == r.CompressedSize &&
        e.UncompressedSize == r.UncompressedSize) {
        e.SizeSource = TSizeSource::InflatedConfirmed;
        e.SizeRecordOffset = r.Offset;
        return;
    }
    bool fits = r.CompressedSize >= 0 && r.CompressedSize <= room;
    if (fits) {
        TEntryData data;
        data.Offset = e.DataOffset();
        data.CompressedSize = r.CompressedSize;
        data.Method = e.Found->Method;
        data.Flags = e.Found->Flags;
        data.Crc32 = r.Crc32;
        data.UncompressedSize = r.UncompressedSize;
        if (CheckEntryData(input, data).Outcome == TCheckOutcome::Ok) {
            TakeCentralSizes(e, r, TSizeSource::Central);
            return;
        }
    }
    int64_t extent = fits ? r.CompressedSize : e.CompressedSize;
    TakeCentralSizes(e, r, TSizeSource::CentralDisagrees);
    e.CompressedSize = extent;
    e.Status = StatusNoDescriptor;
}

// A stream that ended inside damage and that no central header vouches
// for: its bytes are kept, but the CRC the inflater found may be the CRC of
// damage, and written it would pass every reader's check. Its complement is
// written instead, so that every reader reports the entry.
void DistrustEndsInDamage(std::deque<TFileInfo>& entries) {
    for (TFileInfo& e : entries) {
        if (e.SizeSource != TSizeSource::InflatedInDamage)
            continue;
        e.Crc32 = ~e.Crc32;
        e.Status = StatusNoDescriptor;
    }
}

// Room for the data of entry `i`: up to the next entry's header, the next
// directory record or the end of the file, whichever comes first.
int64_t RoomOf(const TScanEvidence& found, const std::deque<TFileInfo>& entries, size_t i,
               int64_t fileSize) {
    int64_t start = entries[i].DataOffset();
    int64_t end = i + 1 < entries.size() ? entries[i + 1].HeaderOffset() : fileSize;
    int64_t directory = NextDirectoryRecord(found, start);
    if (directory >= 0)
        end = std::min(end, directory);
    return std::max<int64_t>(0, std::min(end, fileSize) - start);
}

// The key most counted; of equal counts the smallest, so that the choice
// does not depend on the map's order.
template <typename TKey>
std::optional<TKey> MostCommon(const std::unordered_map<TKey, size_t>& counts) {
    std::optional<TKey> most;
    size_t mostCount = 0;
    for (const auto& [key, count] : counts)
        if (count > mostCount || (count == mostCount && key < *most)) {
            most = key;
            mostCount = count;
        }
    return most;
}

} // namespace

TCentralMatch MatchCentralHeaders(const TScanEvidence& found, TReadWindow& window,
                                  std::deque<TFileInfo>& entries) {
    const std::vector<TCentralHeader>& centrals = found.CentralHeaders;
    TCentralMatch match;
    match.Taken.assign(centrals.size(), 0);
    if (centrals.empty() || entries.empty()) {
        DistrustEndsInDamage(entries);
        return match;
    }
    std::unordered_multimap<uint64_t, size_t> byName;
    byName.reserve(centrals.size());
    for (size_t i = 0; i < centrals.size(); ++i)
        byName.emplace(centrals[i].NameHash, i);

    std::vector<TPair> pairs;
    std::unordered_map<int64_t, size_t> shiftCount;
    for (size_t i = 0; i < entries.size(); ++i) {
        auto [first, last] = byName.equal_range(NameHash(entries[i].Name()));
        for (auto it = first; it != last; ++it) {
            const TCentralHeader& r = centrals[it->second];
            if (!AgreesWith(entries[i], r, window))
                continue;
            int64_t shift = entries[i].HeaderOffset() - r.LocalOffset;
            pairs.push_back({i, it->second, shift});
            ++shiftCount[shift];
        }
    }

    // Each entry takes the header whose shift the most entries share.
    std::vector<const TPair*> best(entries.size(), nullptr);
    for (const TPair& p : pairs) {
        const TPair*& b = best[p.Entry];
        if (!b || shiftCount[p.Shift] > shiftCount[b->Shift])
            b = &p;
    }

    size_t kept = 0;
    std::unordered_map<int, size_t> extraCount;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!best[i])
            continue;
        TFileInfo& e = entries[i];
        const TCentralHeader& r = centrals[best[i]->Record];
        match.Taken[best[i]->Record] = 1;
        ++extraCount[int(e.Found->ExtraLength) - int(r.ExtraLength)];
        if (e.SizeSource == TSizeSource::Unknown)
            TakeSizes(e, r);
        else if (IsInflatedEnd(e))
            Reconcile(e, r, RoomOf(found, entries, i, window.FileSize()), window.Input());
        e.Central = &r;
        // Its extra blocks and comment are copied from the damaged file when
        // the directory is written, within a budget for all entries.
        size_t more = size_t(r.ExtraLength) + r.CommentLength;
        if (more == 0 || kept + more > MaxKeptCentralBytes)
            continue;
        kept += more;
        e.CentralStrings = true;
    }
    DistrustEndsInDamage(entries);
    match.KeptBytes = kept;
    match.Shift = MostCommon(shiftCount);
    match.ExtraDifference = MostCommon(extraCount).value_or(0);
    return match;
}

} // namespace tessary
