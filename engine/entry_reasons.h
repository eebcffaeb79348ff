// entry_reasons.h -- why the repair wrote an entry as it did, where that
// differs from what its local header says: the words --json and the lists
// show beside an entry.
#pragma once

#include "file_info.h"
#include "streams.h"

#include <string>
#include <vector>

namespace tessary {

// One line per conclusion that did not come from the local header alone,
// e.g. "sizes from data descriptor at 0x1234" or "modes and made-by from
// central header at 0x5678"; empty for an entry written as its header says.
// `fileSize` is the damaged file's; `parts`, for a damaged archive in parts,
// its files, so that an entry in a missing part names it.
std::vector<std::string> EntryReasons(const TFileInfo& e, int64_t fileSize,
                                      const std::vector<TInputPart>& parts = {});

} // namespace tessary
