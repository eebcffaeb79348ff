// log_stamp.h -- the environment's time formats, for stamping log lines.
#pragma once

#include <chrono>
#include <locale.h>
#include <string>

namespace tessary {

// The LC_TIME conventions of the environment (LC_ALL, LC_TIME, LANG) as they
// are at construction, without touching the process's global locale; the
// "C" conventions when the environment names no usable locale.
class TTimeFormats {
public:
    TTimeFormats();
    ~TTimeFormats();
    TTimeFormats(const TTimeFormats&) = delete;
    TTimeFormats& operator=(const TTimeFormats&) = delete;

    // The short date, then a space and the long time unless the local time
    // is exactly 00:00:00 (milliseconds aside).
    std::string Stamp(std::chrono::system_clock::time_point time) const;

private:
    locale_t FLocale;
};

} // namespace tessary
