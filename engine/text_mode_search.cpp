// text_mode_search.cpp -- the search for the CRs of one entry's data: stored
// data by the algebra of its CRC-32, deflated data by inflating, each choice
// tried from a saved inflater state near it, other methods by decoding each
// choice whole.
#include "text_mode_search.h"

#include "check_decoders.h"
#include "content_check.h"
#include "memory_streams.h"
#include "text_mode_view.h"
#include "zip_records.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

namespace tessary {

std::string WithCarriageReturns(const std::string& data, const std::vector<int64_t>& spots,
                                const std::vector<size_t>& chosen) {
    std::vector<int64_t> at;
    at.reserve(chosen.size());
    for (size_t i : chosen)
        at.push_back(spots[i]);
    std::sort(at.begin(), at.end());
    std::string out;
    out.reserve(data.size() + at.size());
    size_t from = 0;
    for (int64_t p : at) {
        out.append(data, from, static_cast<size_t>(p) - from);
        out.push_back(static_cast<char>(CarriageReturn));
        from = static_cast<size_t>(p);
    }
    out.append(data, from, std::string::npos);
    return out;
}

namespace {

// How many ways there are to choose `k` of `n`, or `limit` + 1 when more.
uint64_t Combinations(uint64_t n, uint64_t k, uint64_t limit) {
    if (k > n)
        return 0;
    k = std::min(k, n - k);
    uint64_t c = 1;
    for (uint64_t i = 1; i <= k; ++i) {
        // c * (n - k + i) / i stays exact; past the limit the count is moot.
        c = c * (n - k + i) / i;
        if (c > limit)
            return limit + 1;
    }
    return c;
}

// Calls `visit` with every choice of `count` indices below `n`, the lowest
// index going from high to low (a choice near the end costs the least to
// try), the others rising; stops when `visit` returns false.
bool ForEachChoice(size_t n, size_t count,
                   const std::function<bool(const std::vector<size_t>&)>& visit) {
    if (count == 0 || count > n)
        return count == 0 ? visit({}) : true;
    std::vector<size_t> c(count);
    std::function<bool(size_t, size_t)> rest = [&](size_t level, size_t from) {
        if (level == count)
            return visit(c);
        for (size_t i = from; i + (count - level) <= n; ++i) {
            c[level] = i;
            if (!rest(level + 1, i + 1))
                return false;
        }
        return true;
    };
    for (size_t first = n - count + 1; first-- > 0;) {
        c[0] = first;
        if (!rest(1, first + 1))
            return false;
    }
    return true;
}

// --- Stored data: the CRC-32 of each choice from the CRCs of the likely data.
//
// The CRC-32 of two pieces put together is the first one's CRC multiplied by
// x to the power of eight times the second one's length, modulo the CRC's
// polynomial, plus the second one's CRC (over GF(2), plus is XOR). So with
// the CRC of the likely data up to each spot known from one pass, a choice's
// CRC takes a few such multiplications per CR, whatever the data's size.

constexpr uint32_t CrcPolynomial = 0xEDB88320; // reflected, as the CRC-32 is computed

// a * b modulo the polynomial, both in the CRC's reflected bit order.
uint32_t MultiplyModPolynomial(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m != 0; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1) ? (b >> 1) ^ CrcPolynomial : b >> 1;
    }
    return product;
}

// x^(8 * bytes) modulo the polynomial: what a CRC is multiplied by when
// `bytes` bytes follow the data it covers.
uint32_t ShiftByBytes(uint64_t bytes) {
    static const auto powers = [] {
        // powers[k] = x^(2^k)
        std::vector<uint32_t> p(64);
        p[0] = 1u << 30; // x
        for (size_t k = 1; k < p.size(); ++k)
            p[k] = MultiplyModPolynomial(p[k - 1], p[k - 1]);
        return p;
    }();
    uint32_t result = 1u << 31; // 1
    for (size_t k = 3; bytes != 0; bytes >>= 1, ++k)
        if (bytes & 1)
            result = MultiplyModPolynomial(powers[k], result);
    return result;
}

std::optional<std::vector<size_t>> SearchStored(const std::string& likely,
                                                const std::vector<int64_t>& spots, size_t count,
                                                const TDataPromise& promise,
                                                const TSearchBudget& budget) {
    if (static_cast<int64_t>(likely.size() + count) != promise.UncompressedSize ||
        Combinations(spots.size(), count, budget.StoredCombinations) > budget.StoredCombinations)
        return std::nullopt;
    if (count == 0) {
        if (UpdateCrc32(0, likely.data(), likely.size()) != promise.Crc32)
            return std::nullopt;
        return std::vector<size_t>();
    }
    const size_t n = spots.size();
    const uint32_t crOnly = [] {
        unsigned char cr = CarriageReturn;
        return UpdateCrc32(0, &cr, 1);
    }();
    // before[i]: the CRC of the likely data up to spot i; step[i]: the shift
    // from spot i - 1 to spot i; toEnd[i]: from spot i to the end.
    std::vector<uint32_t> before(n);
    std::vector<uint32_t> step(n);
    std::vector<uint32_t> toEnd(n);
    uint32_t crc = 0;
    int64_t at = 0;
    for (size_t i = 0; i < n; ++i) {
        crc = UpdateCrc32(crc, likely.data() + at, static_cast<size_t>(spots[i] - at));
        before[i] = crc;
        step[i] = ShiftByBytes(static_cast<uint64_t>(spots[i] - (i ? spots[i - 1] : 0)));
        toEnd[i] = ShiftByBytes(likely.size() - static_cast<uint64_t>(spots[i]));
        at = spots[i];
    }
    const uint32_t whole = UpdateCrc32(crc, likely.data() + at, likely.size() - size_t(at));
    const uint32_t oneByte = ShiftByBytes(1);

    // `u`: the CRC of the data so far, a CR at spot `last` its end, plus the
    // likely data's CRC up to that spot (0 before the first CR).
    std::vector<size_t> chosen(count);
    std::optional<std::vector<size_t>> found;
    size_t matches = 0;
    std::function<void(size_t, size_t, uint32_t)> place = [&](size_t level, size_t from,
                                                              uint32_t u) {
        uint32_t moved = u; // u shifted to spot `j`
        for (size_t j = from; j + (count - level) <= n && matches < 2; ++j) {
            moved = MultiplyModPolynomial(step[j], moved);
            uint32_t withCr = MultiplyModPolynomial(oneByte, moved ^ before[j]) ^ crOnly;
            uint32_t next = withCr ^ before[j];
            chosen[level] = j;
            if (level + 1 < count) {
                place(level + 1, j + 1, next);
            } else if ((MultiplyModPolynomial(toEnd[j], next) ^ whole) == promise.Crc32) {
                if (++matches == 1)
                    found = chosen;
            }
        }
    };
    place(0, 0, 0);
    if (matches != 1)
        return std::nullopt;
    return found;
}

// --- Deflated data: inflating each choice, from a saved state near it.

// The inflater's whole state is a plain structure (its history window
// included), so a copy of it goes on from the same point.
class TInflater {
public:
    enum TFed : uint8_t { More, Ended, Failed };

    TInflater() : FState(std::make_unique<inflate_state>()) { isal_inflate_init(FState.get()); }
    TInflater(const TInflater& other)
        : FState(std::make_unique<inflate_state>(*other.FState)), Crc32(other.Crc32),
          Produced(other.Produced), Left(other.Left) {}
    TInflater(TInflater&&) = default;
    TInflater& operator=(const TInflater& other) {
        *FState = *other.FState;
        Crc32 = other.Crc32;
        Produced = other.Produced;
        Left = other.Left;
        return *this;
    }

    // Feeds `size` bytes. Ended: the stream ended, `Left` of them behind it.
    TFed Feed(const unsigned char* in, size_t size, std::vector<unsigned char>& scratch) {
        inflate_state& s = *FState;
        s.next_in = const_cast<unsigned char*>(in); // the inflater only reads it
        s.avail_in = static_cast<uint32_t>(size);
        for (;;) {
            s.next_out = scratch.data();
            s.avail_out = static_cast<uint32_t>(scratch.size());
            int rc = isal_inflate(&s);
            size_t made = static_cast<size_t>(s.next_out - scratch.data());
            Crc32 = UpdateCrc32(Crc32, scratch.data(), made);
            Produced += static_cast<int64_t>(made);
            if (rc != ISAL_DECOMP_OK)
                return Failed;
            if (s.block_state == ISAL_BLOCK_FINISH) {
                Left = s.avail_in + static_cast<uint32_t>(s.read_in_length / 8);
                return Ended;
            }
            if (s.avail_in == 0 && made < scratch.size())
                return More;
        }
    }

private:
    std::unique_ptr<inflate_state> FState; // large: kept off the stack

public:
    uint32_t Crc32 = 0;
    int64_t Produced = 0;
    uint32_t Left = 0;
};

class TDeflateSearch {
public:
    TDeflateSearch(const std::string& likely, const std::vector<int64_t>& spots,
                   const TDataPromise& promise, const TSearchBudget& budget)
        : FData(likely), FSpots(spots), FPromise(promise), FBudget(budget.DecodedBytes),
          FScratch(64 << 10),
          FSpacing(std::max<int64_t>(64 << 10, static_cast<int64_t>(likely.size() / 64))) {}

    std::optional<std::vector<size_t>> Run(size_t count) {
        FChosen.clear();
        if (!Place(TInflater(), 0, count, 0))
            return std::nullopt;
        std::reverse(FChosen.begin(), FChosen.end());
        return FChosen;
    }

private:
    static constexpr size_t Piece = 4 << 10;
    enum TPath : uint8_t { Open, Doomed, Matched, OutOfWork };

    // Feeds the likely data from `from` to `to` in pieces; `doom` gets the
    // end of the piece after which the path failed (nothing inserted at or
    // behind it can mend what came before). `atEnd`: the data's last byte is
    // `to`, so the stream must end exactly there.
    TPath Feed(TInflater& st, int64_t from, int64_t to, bool atEnd, int64_t& doom,
               std::vector<std::pair<int64_t, TInflater>>* saves) {
        int64_t lastSave = from;
        for (int64_t at = from; at < to;) {
            int64_t end = std::min<int64_t>(at + static_cast<int64_t>(Piece), to);
            if (FUsed > FBudget)
                return OutOfWork;
            FUsed += static_cast<uint64_t>(end - at);
            TInflater::TFed fed = st.Feed(reinterpret_cast<const unsigned char*>(FData.data()) + at,
                                          size_t(end - at), FScratch);
            at = end;
            bool endedEarly = fed == TInflater::Ended && (at < to || !atEnd || st.Left > 0);
            if (fed == TInflater::Failed || endedEarly || st.Produced > FPromise.UncompressedSize) {
                doom = at;
                return Doomed;
            }
            if (fed == TInflater::Ended)
                return Matched;
            if (saves && at - lastSave >= FSpacing && at < to) {
                saves->emplace_back(at, st);
                lastSave = at;
            }
        }
        doom = to + 1; // a CR may still go in anywhere, the end included
        return Open;
    }

    TPath FeedCr(TInflater& st, bool last, int64_t& doom) {
        static const unsigned char cr = CarriageReturn;
        ++FUsed;
        TInflater::TFed fed = st.Feed(&cr, 1, FScratch);
        if (fed == TInflater::Failed || (fed == TInflater::Ended && (!last || st.Left > 0)) ||
            st.Produced > FPromise.UncompressedSize) {
            doom = -1;
            return Doomed;
        }
        return fed == TInflater::Ended ? Matched : Open;
    }

    bool Verified(const TInflater& st) const {
        return st.Produced == FPromise.UncompressedSize && st.Crc32 == FPromise.Crc32;
    }

    // A copy of the path's state at `spot` (before the byte there), with a
    // CR fed there; Doomed or OutOfWork when that already fails.
    TPath Branch(const std::vector<std::pair<int64_t, TInflater>>& saves, int64_t spot, bool last,
                 TInflater& trial) {
        auto save = std::upper_bound(saves.begin(), saves.end(), spot,
                                     [](int64_t s, const auto& p) { return s < p.first; });
        trial = (save - 1)->second;
        int64_t doom = 0;
        TPath fed = Feed(trial, (save - 1)->first, spot, false, doom, nullptr);
        if (fed != Open)
            return fed == OutOfWork ? OutOfWork : Doomed;
        return FeedCr(trial, last, doom);
    }

    // `st` has taken the data up to `at` and the CRs chosen so far; `count`
    // more go in at spots from index `from` on. True when a choice matched;
    // FChosen then holds the indices of this level and below, last first.
    //
    // A wrong choice seldom makes the inflater fail at once (Huffman codes
    // fall back into step after a few symbols), but where the data holds
    // stored blocks it fails at the next block header. So each choice of
    // this level is first followed as far as it goes without further CRs,
    // and the ones that get furthest are searched further first.
    bool Place(TInflater st, int64_t at, size_t count, size_t from) {
        const int64_t end = static_cast<int64_t>(FData.size());
        int64_t doom = end;
        if (count == 0)
            return Feed(st, at, end, true, doom, nullptr) == Matched && Verified(st);
        // The path without further CRs, saving its state now and then; a CR
        // can only help before the point where that path went wrong.
        std::vector<std::pair<int64_t, TInflater>> saves;
        saves.emplace_back(at, st);
        TPath path = Feed(st, at, end, false, doom, &saves);
        if (path == OutOfWork)
            return false;
        struct TChild {
            size_t Index;
            int64_t Reach;
        };
        std::vector<TChild> children;
        const size_t n = FSpots.size();
        for (size_t i = n - count + 1; i-- > from && FUsed <= FBudget;) {
            int64_t spot = FSpots[i];
            if (spot >= doom || spot < at)
                continue;
            bool last = count == 1 && spot == end;
            TInflater trial;
            TPath cr = Branch(saves, spot, last, trial);
            if (cr == Doomed || cr == OutOfWork)
                continue;
            if (count == 1) {
                int64_t unused = 0;
                bool matched =
                    cr == Matched || Feed(trial, spot, end, true, unused, nullptr) == Matched;
                if (matched && Verified(trial)) {
                    FChosen.push_back(i);
                    return true;
                }
                continue;
            }
            int64_t reach = end;
            Feed(trial, spot, end, false, reach, nullptr);
            children.push_back({i, reach});
        }
        std::stable_sort(children.begin(), children.end(),
                         [](const TChild& a, const TChild& b) { return a.Reach > b.Reach; });
        for (const TChild& child : children) {
            if (FUsed > FBudget)
                return false;
            TInflater trial;
            if (Branch(saves, FSpots[child.Index], false, trial) != Open)
                continue;
            if (Place(std::move(trial), FSpots[child.Index], count - 1, child.Index + 1)) {
                FChosen.push_back(child.Index);
                return true;
            }
        }
        return false;
    }

    const std::string& FData;
    const std::vector<int64_t>& FSpots;
    TDataPromise FPromise;
    uint64_t FBudget;
    uint64_t FUsed = 0;
    std::vector<unsigned char> FScratch;
    int64_t FSpacing;
    std::vector<size_t> FChosen;
};

// --- Other methods: each choice decoded whole. The choices come in no order
// of likelihood, so a search the budget cannot finish is not begun: trying a
// few of millions only spends the budget (seconds of bzip2 on one entry).
std::optional<std::vector<size_t>> SearchByDecoding(const std::string& likely,
                                                    const std::vector<int64_t>& spots, size_t count,
                                                    const TDataPromise& promise,
                                                    const TSearchBudget& budget) {
    const uint64_t affordable = budget.DecodedBytes / (likely.size() + count + 1) + 1;
    if (Combinations(spots.size(), count, affordable) > affordable)
        return std::nullopt;
    uint64_t used = 0;
    std::optional<std::vector<size_t>> found;
    ForEachChoice(spots.size(), count, [&](const std::vector<size_t>& chosen) {
        if (used > budget.DecodedBytes)
            return false;
        used += likely.size() + count;
        std::string data = WithCarriageReturns(likely, spots, chosen);
        TEntryData d;
        d.CompressedSize = static_cast<int64_t>(data.size());
        d.Method = promise.Method;
        d.Flags = promise.Flags;
        d.Crc32 = promise.Crc32;
        d.UncompressedSize = promise.UncompressedSize;
        TMemoryInput input(std::move(data));
        if (CheckEntryData(input, d).Outcome != TCheckOutcome::Ok)
            return true;
        found = chosen;
        return false;
    });
    return found;
}

} // namespace

std::optional<std::vector<size_t>> FindCarriageReturns(const std::string& likely,
                                                       const std::vector<int64_t>& spots,
                                                       size_t count, const TDataPromise& promise,
                                                       const TSearchBudget& budget) {
    check::PrepareFastCode();
    if (count > spots.size() || (promise.Flags & FlagEncrypted) || promise.UncompressedSize < 0)
        return std::nullopt;
    if (promise.Method == MethodStored)
        return SearchStored(likely, spots, count, promise, budget);
    if (promise.Method == MethodDeflate)
        return TDeflateSearch(likely, spots, promise, budget).Run(count);
    return SearchByDecoding(likely, spots, count, promise, budget);
}

} // namespace tessary
