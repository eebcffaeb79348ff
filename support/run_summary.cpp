// run_summary.cpp -- the sentences of a scan cut short.
#include "run_summary.h"

namespace tessary {

std::vector<std::string> CutShortTexts(uint64_t dropped, bool stoppedByMemory) {
    std::vector<std::string> texts;
    if (dropped > 0) {
        texts.push_back(std::to_string(dropped) +
                        " more headers were found beyond the entry limit and left out.");
    }
    if (stoppedByMemory) {
        texts.emplace_back(
            "The scan stopped at its memory limit; the rest of the file was not searched.");
    }
    return texts;
}

std::string TextModeText(TTextModeDamage damage, size_t restored, size_t notRestored) {
    if (damage == TTextModeDamage::None || restored + notRestored == 0)
        return {};
    const char* what = damage == TTextModeDamage::LfBecameCrLf ? "every LF had become CR LF"
                                                               : "every CR LF had become LF";
    return "Text-mode transfer damage (" + std::string(what) + ") was undone in " +
           std::to_string(restored) + " of " + std::to_string(restored + notRestored) +
           (restored + notRestored == 1 ? " entry." : " entries.");
}

} // namespace tessary
