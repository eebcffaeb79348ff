// name_display.cpp -- converting raw entry names for display.
#include "name_display.h"

#include "file_info.h"

#include <iconv.h>

namespace tessary::cli {

namespace {

void AppendReplacement(std::string& out) {
    out += "\xEF\xBF\xBD";
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
    auto c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 0;
    return len;
}

std::string SanitizeUtf8(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size();) {
        size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            AppendReplacement(out);
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string FromCodePage437(std::string_view s) {
    iconv_t cd = iconv_open("UTF-8", "CP437");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return SanitizeUtf8(s);
    std::string out(s.size() * 3 + 4, '\0');
    char* in = const_cast<char*>(s.data());
    size_t inLeft = s.size();
    char* dst = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1)) {
            // Code page 437 maps every byte; this only guards against a broken table.
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace

std::string DisplayName(std::string_view raw, uint16_t flags) {
    return (flags & FlagUtf8Name) ? SanitizeUtf8(raw) : FromCodePage437(raw);
}

} // namespace tessary::cli
