// safe_text.cpp -- escaping untrusted text for the terminal and for JSON.
#include "safe_text.h"

#include "utf8.h"

#include <cstdint>
#include <cstdio>

namespace tessary {

namespace {

size_t Utf8Sequence(std::string_view s, size_t i, uint32_t& cp) {
    return Utf8SequenceLength(s, i, &cp);
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
