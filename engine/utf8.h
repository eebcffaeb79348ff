// utf8.h -- well-formed UTF-8, as names flagged UTF-8 must be and as the
// texts shown of names are made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessary {

// Length of the well-formed UTF-8 sequence at s[i] (no overlong forms, no
// surrogates, nothing beyond U+10FFFF), with its code point; 0 when the
// bytes there are no such sequence.
size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t* codePoint = nullptr);
bool IsValidUtf8(std::string_view s);

} // namespace tessary
