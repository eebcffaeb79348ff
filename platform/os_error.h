// os_error.h -- the system's own words for an error number.
#pragma once

#include <string>

namespace tessary {

// The C library's text for the errno value `code`; empty for a value it has
// no text for.
std::string SysErrorText(int code);

} // namespace tessary
