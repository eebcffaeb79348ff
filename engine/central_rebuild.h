// central_rebuild.h -- entries whose local header was destroyed (a zeroed
// block, a bad sector) while their central directory header survived: the
// directory tells where the data lies and what it decodes to, and an entry
// is made from it where the data proves it.
#pragma once

#include "central_match.h"
#include "read_window.h"
#include "signature_scan.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace tessary {

// Appends to `entries` one entry for each central header that no entry took
// (see `match`) whose data is found where its local header lay, moved by the
// archive's shift: past a header still there whose name length is the
// directory's, or where the lost header's name and extra field would have
// ended it. The data must decode to the CRC-32 and size the directory
// records. Headers that `excluded` names (by their offset), that lie in an
// entry's record, or whose data would overlap one are passed over. The local
// headers the new entries refer to are kept in `made`.
void RebuildFromCentral(const TScanEvidence& found, TReadWindow& window, const TCentralMatch& match,
                        const std::function<bool(int64_t)>& excluded,
                        std::deque<TLocalHeader>& made, std::deque<TFileInfo>& entries);

} // namespace tessary
