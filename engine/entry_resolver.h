// entry_resolver.h -- the second pass of a scan: walks the found headers in
// file order and decides which are entries and how far each reaches.
#pragma once

#include "signature_scan.h"

#include <deque>

namespace tessary {

// Moves the accepted candidates into `entries`, grading each and fixing its
// sizes. `window` reads the damaged file where a record's end must be looked
// at, and a stream without its descriptor is inflated to find its end.
void ResolveEntries(TSignatureScanResult& found, TReadWindow& window,
                    std::deque<TFileInfo>& entries);

} // namespace tessary
