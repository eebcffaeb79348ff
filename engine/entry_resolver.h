// entry_resolver.h -- the second pass of a scan: walks the found headers in
// file order and decides which are entries and how far each reaches.
#pragma once

#include "signature_scan.h"

#include <deque>

namespace tessary {

// Moves the accepted candidates into `entries`, grading each and fixing its
// sizes. `fileSize` is the damaged file's size.
void ResolveEntries(TSignatureScanResult& found, int64_t fileSize, std::deque<TFileInfo>& entries);

} // namespace tessary
