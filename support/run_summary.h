// run_summary.h -- the sentences that say how a scan was cut short by one of
// its limits, as both front ends show them, UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

// The sentences that apply to a scan, in the order they are shown: one for
// the headers `dropped` beyond the entry limit, one when the scan stopped at
// its memory limit. None for a scan that reached the end within both limits.
std::vector<std::string> CutShortTexts(uint64_t dropped, bool stoppedByMemory);

} // namespace tessary
