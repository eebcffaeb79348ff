// signature_scan.h -- the first pass of a scan: one read of the damaged file
// that collects every plausible local file header and, for entries that
// announce a data descriptor, the descriptors that fit them.
#pragma once

#include "file_info.h"
#include "read_window.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessary {

// A data descriptor that fits an entry: its compressed size equals its
// distance from the entry's first data byte.
struct TDescriptorHit {
    int64_t Offset = -1; // where the descriptor starts; -1: none
    int Length = 0;      // 12, 16, 20 or 24 bytes
    uint32_t Crc32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
};

// Descriptor candidates of one entry, keyed by the entry's first data byte.
// Signed ones take precedence; of each kind the first in file order counts.
struct TDescriptorSlot {
    bool Zip64 = false; // the entry's descriptor carries 64-bit sizes
    TDescriptorHit Signed;
    TDescriptorHit Unsigned;
};

// A local header as found, before the second pass decides whether it is an
// entry: the record as read, plus where its data begins.
struct TCandidate {
    TFileInfo Info;
    int64_t DataStart = 0;
    uint32_t RawCompressedSize = 0; // the 32-bit field, before zip64 sizes
};

// A central directory header as found: what a repaired entry can take back
// from it. Its name is kept as a hash; its extra field and comment are read
// again only for the entries it matches.
struct TCentralRecord {
    int64_t Offset = 0; // of its signature in the damaged file
    uint64_t NameHash = 0;
    uint32_t Crc32 = 0;
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    int64_t LocalOffset = 0; // as recorded: relative to the archive's own start
    uint32_t ExternalAttributes = 0;
    uint16_t VersionMadeBy = 0;
    uint16_t Flags = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
};

struct TSignatureScanResult {
    // In file order; the resolver may take candidates from the front while
    // the scan goes on, so Found counts them all.
    std::deque<TCandidate> Candidates;
    size_t Found = 0;
    std::vector<TCentralRecord> Centrals; // in file order
    int64_t FirstEndRecord = -1;          // offset of the first end record signature
    std::unordered_map<int64_t, TDescriptorSlot> Descriptors;
    uint64_t Dropped = 0;     // headers beyond the entry limit
    int64_t ScannedTo = 0;    // bytes of the file searched
    size_t KeptBytes = 0;     // names and extra fields held by candidates
    bool OutOfMemory = false; // the scan stopped at its memory budget
};

// Bytes of names and extra fields the candidates of one scan may hold at
// once: a fixed budget plus an allowance per candidate, so that archives of
// many entries with ordinary names always fit. A file whose headers would
// need more is scanned only so far.
inline constexpr size_t MaxKeptNameBytes = 48u << 20;
inline constexpr size_t KeptNameBytesPerEntry = 128;

uint64_t NameHash(std::string_view name);

// The first central directory header or end record behind `from`, or -1.
int64_t NextDirectoryRecord(const TSignatureScanResult& found, int64_t from);

// Called after each block with the bytes searched so far and the headers
// found; false stops the scan. Between blocks the result may be read and its
// candidates taken from the front.
using TScanTick = std::function<bool(int64_t scanned, uint64_t found)>;

void ScanSignatures(TReadWindow& window, size_t maxCandidates, const TScanTick& tick,
                    TSignatureScanResult& result);

} // namespace tessary
