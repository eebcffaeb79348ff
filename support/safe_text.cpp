// safe_text.cpp -- escaping untrusted text for the terminal and for JSON.
#include "safe_text.h"

#include <cstdint>
#include <cstdio>

namespace tessary {

namespace {

// Length of the well-formed UTF-8 sequence at s[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0; its code point in `cp`.
size_t Utf8Sequence(std::string_view s, size_t i, uint32_t& cp) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = byte(i);
    size_t len = c < 0x80                 ? 1
                 : c >= 0xC2 && c <= 0xDF ? 2
                 : (c & 0xF0) == 0xE0     ? 3
                 : c >= 0xF0 && c <= 0xF4 ? 4
                                          : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    cp = len == 1 ? c : c & (0xFF >> (len + 1));
    for (size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    constexpr uint32_t MinimumOf[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < MinimumOf[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

bool IsControl(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || IsBidiControl(cp);
}

void AppendOctal(std::string& out, unsigned char c) {
    char esc[5];
    std::snprintf(esc, sizeof esc, "\\%03o", c);
    out += esc;
}

void AppendUnicodeEscape(std::string& out, uint32_t unit) {
    char esc[7];
    std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(unit));
    out += esc;
}

} // namespace

bool IsBidiControl(uint32_t cp) {
    return cp == 0x061C || cp == 0x200E || cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) ||
           (cp >= 0x2066 && cp <= 0x2069);
}

std::string EscapeForText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        size_t len = Utf8Sequence(bytes, i, cp);
        if (len == 0 || IsControl(cp)) {
            // An invalid byte, or every byte of a control character.
            size_t n = len == 0 ? 1 : len;
            for (size_t k = 0; k < n; ++k)
                AppendOctal(out, static_cast<unsigned char>(bytes[i + k]));
            i += n;
        } else if (cp == '\\') {
            out += "\\\\";
            ++i;
        } else {
            out.append(bytes.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string JsonQuoted(std::string_view bytes) {
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        size_t len = Utf8Sequence(bytes, i, cp);
        if (len == 0) {
            AppendUnicodeEscape(out, 0xDC00 + static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        switch (cp) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (IsControl(cp))
                AppendUnicodeEscape(out, cp);
            else
                out.append(bytes.substr(i, len));
        }
        i += len;
    }
    return out + "\"";
}

std::string WithVisibleBidiControls(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t cp = 0;
        size_t len = Utf8Sequence(utf8, i, cp);
        if (len == 0) {
            out += utf8[i++];
            continue;
        }
        if (IsBidiControl(cp))
            AppendUnicodeEscape(out, cp);
        else
            out.append(utf8.substr(i, len));
        i += len;
    }
    return out;
}

} // namespace tessary
