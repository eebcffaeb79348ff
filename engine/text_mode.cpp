// text_mode.cpp -- the detection of text-mode damage, and the restoration of
// the damaged file's records one after the other.
//
// A transfer in text mode changes line ends wherever the bytes happen to
// hold them: in compressed data, in the CRC and size fields of headers, in
// extra fields. Every record therefore has to be read back the way it was
// written before its fields mean anything. Each candidate (a CR before an LF
// that may have been put in, an LF whose CR may have been dropped) is taken
// the likely way first; the fields of the record (a plain name, a known
// method, well-formed extra blocks, a record where the entry's data ends)
// rule out the wrong readings, and the entry's CRC-32 decides.
#include "text_mode.h"

#include "content_check.h"
#include "file_info.h"
#include "zip_records.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_set>

namespace tessary {

namespace {

// Kinds of records that may follow an entry's data or a directory header.
enum TRecordKinds : unsigned {
    KindLocal = 1,
    KindCentral = 2,
    KindEnd = 4,
    KindZip64End = 8,
    KindDescriptor = 16,
    KindsBehindData = KindLocal | KindCentral | KindEnd | KindZip64End,
};

unsigned KindOf(uint32_t signature) {
    switch (signature) {
    case LocalHeaderSignature:
        return KindLocal;
    case CentralHeaderSignature:
        return KindCentral;
    case EndRecordSignature:
        return KindEnd;
    case Zip64EndRecordSignature:
        return KindZip64End;
    case DescriptorSignature:
        return KindDescriptor;
    default:
        return 0;
    }
}

// The damaged file through a small cache of blocks: the restoration reads a
// header, looks ahead to where its data ends, and comes back.
class TDamagedBytes {
public:
    explicit TDamagedBytes(TInputStream& input) : FInput(input), FSize(input.Size()) {}

    TInputStream& Input() const { return FInput; }
    int64_t Size() const { return FSize; }

    // Copies [at, at + count), zeros past the end; returns the bytes the
    // file holds there.
    size_t Read(int64_t at, unsigned char* out, size_t count) {
        size_t done = 0;
        while (done < count) {
            int64_t p = at + static_cast<int64_t>(done);
            if (p < 0 || p >= FSize)
                break;
            const TBlock& b = Load(p);
            size_t from = static_cast<size_t>(p - b.Base);
            size_t n = std::min(count - done, b.Length - from);
            std::memcpy(out + done, b.Data.data() + from, n);
            done += n;
        }
        if (done < count)
            std::memset(out + done, 0, count - done);
        return done;
    }

    unsigned char Byte(int64_t at) {
        unsigned char b = 0;
        Read(at, &b, 1);
        return b;
    }

    std::string Range(int64_t from, int64_t to) {
        std::string s(static_cast<size_t>(std::max<int64_t>(0, to - from)), '\0');
        Read(from, reinterpret_cast<unsigned char*>(s.data()), s.size());
        return s;
    }

    unsigned KindAt(int64_t at) {
        unsigned char sig[4];
        if (Read(at, sig, 4) < 4)
            return 0;
        return KindOf(SignatureOf(sig));
    }

    // The first offset in [from, to) where a record of `kinds` begins, or -1.
    int64_t FindRecord(int64_t from, int64_t to, unsigned kinds) {
        to = std::min(to, FSize);
        for (int64_t p = std::max<int64_t>(from, 0); p < to;) {
            // KindAt may load the next block, but never in place of this
            // one: of the two, this was used last.
            const TBlock& b = Load(p);
            const unsigned char* data = b.Data.data();
            size_t end = static_cast<size_t>(std::min<int64_t>(to - b.Base, int64_t(b.Length)));
            for (const unsigned char* hit = data + (p - b.Base);; ++hit) {
                hit = static_cast<const unsigned char*>(
                    std::memchr(hit, 'P', end - static_cast<size_t>(hit - data)));
                if (!hit)
                    break;
                int64_t at = b.Base + (hit - data);
                if (KindAt(at) & kinds)
                    return at;
                if (static_cast<size_t>(hit - data) + 1 >= end)
                    break;
            }
            p = b.Base + static_cast<int64_t>(end);
        }
        return -1;
    }

    // Calls visit(x) for every LF at x in [from, to), in order, until it
    // returns false; false then.
    template <typename Visit> bool ForEachLf(int64_t from, int64_t to, Visit visit) {
        to = std::min(to, FSize);
        for (int64_t p = std::max<int64_t>(from, 0); p < to;) {
            const TBlock& b = Load(p);
            int64_t base = b.Base;
            size_t start = static_cast<size_t>(p - base);
            size_t end = static_cast<size_t>(std::min<int64_t>(to - base, int64_t(b.Length)));
            // Copied out: visit() reads bytes too, which may replace the block.
            std::vector<int64_t> found;
            for (const unsigned char* q = b.Data.data() + start;;) {
                size_t left = end - static_cast<size_t>(q - b.Data.data());
                q = static_cast<const unsigned char*>(std::memchr(q, LineFeed, left));
                if (!q)
                    break;
                found.push_back(base + (q - b.Data.data()));
                ++q;
            }
            p = base + static_cast<int64_t>(end);
            for (int64_t x : found)
                if (!visit(x))
                    return false;
        }
        return true;
    }

private:
    static constexpr size_t BlockSize = 256 << 10;
    struct TBlock {
        int64_t Base = -1;
        size_t Length = 0;
        uint64_t Used = 0;
        std::vector<unsigned char> Data;
    };

    const TBlock& Load(int64_t at) {
        int64_t base = at - at % int64_t(BlockSize);
        ++FClock;
        for (TBlock& b : FBlocks)
            if (b.Base == base) {
                b.Used = FClock;
                return b;
            }
        TBlock& b = FBlocks[0].Used <= FBlocks[1].Used ? FBlocks[0] : FBlocks[1];
        b.Data.resize(BlockSize);
        b.Length = static_cast<size_t>(std::min<int64_t>(int64_t(BlockSize), FSize - base));
        ReadFully(FInput, base, b.Data.data(), b.Length);
        b.Base = base;
        b.Used = FClock;
        return b;
    }

    TInputStream& FInput;
    int64_t FSize;
    TBlock FBlocks[2];
    uint64_t FClock = 0;
};

// The candidates of the damaged bytes [from, to): for LfBecameCrLf each CR
// in front of an LF (the LF may be the byte at `to`), for CrLfBecameLf each
// LF. False for LfBecameCrLf when an LF in the range has no CR before it:
// that damage left none.
bool Candidates(TDamagedBytes& bytes, TTextModeDamage damage, int64_t from, int64_t to,
                std::vector<int64_t>* out, size_t& count) {
    count = 0;
    if (out)
        out->clear();
    if (damage == TTextModeDamage::None || to <= from)
        return true;
    if (damage == TTextModeDamage::CrLfBecameLf) {
        bytes.ForEachLf(from, to, [&](int64_t x) {
            ++count;
            if (out)
                out->push_back(x);
            return true;
        });
        return true;
    }
    return bytes.ForEachLf(from, to + 1, [&](int64_t x) {
        bool afterCr = bytes.Byte(x - 1) == CarriageReturn;
        if (x > from && afterCr) {
            ++count;
            if (out)
                out->push_back(x - 1);
            return true;
        }
        // An LF at `to` belongs to what follows.
        return afterCr || x == to;
    });
}

// The damaged offset behind the first `count` restored bytes from `from`
// when every candidate is edited (every CR removed, or a CR put before every
// LF): the far end of the range a record of that many bytes may take for
// LfBecameCrLf, the near end for CrLfBecameLf.
int64_t ReachWithEveryEdit(TDamagedBytes& bytes, TTextModeDamage damage, int64_t from,
                           int64_t count) {
    if (damage == TTextModeDamage::None || count <= 0)
        return from + std::max<int64_t>(count, 0);
    int64_t restored = 0; // restored bytes before `at`
    int64_t at = from;
    int64_t reach = -1;
    bool removing = damage == TTextModeDamage::LfBecameCrLf;
    // No record of `count` bytes takes more than twice as many damaged ones.
    int64_t limit = from + 2 * count + 2;
    bytes.ForEachLf(removing ? from + 1 : from, limit, [&](int64_t x) {
        // The edited byte: the CR before the LF, or the LF that gets one.
        int64_t edited = removing ? x - 1 : x;
        if (removing && bytes.Byte(edited) != CarriageReturn)
            return true;
        int64_t plain = edited - at;
        if (restored + plain >= count) {
            reach = at + (count - restored);
            return false;
        }
        restored += plain;
        at = edited;
        if (removing) {
            at = edited + 1; // the CR goes
        } else {
            restored += 2; // CR and LF
            at = edited + 1;
            if (restored >= count) {
                reach = at;
                return false;
            }
        }
        return true;
    });
    if (reach < 0)
        reach = at + (count - restored);
    return reach;
}

// The ways the damaged bytes from `from` read back as `want` bytes with
// exactly `deviations` candidates taken otherwise than the likely way (a CR
// kept, a CR put in); `visit(bytes, end, edits)` returns true to stop. For
// the small records only: headers, descriptors.
using TVisitRestored =
    std::function<bool(const std::string& bytes, int64_t end, const std::vector<int64_t>& edits)>;

bool ForEachRestoration(TDamagedBytes& bytes, TTextModeDamage damage, int64_t from, size_t want,
                        int deviations, const TVisitRestored& visit) {
    if (damage == TTextModeDamage::None && deviations > 0)
        return false;
    std::vector<unsigned char> raw(2 * want + 2);
    size_t have = bytes.Read(from, raw.data(), raw.size());
    std::string out;
    out.reserve(want);
    std::vector<int64_t> edits;
    constexpr size_t MaxVisits = 256;
    size_t visits = 0;
    bool stop = false;
    int left = deviations;
    // Recurses only where a deviation is still open, so its depth is the
    // number of candidates while deviations are left, not the record's size.
    std::function<void(size_t)> step = [&](size_t i) {
        size_t grown = 0;   // bytes this call appended to `out`
        size_t removed = 0; // edits this call appended without a choice
        for (;;) {
            if (stop)
                break;
            if (out.size() == want) {
                if (left == 0) {
                    ++visits;
                    stop = visit(out, from + static_cast<int64_t>(i), edits) || visits >= MaxVisits;
                }
                break;
            }
            if (i >= have)
                break;
            unsigned char b = raw[i];
            bool removable = damage == TTextModeDamage::LfBecameCrLf && b == CarriageReturn &&
                             i + 1 < have && raw[i + 1] == LineFeed;
            bool dropped = damage == TTextModeDamage::CrLfBecameLf && b == LineFeed;
            if (removable && left == 0) {
                edits.push_back(from + static_cast<int64_t>(i));
                ++removed;
                ++i;
                continue;
            }
            if (removable) {
                edits.push_back(from + static_cast<int64_t>(i));
                step(i + 1);
                edits.pop_back();
                --left;
                out.push_back(static_cast<char>(CarriageReturn));
                step(i + 1);
                out.pop_back();
                ++left;
                break;
            }
            if (dropped && left > 0 && out.size() + 2 <= want) {
                --left;
                edits.push_back(from + static_cast<int64_t>(i));
                out.push_back(static_cast<char>(CarriageReturn));
                out.push_back(static_cast<char>(LineFeed));
                step(i + 1);
                out.resize(out.size() - 2);
                edits.pop_back();
                ++left;
            }
            out.push_back(static_cast<char>(b));
            ++grown;
            ++i;
        }
        out.resize(out.size() - grown);
        edits.resize(edits.size() - removed);
    };
    step(0);
    return stop;
}

// Offsets in [lo, hi] where a record of `kinds` begins (the end of the file
// counting as one), the furthest first: for either damage the reading with
// the fewest deviations ends furthest on.
std::vector<int64_t> RecordsIn(TDamagedBytes& bytes, int64_t lo, int64_t hi, unsigned kinds) {
    std::vector<int64_t> found;
    for (int64_t p = lo; found.size() < 16;) {
        int64_t q = bytes.FindRecord(p, hi + 1, kinds);
        if (q < 0)
            break;
        found.push_back(q);
        p = q + 1;
    }
    if (lo <= bytes.Size() && bytes.Size() <= hi)
        found.push_back(bytes.Size());
    std::sort(found.rbegin(), found.rend());
    return found;
}

bool IsCheckableMethod(uint16_t method) {
    return method == MethodStored || method == MethodDeflate || method == MethodBzip2 ||
           method == MethodLzma || method == MethodXz || method == MethodZstd;
}

// One way to read a header back: its fields, and where in the damaged file
// it ends (the data's first byte, or a directory header's comment).
struct THeaderReading {
    TLocalHeader Fields; // a central header's fields too: the shape is shared
    int64_t End = 0;
    std::vector<int64_t> Edits;
    int Deviations = 0;
};

constexpr int MaxHeaderDeviations = 2;
constexpr size_t MaxHeaderReadings = 8;

// The readings of the header at `s` (local or central) that make sense:
// a plain name, a version the format has reached, a known method, and an
// extra field of whole blocks wherever the reading changed it. Fewest
// deviations first.
std::vector<THeaderReading> HeaderReadings(TDamagedBytes& bytes, TTextModeDamage damage, int64_t s,
                                           THeaderKind kind) {
    std::vector<THeaderReading> found;
    const size_t fixed = kind == THeaderKind::Local ? LocalHeaderSize : CentralHeaderSize;
    int most = damage == TTextModeDamage::None ? 0 : MaxHeaderDeviations;
    for (int total = 0; total <= most && found.size() < MaxHeaderReadings; ++total) {
        for (int inFixed = 0; inFixed <= total && found.size() < MaxHeaderReadings; ++inFixed) {
            ForEachRestoration(
                bytes, damage, s, fixed, inFixed,
                [&](const std::string& head, int64_t fixedEnd,
                    const std::vector<int64_t>& fixedEdits) {
                    TLocalHeader h;
                    TByteCursor cursor(reinterpret_cast<const unsigned char*>(head.data()),
                                       head.size());
                    if (!DecodeFileHeader(cursor, kind, h) || (h.VersionNeeded & 0xFF) > 63 ||
                        !IsKnownMethod(h.Method))
                        return false;
                    std::string name = bytes.Range(fixedEnd, fixedEnd + h.NameLength);
                    if (!IsPlainName(name))
                        return false;
                    int64_t extraAt = fixedEnd + h.NameLength;
                    int inExtra = total - inFixed;
                    if (inExtra > 0 && h.ExtraLength > 1024)
                        return false;
                    ForEachRestoration(
                        bytes, damage, extraAt, h.ExtraLength, inExtra,
                        [&](const std::string& extra, int64_t end,
                            const std::vector<int64_t>& edits) {
                            if (!IsWellFormedExtraField(extra) && (total > 0 || !edits.empty()))
                                return false;
                            THeaderReading r;
                            r.Fields = h;
                            r.Fields.Offset = s;
                            r.Fields.NameAndExtra = name + extra;
                            if (!extra.empty())
                                DecodeExtraField(r.Fields, extra);
                            r.End = end;
                            r.Edits = fixedEdits;
                            r.Edits.insert(r.Edits.end(), edits.begin(), edits.end());
                            r.Deviations = total;
                            found.push_back(std::move(r));
                            return found.size() >= MaxHeaderReadings;
                        });
                    return found.size() >= MaxHeaderReadings;
                });
        }
    }
    return found;
}

// How many of the candidates in [from, to) must go otherwise than the
// likely way for the range to read back as `restored` bytes, given that it
// holds `candidates` of them; -1 when no choice gives that many.
int64_t DeviationsFor(TTextModeDamage damage, int64_t from, int64_t to, int64_t restored,
                      size_t candidates) {
    int64_t n = static_cast<int64_t>(candidates);
    int64_t span = to - from;
    int64_t d = -1;
    switch (damage) {
    case TTextModeDamage::None:
        d = span == restored ? 0 : -1;
        break;
    case TTextModeDamage::LfBecameCrLf:
        d = n - (span - restored); // CRs kept
        break;
    case TTextModeDamage::CrLfBecameLf:
        d = restored - span; // CRs put back
        break;
    }
    return d >= 0 && d <= n ? d : -1;
}

// An entry whose extent checks out under one reading of its records.
struct TLocatedEntry {
    THeaderReading Head;
    int64_t DataEnd = 0; // damaged offset behind the data
    int64_t End = 0;     // behind the whole record, descriptor included
    int64_t CompressedSize = 0;
    TDataPromise Promise;
    bool SizeKnown = true; // UncompressedSize is known
    std::vector<int64_t> DescriptorEdits;
    std::vector<int64_t> DataCandidates;
    size_t Deviations = 0; // of the data's candidates

    // The edits of the likely reading of the whole record.
    size_t LikelyEdits(TTextModeDamage damage) const {
        size_t data = damage == TTextModeDamage::LfBecameCrLf ? DataCandidates.size() - Deviations
                                                              : Deviations;
        return Head.Edits.size() + data + DescriptorEdits.size();
    }
};

class TEntryLocator {
public:
    TEntryLocator(TDamagedBytes& bytes, TTextModeDamage damage, int64_t maxSpan)
        : FBytes(bytes), FDamage(damage), FMaxSpan(maxSpan) {}

    // Every extent of the entry that checks out with this reading of its
    // header: a record (or the end of the file) where its data may end,
    // fewest deviations first. Only the CRC-32 tells which is right where
    // a record further on happens to lie where fewer line ends changed.
    std::vector<TLocatedEntry> Locate(const THeaderReading& head) {
        std::vector<TLocatedEntry> found;
        const TLocalHeader& h = head.Fields;
        if (h.Flags & FlagDataDescriptor) {
            if (std::optional<TLocatedEntry> e = WithDescriptor(head))
                found.push_back(std::move(*e));
            return found;
        }
        // Past the span nothing is looked at, so its line ends are not counted.
        if (h.CompressedSize < 0 || h.CompressedSize > FMaxSpan)
            return found;
        int64_t ds = head.End;
        auto [lo, hi] = Window(ds, h.CompressedSize);
        if (hi - ds > FMaxSpan)
            return found;
        std::vector<int64_t> ends = RecordsIn(FBytes, lo, hi, KindsBehindData);
        // Data ends at the directory's first header, not inside the directory:
        // of the central headers in reach only the first is an end (the last
        // entry would otherwise try every later header first, as those need
        // fewer CRs put back).
        int64_t directory = INT64_MAX;
        for (int64_t q : ends)
            if (FBytes.KindAt(q) == KindCentral)
                directory = std::min(directory, q);
        for (int64_t q : ends) {
            TLocatedEntry e;
            if ((q > directory && FBytes.KindAt(q) == KindCentral) ||
                !FitData(head, q, h.CompressedSize, e))
                continue;
            e.End = q;
            e.Promise.Crc32 = h.Crc32;
            e.Promise.UncompressedSize = h.UncompressedSize;
            e.SizeKnown = h.UncompressedSize != Zip64Marker32;
            found.push_back(std::move(e));
        }
        return found;
    }

private:
    // Where the data of `size` restored bytes from `ds` may end.
    // Neither end lies past the end of the file: where CRs were dropped, the
    // recorded size may reach beyond it though the data ends well before.
    std::pair<int64_t, int64_t> Window(int64_t ds, int64_t size) {
        int64_t plain = ds + size;
        int64_t edited = ReachWithEveryEdit(FBytes, FDamage, ds, size);
        int64_t end = FBytes.Size();
        return {std::min({plain, edited, end}), std::min(std::max(plain, edited), end)};
    }

    // Whether the data [head.End, q) can read back as `size` bytes.
    bool FitData(const THeaderReading& head, int64_t q, int64_t size, TLocatedEntry& e) {
        int64_t ds = head.End;
        if (q < ds || q - ds > FMaxSpan)
            return false;
        size_t n = 0;
        std::vector<int64_t> list;
        if (!Candidates(FBytes, FDamage, ds, q, &list, n))
            return false;
        int64_t d = DeviationsFor(FDamage, ds, q, size, n);
        if (d < 0)
            return false;
        e.Head = head;
        e.DataEnd = q;
        e.CompressedSize = size;
        e.DataCandidates = std::move(list);
        e.Deviations = static_cast<size_t>(d);
        e.Promise.Method = head.Fields.Method;
        e.Promise.Flags = head.Fields.Flags;
        return true;
    }

    // A streaming writer's entry: the descriptor behind the data gives its
    // CRC and sizes (its local header's may be zero), signed or not.
    std::optional<TLocatedEntry> WithDescriptor(const THeaderReading& head) {
        const TLocalHeader& h = head.Fields;
        int64_t ds = head.End;
        bool zip64 = h.Zip64;
        int64_t lo = ds;
        int64_t hi = -1;
        if (h.CompressedSize > FMaxSpan)
            return std::nullopt;
        if (h.CompressedSize > 0) {
            std::tie(lo, hi) = Window(ds, h.CompressedSize);
        } else {
            // The descriptor lies before the next header.
            int64_t next = FBytes.FindRecord(ds, ds + FMaxSpan + 1, KindsBehindData);
            hi = next >= 0 ? next : std::min(FBytes.Size(), ds + FMaxSpan);
        }
        if (hi - ds > FMaxSpan)
            return std::nullopt;
        // Signed: a descriptor signature where the data may end.
        for (int64_t q = lo;;) {
            q = FBytes.FindRecord(q, hi + 1, KindDescriptor);
            if (q < 0)
                break;
            if (auto e = DescriptorAt(head, q, true, zip64))
                return e;
            ++q;
        }
        // Unsigned: it ends right before the next record.
        const int length = zip64 ? 20 : 12;
        std::vector<int64_t> ends =
            RecordsIn(FBytes, lo + length - 2, hi + length + 2, KindsBehindData);
        std::reverse(ends.begin(), ends.end());
        for (int64_t end : ends)
            for (int64_t q = end - length - MaxHeaderDeviations;
                 q <= end - length + MaxHeaderDeviations; ++q)
                if (auto e = DescriptorAt(head, q, false, zip64, end))
                    return e;
        return std::nullopt;
    }

    std::optional<TLocatedEntry> DescriptorAt(const THeaderReading& head, int64_t q, bool isSigned,
                                              bool zip64, int64_t mustEnd = -1) {
        if (q < head.End)
            return std::nullopt;
        const size_t length = (isSigned ? 4 : 0) + (zip64 ? 20 : 12);
        std::optional<TLocatedEntry> located;
        int most = FDamage == TTextModeDamage::None ? 0 : MaxHeaderDeviations;
        for (int dev = 0; dev <= most && !located; ++dev) {
            ForEachRestoration(
                FBytes, FDamage, q, length, dev,
                [&](const std::string& raw, int64_t end, const std::vector<int64_t>& edits) {
                    if (mustEnd >= 0 && end != mustEnd)
                        return false;
                    if (mustEnd < 0 && end != FBytes.Size() &&
                        !(FBytes.KindAt(end) & KindsBehindData))
                        return false;
                    TByteCursor cursor(reinterpret_cast<const unsigned char*>(raw.data()),
                                       raw.size());
                    TDataDescriptor d;
                    if (!DecodeDataDescriptor(cursor, q, isSigned, zip64, d) ||
                        d.CompressedSize > uint64_t(FMaxSpan) * 2)
                        return false;
                    TLocatedEntry e;
                    if (!FitData(head, q, static_cast<int64_t>(d.CompressedSize), e))
                        return false;
                    e.End = end;
                    e.Promise.Crc32 = d.Crc32;
                    e.Promise.UncompressedSize = static_cast<int64_t>(d.UncompressedSize);
                    e.DescriptorEdits = edits;
                    located = std::move(e);
                    return true;
                });
        }
        return located;
    }

    TDamagedBytes& FBytes;
    TTextModeDamage FDamage;
    int64_t FMaxSpan;
};

// The first reading of the header at `s` whose entry's extent checks out.
std::optional<TLocatedEntry> LocateFirst(TDamagedBytes& bytes, TTextModeDamage damage, int64_t s,
                                         int64_t maxSpan) {
    TEntryLocator locator(bytes, damage, maxSpan);
    for (const THeaderReading& head : HeaderReadings(bytes, damage, s, THeaderKind::Local))
        if (std::vector<TLocatedEntry> found = locator.Locate(head); !found.empty())
            return std::move(found.front());
    return std::nullopt;
}

// The restoration: the records of the damaged file in order.
class TRestorer {
public:
    TRestorer(TInputStream& damaged, TTextModeDamage damage, const TTextModeOptions& options)
        : FBytes(damaged), FDamage(damage), FOptions(options),
          FEdits(std::make_shared<TEditList>(damage)) {
        FResult.Damage = damage;
    }

    TTextModeRepair Run() {
        int64_t size = FBytes.Size();
        for (int64_t cursor = 0; cursor < size;) {
            if (FOptions.Tick && !FOptions.Tick(cursor)) {
                FResult.Stopped = true;
                break;
            }
            int64_t s = FBytes.FindRecord(cursor, size, KindLocal | KindCentral | KindEnd);
            if (s < 0)
                break;
            unsigned kind = FBytes.KindAt(s);
            int64_t next = -1;
            bool taken = kind == KindLocal ? RestoreEntry(s, next)
                         : kind == KindCentral
                             ? RestoreDirectoryRecord(s, THeaderKind::Central, next)
                             : RestoreEndRecord(s, next);
            // A record not read back stays as found, up to the next one.
            cursor = taken ? next : s + 4;
        }
        if (FResult.Stopped || FResult.Restored.empty()) {
            FResult.Restored.clear();
            return FResult;
        }
        FResult.Edits = FEdits;
        return FResult;
    }

private:
    struct TStopped {};

    int64_t Restored(int64_t damaged) const { return damaged + FShift; }

    void Commit(std::vector<int64_t> edits) {
        std::sort(edits.begin(), edits.end());
        for (int64_t p : edits)
            FEdits->Append(p);
        int64_t n = static_cast<int64_t>(edits.size());
        FShift += FDamage == TTextModeDamage::LfBecameCrLf ? -n : n;
    }

    bool RestoreEntry(int64_t s, int64_t& next) {
        std::vector<THeaderReading> heads = HeaderReadings(FBytes, FDamage, s, THeaderKind::Local);
        if (heads.empty())
            return false; // no header: a stray signature
        TEntryLocator locator(FBytes, FDamage, FBytes.Size());
        std::vector<TLocatedEntry> found;
        for (const THeaderReading& head : heads)
            for (TLocatedEntry& e : locator.Locate(head))
                found.push_back(std::move(e));
        std::stable_sort(
            found.begin(), found.end(), [](const TLocatedEntry& a, const TLocatedEntry& b) {
                return a.Head.Deviations + a.Deviations < b.Head.Deviations + b.Deviations;
            });
        if (found.size() == 1 && found.front().LikelyEdits(FDamage) == 0) {
            // One way to read it, and nothing the transfer changed: as found.
            FEntryOffsets.insert(Restored(s));
            next = found.front().End;
            return true;
        }
        constexpr int MaxTries = 4;
        int tries = 0;
        for (const TLocatedEntry& e : found) {
            if (tries++ >= MaxTries || FResult.Stopped)
                break;
            std::optional<std::vector<int64_t>> data = DataEdits(e);
            if (!data)
                continue;
            std::vector<int64_t> all = e.Head.Edits;
            all.insert(all.end(), data->begin(), data->end());
            all.insert(all.end(), e.DescriptorEdits.begin(), e.DescriptorEdits.end());
            FEntryOffsets.insert(Restored(s));
            if (!all.empty())
                FResult.Restored.push_back(Restored(s));
            Commit(std::move(all));
            next = e.End;
            return true;
        }
        ++FResult.NotRestored;
        return false;
    }

    // The edits of the located entry's data that make it decode to its
    // CRC-32, or nothing.
    std::optional<std::vector<int64_t>> DataEdits(const TLocatedEntry& e) {
        const TDataPromise& p = e.Promise;
        if (!IsCheckableMethod(p.Method) || (p.Flags & FlagEncrypted))
            return std::nullopt;
        const bool removing = FDamage == TTextModeDamage::LfBecameCrLf;
        const int64_t ds = e.Head.End;
        if (e.Deviations == 0) {
            std::vector<int64_t> edits = removing ? e.DataCandidates : std::vector<int64_t>();
            return Decodes(e, edits) ? std::optional(std::move(edits)) : std::nullopt;
        }
        if (e.DataEnd - ds > FOptions.MaxSearchedData || !e.SizeKnown)
            return std::nullopt;
        // The likely data in memory, and where a CR may go back.
        std::string raw = FBytes.Range(ds, e.DataEnd);
        std::string likely;
        likely.reserve(raw.size());
        std::vector<int64_t> spots;
        spots.reserve(e.DataCandidates.size());
        size_t c = 0;
        for (size_t i = 0; i < raw.size(); ++i) {
            int64_t at = ds + static_cast<int64_t>(i);
            bool candidate = c < e.DataCandidates.size() && e.DataCandidates[c] == at;
            if (candidate) {
                ++c;
                spots.push_back(static_cast<int64_t>(likely.size()));
                if (removing)
                    continue; // the CR goes; it may come back before the LF
            }
            likely.push_back(raw[i]);
        }
        std::optional<std::vector<size_t>> chosen =
            FindCarriageReturns(likely, spots, e.Deviations, p, FOptions.Budget);
        if (!chosen)
            return std::nullopt;
        std::vector<char> deviates(e.DataCandidates.size(), 0);
        for (size_t i : *chosen)
            deviates[i] = 1;
        std::vector<int64_t> edits;
        for (size_t i = 0; i < e.DataCandidates.size(); ++i)
            if (bool(deviates[i]) != removing)
                edits.push_back(e.DataCandidates[i]);
        return edits;
    }

    // Whether the data with `edits` decodes to the entry's CRC-32 and size.
    bool Decodes(const TLocatedEntry& e, const std::vector<int64_t>& edits) {
        auto list = std::make_shared<TEditList>(FDamage);
        for (int64_t p : edits)
            list->Append(p);
        // No edit lies before the data, so its offset is the same in the view.
        TRestoredInput view(FBytes.Input(), list);
        TEntryData d;
        d.Offset = e.Head.End;
        d.CompressedSize = e.CompressedSize;
        d.Method = e.Promise.Method;
        d.Flags = e.Promise.Flags;
        d.Crc32 = e.Promise.Crc32;
        if (e.SizeKnown)
            d.UncompressedSize = e.Promise.UncompressedSize;
        // The check of a large entry is long: the progress goes on inside it.
        TCheckOptions options;
        int64_t decoded = 0;
        options.Sink = [&](const unsigned char*, size_t n) {
            decoded += static_cast<int64_t>(n);
            if (decoded >= (int64_t(16) << 20)) {
                decoded = 0;
                if (FOptions.Tick && !FOptions.Tick(e.Head.End))
                    throw TStopped();
            }
        };
        try {
            return CheckEntryData(view, d, options).Outcome == TCheckOutcome::Ok;
        } catch (const TStopped&) {
            FResult.Stopped = true;
            return false;
        }
    }

    // A central directory header: its fields read back, then its name,
    // extra field and comment, up to the next record.
    bool RestoreDirectoryRecord(int64_t s, THeaderKind kind, int64_t& next) {
        std::vector<THeaderReading> heads = HeaderReadings(FBytes, FDamage, s, kind);
        // A reading whose local offset names an entry read back comes first.
        std::stable_partition(heads.begin(), heads.end(), [&](const THeaderReading& r) {
            return FEntryOffsets.count(r.Fields.LocalOffset) > 0;
        });
        for (const THeaderReading& head : heads) {
            std::vector<int64_t> tail;
            if (!TailUpToRecord(head.End, head.Fields.CommentLength, tail, next))
                continue;
            std::vector<int64_t> all = head.Edits;
            all.insert(all.end(), tail.begin(), tail.end());
            Commit(std::move(all));
            return true;
        }
        return false;
    }

    bool RestoreEndRecord(int64_t s, int64_t& next) {
        int most = FDamage == TTextModeDamage::None ? 0 : MaxHeaderDeviations;
        for (int dev = 0; dev <= most; ++dev) {
            bool done = false;
            ForEachRestoration(
                FBytes, FDamage, s, EndRecordSize, dev,
                [&](const std::string& raw, int64_t end, const std::vector<int64_t>& edits) {
                    TByteCursor cursor(reinterpret_cast<const unsigned char*>(raw.data()),
                                       raw.size());
                    TEndRecord r;
                    std::vector<int64_t> tail;
                    if (!DecodeEndRecord(cursor, s, r) ||
                        !TailUpToRecord(end, r.CommentLength, tail, next))
                        return false;
                    std::vector<int64_t> all = edits;
                    all.insert(all.end(), tail.begin(), tail.end());
                    Commit(std::move(all));
                    done = true;
                    return true;
                });
            if (done)
                return true;
        }
        return false;
    }

    // A free-form tail of `length` restored bytes from `from` (a comment),
    // which ends where the next record begins or the file ends. Which of its
    // line ends changed nothing tells; the count does, and the first ones
    // are taken.
    bool TailUpToRecord(int64_t from, int64_t length, std::vector<int64_t>& edits, int64_t& next) {
        int64_t plain = from + length;
        int64_t edited = ReachWithEveryEdit(FBytes, FDamage, from, length);
        const bool removing = FDamage == TTextModeDamage::LfBecameCrLf;
        for (int64_t q : RecordsIn(FBytes, std::min(plain, edited), std::max(plain, edited),
                                   KindLocal | KindCentral | KindEnd | KindZip64End)) {
            size_t n = 0;
            std::vector<int64_t> list;
            if (!Candidates(FBytes, FDamage, from, q, &list, n))
                continue;
            int64_t d = DeviationsFor(FDamage, from, q, length, n);
            if (d < 0)
                continue;
            edits.clear();
            for (size_t i = 0; i < list.size(); ++i)
                if ((static_cast<int64_t>(i) < d) != removing)
                    edits.push_back(list[i]);
            next = q;
            return true;
        }
        return false;
    }

    TDamagedBytes FBytes;
    TTextModeDamage FDamage;
    const TTextModeOptions& FOptions;
    std::shared_ptr<TEditList> FEdits;
    int64_t FShift = 0; // restored minus damaged offset behind the edits so far
    std::unordered_set<int64_t> FEntryOffsets; // restored offsets of entries read back
    TTextModeRepair FResult;
};

// The probe looks for evidence in the first headers of this much of the
// file, and reads at most this much of any one entry. Entries that hold no
// line end the damage would have changed say nothing (an archive's first
// entries may be text with LFs alone, untouched by a transfer that turned
// CR LF into LF), so the probe walks on until both kinds of damage are
// ruled out, a kind has its votes, or it has read ProbeWithin of the file.
constexpr int64_t ProbeHeadersWithin = 4 << 20;
constexpr int64_t ProbeSpan = 16 << 20;
constexpr int64_t ProbeWithin = 64 << 20;
constexpr int ProbeVotes = 3;
constexpr int ProbeHeaders = 4096;

} // namespace

TTextModeDamage DetectTextModeDamage(TInputStream& damaged) {
    TDamagedBytes bytes(damaged);
    using D = TTextModeDamage;
    // For each kind of damage: entries whose extent only checks out if
    // their line ends were changed that way, and entries that check out as
    // found but hold a line end that damage would not have left (an LF
    // without a CR before it; a CR LF pair).
    int support[2] = {0, 0};
    int against[2] = {0, 0};
    int intact = 0;
    int64_t cursor = 0;
    for (int headers = 0; headers < ProbeHeaders; ++headers) {
        if (support[0] >= ProbeVotes || support[1] >= ProbeVotes || cursor > ProbeWithin ||
            (intact >= ProbeVotes && support[0] + support[1] == 0 && against[0] > 0 &&
             against[1] > 0))
            break;
        int64_t s = bytes.FindRecord(cursor, ProbeHeadersWithin, KindLocal);
        if (s < 0)
            break;
        std::optional<TLocatedEntry> asFound = LocateFirst(bytes, D::None, s, ProbeSpan);
        if (asFound) {
            bool bareLf = false;
            bool crLf = false;
            bytes.ForEachLf(s, asFound->End, [&](int64_t x) {
                (bytes.Byte(x - 1) == CarriageReturn ? crLf : bareLf) = true;
                return !(bareLf && crLf);
            });
            if (bareLf || crLf)
                ++intact;
            against[0] += bareLf ? 1 : 0;
            against[1] += crLf ? 1 : 0;
            cursor = asFound->End;
            continue;
        }
        std::optional<TLocatedEntry> lf = LocateFirst(bytes, D::LfBecameCrLf, s, ProbeSpan);
        std::optional<TLocatedEntry> crlf = LocateFirst(bytes, D::CrLfBecameLf, s, ProbeSpan);
        bool lfFits = lf && lf->LikelyEdits(D::LfBecameCrLf) > 0;
        bool crlfFits = crlf && crlf->LikelyEdits(D::CrLfBecameLf) > 0;
        if (lfFits != crlfFits) {
            ++support[lfFits ? 0 : 1];
            cursor = lfFits ? lf->End : crlf->End;
        } else {
            cursor = s + 4;
        }
    }
    int score[2] = {support[0] - against[0], support[1] - against[1]};
    if (support[0] > 0 && score[0] > 0 && score[0] > score[1])
        return D::LfBecameCrLf;
    if (support[1] > 0 && score[1] > 0 && score[1] > score[0])
        return D::CrLfBecameLf;
    return D::None;
}

TTextModeRepair UndoTextModeDamage(TInputStream& damaged, TTextModeDamage damage,
                                   const TTextModeOptions& options) {
    if (damage == TTextModeDamage::None) {
        TTextModeRepair none;
        return none;
    }
    return TRestorer(damaged, damage, options).Run();
}

} // namespace tessary
