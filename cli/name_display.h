// name_display.h -- entry names as UTF-8 text for the terminal and JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessary::cli {

// Names flagged as UTF-8 (flag bit 11) are shown as they are, with invalid
// sequences replaced; all others are taken as code page 437, the code page
// ZIP names use without that flag. The stored name is never changed.
std::string DisplayName(std::string_view raw, uint16_t flags);

} // namespace tessary::cli
