// oem_codepage.h -- names stored in code page 437, the code page ZIP tools
// have always used for entry names, turned into text for display.
#pragma once

#include <QString>

#include <string_view>

namespace tessary {

// Converts bytes in code page 437 to text. Works on a copy: the bytes stay as
// they are, so the repaired archive can keep them unchanged.
QString OemToUnicode(std::string_view bytes);

} // namespace tessary
