// run_summary.h -- the sentences that say how a scan was cut short by one of
// its limits, and what it undid of a text-mode transfer's damage, as both
// front ends show them, UTF-8.
#pragma once

#include "text_mode_view.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

// The sentences that apply to a scan, in the order they are shown: one for
// the headers `dropped` beyond the entry limit, one when the scan stopped at
// its memory limit. None for a scan that reached the end within both limits.
std::vector<std::string> CutShortTexts(uint64_t dropped, bool stoppedByMemory);

// "Text-mode transfer damage (every LF had become CR LF) was undone in 9 of
// 10 entries." for `restored` entries of those that showed the damage
// (`restored` + `notRestored`); empty when no damage was found.
std::string TextModeText(TTextModeDamage damage, size_t restored, size_t notRestored);

} // namespace tessary
