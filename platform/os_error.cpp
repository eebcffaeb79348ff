// os_error.cpp -- the system's own words for an error number.
#include "os_error.h"

#include <cstring>
#include <type_traits>

namespace tessary {

std::string SysErrorText(int code) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
    // Gives no text at all for numbers the library does not know, where
    // strerror would invent "Unknown error N".
    const char* text = strerrordesc_np(code);
    return text ? std::string(text) : std::string();
#else
    char buffer[256] = {};
    auto keep = [&](auto result) -> std::string {
        if constexpr (std::is_same_v<decltype(result), char*>)
            return result ? std::string(result) : std::string(); // GNU strerror_r
        else
            return result == 0 ? std::string(buffer) : std::string(); // XSI strerror_r
    };
    return keep(strerror_r(code, buffer, sizeof buffer));
#endif
}

} // namespace tessary
