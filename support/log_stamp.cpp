// log_stamp.cpp -- the environment's time formats, for stamping log lines.
#include "log_stamp.h"

#include "tlog.h"

#include <ctime>

namespace tessary {

TTimeFormats::TTimeFormats() {
    FLocale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (FLocale == static_cast<locale_t>(0))
        FLocale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
}

TTimeFormats::~TTimeFormats() {
    if (FLocale != static_cast<locale_t>(0))
        freelocale(FLocale);
}

std::string TTimeFormats::Stamp(std::chrono::system_clock::time_point time) const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    // "%x" and "%X" are the locale's short date and its time with seconds.
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    const char* format = midnight ? "%x" : "%x %X";
    char buffer[256];
    const std::size_t length = FLocale != static_cast<locale_t>(0)
                                   ? strftime_l(buffer, sizeof buffer, format, &local, FLocale)
                                   : std::strftime(buffer, sizeof buffer, format, &local);
    return std::string(buffer, length);
}

std::string FormatLogStamp(std::chrono::system_clock::time_point time) {
    return TTimeFormats().Stamp(time);
}

} // namespace tessary
