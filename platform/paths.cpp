// paths.cpp -- splitting and joining file names.
#include "paths.h"

namespace tessary {

std::string ExtractFilePath(std::string_view fileName) {
    const auto slash = fileName.rfind('/');
    return slash == std::string_view::npos ? std::string()
                                           : std::string(fileName.substr(0, slash + 1));
}

std::string ExtractFileName(std::string_view fileName) {
    const auto slash = fileName.rfind('/');
    return std::string(slash == std::string_view::npos ? fileName : fileName.substr(slash + 1));
}

std::string ChangeFileExt(std::string_view fileName, std::string_view ext) {
    const auto slash = fileName.rfind('/');
    const auto dot = fileName.rfind('.');
    const bool hasExt =
        dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash);
    std::string result(hasExt ? fileName.substr(0, dot) : fileName);
    result += ext;
    return result;
}

std::string IncludeTrailingDelimiter(std::string_view folder) {
    std::string result(folder);
    if (!result.empty() && result.back() != '/')
        result += '/';
    return result;
}

} // namespace tessary
