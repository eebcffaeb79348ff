// view_format.cpp -- entry sizes as text.
#include "view_format.h"

#include "file_info.h"

#include <cstdio>

namespace tessary {

std::string FormatFileSize(int64_t size) {
    if (size == -1)
        return {};
    double x = static_cast<double>(size) / 1024;
    const char* unit = "%0.2f kb";
    if (x > 1000) {
        x /= 1024;
        unit = "%0.2f Mb";
        if (x > 1000) {
            x /= 1024;
            unit = "%0.2f Gb";
        }
    }
    char text[64];
    std::snprintf(text, sizeof text, unit, x);
    return text;
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

} // namespace tessary
