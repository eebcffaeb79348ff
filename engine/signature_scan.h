// signature_scan.h -- the scan: one read of the damaged file that collects
// the evidence of every record it holds. What is found is kept as found;
// deciding which local headers are entries is the resolver's.
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

// The data descriptors that fit one local header, keyed by the header's
// first data byte. Signed ones take precedence; of each kind the first in
// file order counts.
struct TDescriptorSlot {
    bool Zip64 = false; // the header's descriptor carries 64-bit sizes
    TDataDescriptor Signed;
    TDataDescriptor Unsigned;
};

// Everything the scan found, in file order. Only the scan adds to it, and
// only at the back, so the resolver can read the front while the scan goes
// on; the resolver adds only the headers it makes, once the scan is over.
struct TScanEvidence {
    // Every local header whose fields are possible.
    std::deque<TLocalHeader> LocalHeaders;
    // Central directory headers, as many as can match a local header.
    std::vector<TCentralHeader> CentralHeaders;
    // Descriptors that fit a local header: their compressed size is their
    // distance from the header's first data byte.
    std::unordered_map<int64_t, TDescriptorSlot> Descriptors;
    std::vector<TEndRecord> EndRecords; // the first ones
    // Local headers made from central headers for entries whose own was
    // destroyed: the entries point to them.
    std::deque<TLocalHeader> Rebuilt;
    uint64_t Dropped = 0;     // local headers beyond the entry limit, not kept
    int64_t ScannedTo = 0;    // bytes of the file searched
    size_t KeptBytes = 0;     // names and extra fields held by local headers
    bool OutOfMemory = false; // the scan stopped at its memory budget
};

// Bytes of names and extra fields the local headers of one scan may hold at
// once: a fixed budget plus an allowance per header, so that archives of
// many entries with ordinary names always fit. A file whose headers would
// need more is scanned only so far.
inline constexpr size_t MaxKeptNameBytes = 48u << 20;
inline constexpr size_t KeptNameBytesPerEntry = 128;

uint64_t NameHash(std::string_view name);

// The first central directory header or end record behind `from`, or -1.
int64_t NextDirectoryRecord(const TScanEvidence& found, int64_t from);

// Called after each block with the bytes searched so far and the local
// headers found; false stops the scan. Between blocks the evidence may be
// read.
using TScanTick = std::function<bool(int64_t scanned, uint64_t found)>;

void ScanSignatures(TReadWindow& window, size_t maxHeaders, const TScanTick& tick,
                    TScanEvidence& evidence);

} // namespace tessary
