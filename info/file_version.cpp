// file_version.cpp -- the version text, from the version the build stamps in.
#include "program_info.h"

namespace tessary {

namespace {
std::string gProductVersion;
}

const char* BuildFileVersion() {
    // Program files on this platform carry no version record; the build
    // passes the project's four-part version instead.
    return TESSARY_FILE_VERSION;
}

std::string ShortenFileVersion(std::string_view fileVersion) {
    constexpr std::string_view zeros = ".0.0";
    if (fileVersion.ends_with(zeros))
        fileVersion.remove_suffix(zeros.size());
    return std::string(fileVersion);
}

void ApplyFileVersion(std::string_view fileVersion) {
    gProductVersion = ShortenFileVersion(fileVersion);
}

void ReadFileVersion() {
    ApplyFileVersion(BuildFileVersion());
}

const std::string& ProductVersion() {
    return gProductVersion;
}

} // namespace tessary
