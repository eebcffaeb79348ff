// central_match.cpp -- matching central directory headers to found entries.
#include "central_match.h"

#include "zip_records.h"

#include <unordered_map>

namespace tessary {

namespace {

struct TPair {
    size_t Entry = 0;
    size_t Record = 0;
    int64_t Shift = 0;
};

bool AgreesWith(const TFileInfo& e, const TCentralRecord& r, TReadWindow& window) {
    if (e.Status != StatusNoDescriptor) {
        if (e.Crc32 != r.Crc32)
            return false;
        if (e.UncompressedSize >= 0 && e.UncompressedSize != r.UncompressedSize)
            return false;
    }
    // The hash only narrowed the search: the names themselves must be equal.
    return r.NameLength == e.Name.size() &&
           window.FetchString(r.Offset + CentralHeaderSize, r.NameLength) == e.Name;
}

// An entry whose descriptor was lost takes its CRC and sizes from the
// directory when the data they describe fits where the entry lies.
void TakeSizes(TFileInfo& e, const TCentralRecord& r) {
    if (r.CompressedSize > e.CompressedSize)
        return;
    e.Crc32 = r.Crc32;
    e.CompressedSize = r.CompressedSize;
    e.UncompressedSize = r.UncompressedSize;
}

} // namespace

void MatchCentralHeaders(const std::vector<TCentralRecord>& centrals, TReadWindow& window,
                         std::deque<TFileInfo>& entries) {
    if (centrals.empty() || entries.empty())
        return;
    std::unordered_multimap<uint64_t, size_t> byName;
    byName.reserve(centrals.size());
    for (size_t i = 0; i < centrals.size(); ++i)
        byName.emplace(centrals[i].NameHash, i);

    std::vector<TPair> pairs;
    std::unordered_map<int64_t, size_t> shiftCount;
    for (size_t i = 0; i < entries.size(); ++i) {
        auto [first, last] = byName.equal_range(NameHash(entries[i].Name));
        for (auto it = first; it != last; ++it) {
            const TCentralRecord& r = centrals[it->second];
            if (!AgreesWith(entries[i], r, window))
                continue;
            int64_t shift = entries[i].HeaderOffset - r.LocalOffset;
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
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!best[i])
            continue;
        TFileInfo& e = entries[i];
        const TCentralRecord& r = centrals[best[i]->Record];
        e.VersionMadeBy = r.VersionMadeBy;
        e.ExternalAttributes = r.ExternalAttributes;
        if (e.Status == StatusNoDescriptor)
            TakeSizes(e, r);
        size_t more = size_t(r.ExtraLength) + r.CommentLength;
        if (more == 0 || kept + more > MaxKeptCentralBytes)
            continue;
        kept += more;
        int64_t extraAt = r.Offset + CentralHeaderSize + r.NameLength;
        e.Central = std::make_unique<TCentralKept>();
        e.Central->Extra = window.FetchString(extraAt, r.ExtraLength);
        e.Central->Comment = window.FetchString(extraAt + r.ExtraLength, r.CommentLength);
    }
}

} // namespace tessary
