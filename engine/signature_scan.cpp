// signature_scan.cpp -- the single read of the damaged file that finds its
// records: local and central headers, data descriptors and end records.
//
// Descriptors are matched to entries as they are met, by the data start they
// imply (their offset minus their compressed size), so the whole scan is
// linear however many entries use descriptors. Only descriptors that fit a
// header already seen are kept, so stray signatures cost no memory.
#include "signature_scan.h"

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
constexpr size_t MaxEndRecords = 1024;

class TSignatureScanner {
public:
    TSignatureScanner(TReadWindow& window, size_t maxHeaders, TScanEvidence& evidence)
        : FWindow(window), FMax(maxHeaders), FFound(evidence) {}

    void SearchBlock();
    void AtEndOfFile() { OnRecordBoundary(FWindow.FileSize()); }

private:
    void OnSignature(int64_t at, const unsigned char* kind);
    void OnLocalHeader(int64_t h);
    void OnDescriptorSignature(int64_t q);
    void OnCentralHeader(int64_t at);
    void OnEndRecord(int64_t at);
    void ReleaseStrings(TLocalHeader& h);
    void OnRecordBoundary(int64_t at);
    void Offer(const TDataDescriptor& d);

    TReadWindow& FWindow;
    size_t FMax;
    TScanEvidence& FFound;
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
    } else if (std::memcmp(kind, SigEnd, 2) == 0)
        OnEndRecord(at);
}

// Central directory headers are remembered compactly, so that entries found
// by their local headers can take back what only the directory held.
void TSignatureScanner::OnCentralHeader(int64_t at) {
    unsigned char fixed[CentralHeaderSize];
    // Only as many as can match an entry, with room for a directory that
    // comes before its entries: back-to-back directory headers cost no more
    // memory than the entries they could describe.
    if (FFound.CentralHeaders.size() >=
            std::min(FMax, FFound.LocalHeaders.size() + MaxLeadingCentrals) ||
        FWindow.Fetch(at, fixed, CentralHeaderSize) < CentralHeaderSize)
        return;
    TCentralHeader r;
    TByteCursor cursor(fixed, sizeof fixed);
    if (!DecodeFileHeader(cursor, THeaderKind::Central, r))
        return;
    r.Offset = at;
    int64_t nameAt = at + CentralHeaderSize;
    if (nameAt + r.NameLength > FWindow.FileSize())
        return;
    r.NameHash = NameHash(FWindow.FetchString(nameAt, r.NameLength));
    if (r.CompressedSize == Zip64Marker32 || r.UncompressedSize == Zip64Marker32 ||
        r.LocalOffset == Zip64Marker32)
        DecodeExtraField(r, FWindow.FetchString(r.ExtraOffset(), r.ExtraLength));
    // In an archive read from its parts, a local header's offset counts from
    // the start of the part its disk number names; from here on it counts
    // from the start of the stream, as the local headers found do.
    const std::vector<TInputPart>& parts = FWindow.Input().Parts();
    if (uint16_t disk = CentralHeaderDiskStart(fixed); disk < parts.size())
        r.LocalOffset += parts[disk].Start;
    FFound.CentralHeaders.push_back(r);
}

void TSignatureScanner::OnEndRecord(int64_t at) {
    if (FFound.EndRecords.size() >= MaxEndRecords)
        return;
    // One cut off by the end of the file still marks where the directory ends.
    unsigned char fixed[EndRecordSize];
    FWindow.Fetch(at, fixed, sizeof fixed);
    TByteCursor cursor(fixed, sizeof fixed);
    TEndRecord r;
    if (DecodeEndRecord(cursor, at, r))
        FFound.EndRecords.push_back(r);
}

void TSignatureScanner::ReleaseStrings(TLocalHeader& h) {
    FFound.KeptBytes -= h.NameAndExtra.size();
    std::string().swap(h.NameAndExtra);
}

void TSignatureScanner::OnLocalHeader(int64_t at) {
    // The header's 30 fixed bytes must lie in the file.
    unsigned char fixed[LocalHeaderSize];
    if (FWindow.Fetch(at, fixed, LocalHeaderSize) < LocalHeaderSize) {
        // Cut off by the end of the file: no entry, but still where the
        // previous entry's data and unsigned descriptor end.
        OnRecordBoundary(at);
        return;
    }
    TLocalHeader h;
    TByteCursor cursor(fixed, sizeof fixed);
    DecodeFileHeader(cursor, THeaderKind::Local, h);
    h.Offset = at;
    if ((h.VersionNeeded & 0xFF) > 63)
        return; // a version the format has not reached: a stray signature
    // Methods beyond those the format defines are kept (a writer's own, such
    // as symbolic links stored with a private number) when the name shows a
    // writer made the header.
    if (!IsKnownMethod(h.Method) &&
        !IsPlainName(FWindow.FetchString(at + LocalHeaderSize, h.NameLength)))
        return;
    // Before taking it as an entry: 12 or 20 bytes in front of it may be an
    // unsigned descriptor that ends the previous entry.
    OnRecordBoundary(at);
    if (FFound.LocalHeaders.size() >= FMax) {
        ++FFound.Dropped;
        return;
    }
    // A header whose name and extra field would hold this one is no entry
    // (the resolver skips it): its strings go now, so that a file of headers
    // claiming long names costs no more memory than it has headers.
    if (!FFound.LocalHeaders.empty() && FFound.LocalHeaders.back().DataStart() > at)
        ReleaseStrings(FFound.LocalHeaders.back());
    if (FFound.KeptBytes + h.NameLength + h.ExtraLength >
        MaxKeptNameBytes + KeptNameBytesPerEntry * FFound.LocalHeaders.size()) {
        FFound.OutOfMemory = true;
        return;
    }

    h.NameAndExtra =
        FWindow.FetchString(at + LocalHeaderSize, size_t(h.NameLength) + h.ExtraLength);
    if (h.ExtraLength > 0)
        DecodeExtraField(h, h.ExtraField());
    // An uncompressed size of all ones that no zip64 field explains is unknown.
    if (h.UncompressedSize == Zip64Marker32)
        h.UncompressedSize = -1;
    if (h.Flags & FlagDataDescriptor)
        FFound.Descriptors.try_emplace(h.DataStart(), TDescriptorSlot{h.Zip64, {}, {}});
    FFound.KeptBytes += h.NameAndExtra.size();
    FFound.LocalHeaders.push_back(std::move(h));
}

void TSignatureScanner::OnDescriptorSignature(int64_t q) {
    if (FFound.Descriptors.empty())
        return;
    unsigned char d[24];
    size_t have = FWindow.Fetch(q, d, sizeof d);
    for (bool zip64 : {false, true}) {
        TByteCursor cursor(d, std::min(have, sizeof d));
        TDataDescriptor found;
        if (DecodeDataDescriptor(cursor, q, true, zip64, found))
            Offer(found);
    }
}

// A descriptor written without its signature is only recognisable by where it
// ends: right before the next local header, central directory header or the
// end of the file.
void TSignatureScanner::OnRecordBoundary(int64_t at) {
    if (FFound.Descriptors.empty())
        return;
    for (bool zip64 : {false, true}) {
        int length = zip64 ? 20 : 12;
        if (at < length)
            continue;
        unsigned char d[20];
        FWindow.Fetch(at - length, d, static_cast<size_t>(length));
        TByteCursor cursor(d, static_cast<size_t>(length));
        TDataDescriptor found;
        if (DecodeDataDescriptor(cursor, at - length, false, zip64, found))
            Offer(found);
    }
}

// A descriptor is kept when it fits a header seen before: that header's data
// starts exactly the compressed size in front of the descriptor.
void TSignatureScanner::Offer(const TDataDescriptor& d) {
    if (d.CompressedSize > static_cast<uint64_t>(d.Offset))
        return;
    auto it = FFound.Descriptors.find(d.Offset - static_cast<int64_t>(d.CompressedSize));
    if (it == FFound.Descriptors.end() || it->second.Zip64 != d.Zip64)
        return;
    // A descriptor must end inside the file (it may end exactly at its end).
    if (d.Offset + d.Length > FWindow.FileSize())
        return;
    TDataDescriptor& slot = d.Signed ? it->second.Signed : it->second.Unsigned;
    if (slot.Offset < 0)
        slot = d;
}

} // namespace

int64_t NextDirectoryRecord(const TScanEvidence& found, int64_t from) {
    auto it = std::upper_bound(found.CentralHeaders.begin(), found.CentralHeaders.end(), from,
                               [](int64_t at, const TCentralHeader& r) { return at < r.Offset; });
    int64_t next = it == found.CentralHeaders.end() ? -1 : it->Offset;
    // Only the first end record counts: a later one lies inside what the
    // first one ends or in a comment.
    int64_t end = found.EndRecords.empty() ? -1 : found.EndRecords.front().Offset;
    if (end > from && (next < 0 || end < next))
        next = end;
    return next;
}

uint64_t NameHash(std::string_view name) {
    return std::hash<std::string_view>{}(name);
}

void ScanSignatures(TReadWindow& window, size_t maxHeaders, const TScanTick& tick,
                    TScanEvidence& result) {
    TSignatureScanner scanner(window, maxHeaders, result);
    int64_t base = 0;
    int64_t size = window.FileSize();
    while (base < size) {
        size_t len = window.Load(base);
        if (len == 0)
            break;
        scanner.SearchBlock();
        base += static_cast<int64_t>(len);
        result.ScannedTo = base;
        if (!tick(base, result.LocalHeaders.size()) || result.OutOfMemory)
            return;
    }
    scanner.AtEndOfFile();
}

} // namespace tessary
