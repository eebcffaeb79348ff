// view_format.h -- how an entry is shown to the user: its size as text (its
// status word is StatusWord, beside the status codes in file_info.h).
#pragma once

#include <cstdint>
#include <string>

namespace tessary {

// "0.00 kb", "1.50 kb", "1.00 Mb", "1.86 Gb": kilobytes until the value passes
// 1000, then megabytes, then gigabytes, two decimals in the user's locale.
// An unknown size (-1) gives an empty text.
std::string FormatFileSize(int64_t size);

} // namespace tessary
