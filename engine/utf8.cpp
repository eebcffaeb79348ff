// utf8.cpp -- the one UTF-8 validator of the project.
#include "utf8.h"

namespace tessary {

size_t Utf8SequenceLength(std::string_view s, size_t i, uint32_t* codePoint) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    if (c < 0x80) {
        if (codePoint)
            *codePoint = c;
        return 1;
    }
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
    if (len == 0 || c > 0xF4 || c == 0xC0 || c == 0xC1 || i + len > s.size())
        return 0;
    uint32_t cp = c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        if ((b(k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(k) & 0x3F);
    }
    unsigned char next = b(1);
    if ((c == 0xE0 && next < 0xA0) || (c == 0xED && next >= 0xA0) || (c == 0xF0 && next < 0x90) ||
        (c == 0xF4 && next >= 0x90))
        return 0; // overlong, surrogate or beyond U+10FFFF
    if (codePoint)
        *codePoint = cp;
    return len;
}

bool IsValidUtf8(std::string_view s) {
    for (size_t i = 0, len = 0; i < s.size(); i += len)
        if ((len = Utf8SequenceLength(s, i)) == 0)
            return false;
    return true;
}

} // namespace tessary
