// central_match.h -- gives entries back what only the damaged file's central
// directory held: attributes (modes, symbolic links), the system that made
// them, their comments and extra blocks, and the CRC and sizes of an entry
// whose data descriptor was lost.
#pragma once

#include "read_window.h"
#include "signature_scan.h"

#include <deque>
#include <optional>
#include <vector>

namespace tessary {

// Bytes of central extra fields and comments copied for all entries together.
inline constexpr size_t MaxKeptCentralBytes = 16u << 20;

// What the matching leaves for the headers no entry took.
struct TCentralMatch {
    std::vector<char> Taken; // per central header: an entry took it
    // The shift most matched entries share, from the offset a central header
    // records to where its local header lies; absent when nothing matched.
    std::optional<int64_t> Shift;
    // The local extra field's length minus the central one's that most
    // matched entries share: writers put more in one than in the other
    // alike for every entry.
    int ExtraDifference = 0;
    size_t KeptBytes = 0; // of MaxKeptCentralBytes
};

// Matches each entry to a central directory header of the same name whose
// CRC-32 and size agree where the entry knows them, and whose local header
// offset, moved by the shift most matches share (a prefix in front of the
// archive moves every offset alike), names the entry's own header.
// An entry whose CRC the repair computed by inflating is checked against
// the header it matches (see central_match.cpp).
TCentralMatch MatchCentralHeaders(const TScanEvidence& found, TReadWindow& window,
                                  std::deque<TFileInfo>& entries);

} // namespace tessary
