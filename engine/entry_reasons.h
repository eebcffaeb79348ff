// entry_reasons.h -- why the repair wrote an entry as it did, where that
// differs from what its local header says: the words --json and the lists
// show beside an entry.
#pragma once

#include "file_info.h"

#include <string>
#include <vector>

namespace tessary {

// One line per conclusion that did not come from the local header, e.g.
// "sizes from data descriptor at 0x1234"; empty for an entry written as its
// header says.
std::vector<std::string> EntryReasons(const TFileInfo& e);

} // namespace tessary
