// signature_scan.cpp -- the single read of the damaged file that finds local
// headers and data descriptors.
//
// Descriptors are matched to entries as they are met, by the data start they
// imply (their offset minus their compressed size), so the whole scan is
// linear however many entries use descriptors. Only descriptors that fit a
// header already seen are kept, so stray signatures cost no memory.
#include "signature_scan.h"

#include "byte_order.h"
#include "find_pk.h"
#include "zip_records.h"

#include <algorithm>
#include <cstring>

namespace tessary {

namespace {

constexpr unsigned char SigLocal[2] = {0x03, 0x04};
constexpr unsigned char SigDescriptor[2] = {0x07, 0x08};
constexpr unsigned char SigCentral[2] = {0x01, 0x02};
constexpr unsigned char SigEnd[2] = {0x05, 0x06};
constexpr size_t MaxLeadingCentrals = 65536;

class TSignatureScanner {
public:
    TSignatureScanner(TReadWindow& window, size_t maxCandidates, TSignatureScanResult& result)
        : FWindow(window), FMax(maxCandidates), FResult(result) {}

    void SearchBlock();
    void AtEndOfFile() { OnRecordBoundary(FWindow.FileSize()); }

private:
    void OnSignature(int64_t at, const unsigned char* kind);
    void OnLocalHeader(int64_t h);
    void OnDescriptorSignature(int64_t q);
    void OnCentralHeader(int64_t at);
    void ReleaseStrings(TCandidate& c);
    void OnRecordBoundary(int64_t at);
    void Offer(const unsigned char* fields, int64_t at, bool isSigned, bool zip64);

    TReadWindow& FWindow;
    size_t FMax;
    TSignatureScanResult& FResult;
};

void TSignatureScanner::SearchBlock() {
    const unsigned char* data = FWindow.Data();
    const unsigned char* end = data + FWindow.Length();
    for (const unsigned char* hit = data; (hit = FindPK(hit, end)) != nullptr; ++hit) {
        size_t p = static_cast<size_t>(hit - data);
        int64_t at = FWindow.Base() + static_cast<int64_t>(p);
        unsigned char sig[4];
        if (end - hit >= 4)
            std::memcpy(sig, hit, 4);
        else if (FWindow.Fetch(at, sig, 4) < 4)
            break;
        if (sig[1] == 'K')
            OnSignature(at, sig + 2);
    }
}

void TSignatureScanner::OnSignature(int64_t at, const unsigned char* kind) {
    if (std::memcmp(kind, SigLocal, 2) == 0)
        OnLocalHeader(at);
    else if (std::memcmp(kind, SigDescriptor, 2) == 0)
        OnDescriptorSignature(at);
    else if (std::memcmp(kind, SigCentral, 2) == 0) {
        OnRecordBoundary(at);
        OnCentralHeader(at);
    } else if (std::memcmp(kind, SigEnd, 2) == 0 && FResult.FirstEndRecord < 0)
        FResult.FirstEndRecord = at;
}

// Central directory headers are remembered compactly, so that entries found
// by their local headers can take back what only the directory held.
void TSignatureScanner::OnCentralHeader(int64_t at) {
    unsigned char f[CentralHeaderSize];
    // Only as many as can match an entry, with room for a directory that
    // comes before its entries: back-to-back directory headers cost no more
    // memory than the entries they could describe.
    if (FResult.Centrals.size() >= std::min(FMax, FResult.Found + MaxLeadingCentrals) ||
        FWindow.Fetch(at, f, CentralHeaderSize) < CentralHeaderSize)
        return;
    TCentralRecord r;
    r.Offset = at;
    r.VersionMadeBy = GetLE16(f + 4);
    r.Flags = GetLE16(f + 8);
    r.Crc32 = GetLE32(f + 16);
    r.CompressedSize = GetLE32(f + 20);
    r.UncompressedSize = GetLE32(f + 24);
    r.NameLength = GetLE16(f + 28);
    r.ExtraLength = GetLE16(f + 30);
    r.CommentLength = GetLE16(f + 32);
    r.ExternalAttributes = GetLE32(f + 38);
    r.LocalOffset = GetLE32(f + 42);
    int64_t nameAt = at + CentralHeaderSize;
    if (nameAt + r.NameLength > FWindow.FileSize())
        return;
    r.NameHash = NameHash(FWindow.FetchString(nameAt, r.NameLength));
    if (r.CompressedSize == Zip64Marker32 || r.UncompressedSize == Zip64Marker32 ||
        r.LocalOffset == Zip64Marker32) {
        TFileInfo sizes;
        sizes.CompressedSize = r.CompressedSize;
        sizes.UncompressedSize = r.UncompressedSize;
        sizes.HeaderOffset = r.LocalOffset;
        sizes.ExtraLength = r.ExtraLength;
        sizes.Extra = std::make_unique<std::string>(
            FWindow.FetchString(nameAt + r.NameLength, r.ExtraLength));
        DecodeCentralZip64(sizes);
        r.CompressedSize = sizes.CompressedSize;
        r.UncompressedSize = sizes.UncompressedSize;
        r.LocalOffset = sizes.HeaderOffset;
    }
    FResult.Centrals.push_back(r);
}

void TSignatureScanner::ReleaseStrings(TCandidate& c) {
    FResult.KeptBytes -= c.Info.Name.size() + c.Info.ExtraField().size();
    std::string().swap(c.Info.Name);
    c.Info.Extra.reset();
}

void TSignatureScanner::OnLocalHeader(int64_t h) {
    // The header's 30 fixed bytes must lie in the file.
    unsigned char fixed[LocalHeaderSize];
    if (FWindow.Fetch(h, fixed, LocalHeaderSize) < LocalHeaderSize) {
        // Cut off by the end of the file: no entry, but still where the
        // previous entry's data and unsigned descriptor end.
        OnRecordBoundary(h);
        return;
    }
    TCandidate c;
    TFileInfo& e = c.Info;
    DecodeLocalHeader(fixed, e);
    if (!IsPlausibleLocalHeader(e))
        return;
    // Methods beyond those the format defines are kept (a writer's own, such
    // as symbolic links stored with a private number) when the name shows a
    // writer made the header.
    if (!IsKnownMethod(e.Method) &&
        !IsPlainName(FWindow.FetchString(h + LocalHeaderSize, e.NameLength)))
        return;
    // Before taking it as an entry: 12 or 20 bytes in front of it may be an
    // unsigned descriptor that ends the previous entry.
    OnRecordBoundary(h);
    if (FResult.Found >= FMax) {
        ++FResult.Dropped;
        return;
    }
    // A candidate whose name and extra field would hold this header is no
    // entry (the second pass skips it): its strings go now, so that a file of
    // headers claiming long names costs no more memory than it has headers.
    if (!FResult.Candidates.empty() && FResult.Candidates.back().DataStart > h)
        ReleaseStrings(FResult.Candidates.back());
    if (FResult.KeptBytes + e.NameLength + e.ExtraLength >
        MaxKeptNameBytes + KeptNameBytesPerEntry * FResult.Found) {
        FResult.OutOfMemory = true;
        return;
    }

    e.HeaderOffset = h;
    e.Name = FWindow.FetchString(h + LocalHeaderSize, e.NameLength);
    c.RawCompressedSize = static_cast<uint32_t>(e.CompressedSize);
    c.DataStart = h + LocalHeaderSize + e.NameLength + e.ExtraLength;
    if (e.ExtraLength > 0) {
        e.Extra = std::make_unique<std::string>(
            FWindow.FetchString(h + LocalHeaderSize + e.NameLength, e.ExtraLength));
        DecodeExtraField(e);
    }
    // An uncompressed size of all ones that no zip64 field explains is unknown.
    if (e.UncompressedSize == Zip64Marker32)
        e.UncompressedSize = -1;
    if (e.Flags & FlagDataDescriptor)
        FResult.Descriptors.try_emplace(c.DataStart, TDescriptorSlot{e.Zip64, {}, {}});
    FResult.KeptBytes += e.Name.size() + e.ExtraField().size();
    FResult.Candidates.push_back(std::move(c));
    ++FResult.Found;
}

void TSignatureScanner::OnDescriptorSignature(int64_t q) {
    if (FResult.Descriptors.empty())
        return;
    unsigned char d[24];
    size_t have = FWindow.Fetch(q, d, sizeof d);
    if (have >= 16)
        Offer(d + 4, q, true, false);
    if (have >= 24)
        Offer(d + 4, q, true, true);
}

// A descriptor written without its signature is only recognisable by where it
// ends: right before the next local header, central directory header or the
// end of the file.
void TSignatureScanner::OnRecordBoundary(int64_t at) {
    if (FResult.Descriptors.empty())
        return;
    for (bool zip64 : {false, true}) {
        int length = zip64 ? 20 : 12;
        unsigned char d[20];
        if (at >= length) {
            FWindow.Fetch(at - length, d, static_cast<size_t>(length));
            Offer(d, at - length, false, zip64);
        }
    }
}

// `fields` holds the descriptor's CRC-32 and sizes (32- or 64-bit) as found
// at `at`; they are kept when they fit an entry seen before: its data starts
// exactly the compressed size in front of the descriptor.
void TSignatureScanner::Offer(const unsigned char* fields, int64_t at, bool isSigned, bool zip64) {
    uint64_t compressed = zip64 ? GetLE64(fields + 4) : GetLE32(fields + 4);
    if (compressed > static_cast<uint64_t>(at))
        return;
    auto it = FResult.Descriptors.find(at - static_cast<int64_t>(compressed));
    if (it == FResult.Descriptors.end() || it->second.Zip64 != zip64)
        return;
    // A descriptor must end inside the file (it may end exactly at its end).
    int length = (isSigned ? 4 : 0) + (zip64 ? 20 : 12);
    if (at + length > FWindow.FileSize())
        return;
    TDescriptorHit& slot = isSigned ? it->second.Signed : it->second.Unsigned;
    if (slot.Offset >= 0)
        return;
    uint64_t uncompressed = zip64 ? GetLE64(fields + 12) : GetLE32(fields + 8);
    slot = TDescriptorHit{at, length, GetLE32(fields), compressed, uncompressed};
}

} // namespace

int64_t NextDirectoryRecord(const TSignatureScanResult& found, int64_t from) {
    auto it = std::upper_bound(found.Centrals.begin(), found.Centrals.end(), from,
                               [](int64_t at, const TCentralRecord& r) { return at < r.Offset; });
    int64_t next = it == found.Centrals.end() ? -1 : it->Offset;
    if (found.FirstEndRecord > from && (next < 0 || found.FirstEndRecord < next))
        next = found.FirstEndRecord;
    return next;
}

uint64_t NameHash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

void ScanSignatures(TReadWindow& window, size_t maxCandidates, const TScanTick& tick,
                    TSignatureScanResult& result) {
    TSignatureScanner scanner(window, maxCandidates, result);
    int64_t base = 0;
    int64_t size = window.FileSize();
    while (base < size) {
        size_t len = window.Load(base);
        if (len == 0)
            break;
        scanner.SearchBlock();
        base += static_cast<int64_t>(len);
        result.ScannedTo = base;
        if (!tick(base, result.Found) || result.OutOfMemory)
            return;
    }
    scanner.AtEndOfFile();
}

} // namespace tessary
