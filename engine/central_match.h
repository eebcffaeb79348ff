// central_match.h -- gives entries back what only the damaged file's central
// directory held: attributes (modes, symbolic links), the system that made
// them, their comments and extra blocks, and the CRC and sizes of an entry
// whose data descriptor was lost.
#pragma once

#include "read_window.h"
#include "signature_scan.h"

#include <deque>
#include <vector>

namespace tessary {

// Bytes of central extra fields and comments copied for all entries together.
inline constexpr size_t MaxKeptCentralBytes = 16u << 20;

// Matches each entry to a central directory header of the same name whose
// CRC-32 and size agree where the entry knows them, and whose local header
// offset, moved by the shift most matches share (a prefix in front of the
// archive moves every offset alike), names the entry's own header.
// An entry whose CRC the repair computed by inflating is checked against
// the header it matches (see central_match.cpp).
void MatchCentralHeaders(const TScanEvidence& found, TReadWindow& window,
                         std::deque<TFileInfo>& entries);

} // namespace tessary
