// help_topics.cpp -- the help folder and its pages by context number.
#include "help_topics.h"

#include <filesystem>
#include <system_error>

namespace tessary {

namespace {

std::string WithTrailingSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

} // namespace

std::string HelpTopicFile(int32_t context) {
    switch (context) {
    case HelpContextWelcome:
        return "welcome.html";
    case HelpContextSelection:
        return "selection.html";
    case HelpContextResults:
        return "results.html";
    case HelpContextFinish:
        return "finish.html";
    default:
        return "index.html";
    }
}

std::string InstalledHelpFromProgram() {
    return WithTrailingSlash(TESSARY_INSTALLED_HELP);
}

std::string HelpFolder(const std::string& programFolder) {
    const std::string program = WithTrailingSlash(programFolder);
    const std::string beside = program + "help/";
    if (IsFolder(beside)) {
        return beside;
    }
    const std::string installed = InstalledHelpFromProgram();
    const std::string candidate = installed.starts_with('/') ? installed : program + installed;
    if (IsFolder(candidate)) {
        return candidate;
    }
    return beside;
}

std::string HelpTopicPath(const std::string& helpFolder, int32_t context) {
    return WithTrailingSlash(helpFolder) + HelpTopicFile(context);
}

} // namespace tessary
