// entry_text.cpp -- entry sizes, names, status words and file error texts.
#include "entry_text.h"

#include "utf8.h"

#include <array>
#include <clocale>
#include <cstdio>

namespace tessary {

namespace {

constexpr int64_t UnknownSize32 = 0xFFFFFFFF;

// Bytes 0x80 to 0xFF of code page 437; the lower half is ASCII.
constexpr std::array<char16_t, 128> Cp437UpperHalf = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::string FromCodePage437(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        auto byte = static_cast<unsigned char>(c);
        AppendUtf8(out, byte < 0x80 ? char16_t(byte) : Cp437UpperHalf[byte - 0x80]);
    }
    return out;
}

std::string WithReplacements(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t len = Utf8SequenceLength(s, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

} // namespace

std::string LocaleDecimalPoint() {
    const std::lconv* conv = std::localeconv();
    return conv && conv->decimal_point && *conv->decimal_point ? conv->decimal_point : ".";
}

std::string FormatFileSize(int64_t size, std::string_view decimalPoint) {
    if (size == -1 || size == UnknownSize32)
        return {};
    double x = static_cast<double>(size) / 1024;
    const char* unit = " kb";
    if (x > 1000) {
        x /= 1024;
        unit = " Mb";
        if (x > 1000) {
            x /= 1024;
            unit = " Gb";
        }
    }
    // "%.2f" writes the C library's decimal point, which sits between the
    // whole digits and the last two; ours takes its place.
    char number[64];
    int n = std::snprintf(number, sizeof number, "%.2f", x);
    std::string_view written(number, n > 0 ? static_cast<size_t>(n) : 0);
    size_t whole = written.find_first_not_of("-0123456789");
    if (whole == std::string_view::npos || written.size() < 2)
        return std::string(written) + unit;
    std::string text(written.substr(0, whole));
    return text.append(decimalPoint).append(written.substr(written.size() - 2)) + unit;
}

std::string_view StatusWord(int status) {
    switch (status) {
    case StatusExcellent:
        return "Excellent";
    case StatusExtent:
    case StatusNoDescriptor:
        return "Average";
    case StatusName:
        return "Good";
    default:
        return {};
    }
}

std::string EntryNameText(std::string_view raw, uint16_t flags, bool utf8Writer) {
    if (flags & FlagUtf8Name)
        return WithReplacements(raw);
    if (utf8Writer && IsValidUtf8(raw))
        return std::string(raw);
    return FromCodePage437(raw);
}

std::string DefaultRepairedName(std::string_view input) {
    size_t slash = input.find_last_of('/');
    size_t folder = slash == std::string_view::npos ? 0 : slash + 1;
    return std::string(input.substr(0, folder)) + "recovered_" + std::string(input.substr(folder));
}

std::string FileErrorText(TErrorKind kind, std::string_view path, std::string_view reason) {
    std::string text = kind == TErrorKind::OpenInput   ? "Cannot open file \""
                       : kind == TErrorKind::ReadInput ? "Cannot read file \""
                       : kind == TErrorKind::Refused || kind == TErrorKind::OutOfMemory
                           ? "Cannot repair file \""
                           : "Cannot create file \"";
    return text.append(path).append("\". ").append(reason);
}

} // namespace tessary
