// user_registry.cpp -- the per-user registry store (HKEY_CURRENT_USER).
#include "user_registry.h"

#include "atomic_file.h"
#include "paths.h"
#include "profile_file.h"

#include <cctype>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

namespace {

// The key's values sit in this file of the key's folder, in this section.
constexpr const char* kValuesFile = "values.ini";
constexpr const char* kValuesSection = "Values";

std::string ConfigHome() {
    // A relative XDG_CONFIG_HOME is to be ignored, like an unset one.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return IncludeTrailingDelimiter(xdg);
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] == '/')
        home = env;
    else if (const passwd* user = getpwuid(getuid()); user && user->pw_dir)
        home = user->pw_dir;
    if (home.empty())
        return {};
    return IncludeTrailingDelimiter(home) + ".config/";
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

} // namespace

std::string UserRegKeyFolder(std::string_view keyPath) {
    std::string folder = ConfigHome();
    if (folder.empty())
        return folder;
    // "SOFTWARE\Maker\Program\" becomes "Maker/Program/": the configuration
    // folder already is the per-user software branch.
    bool first = true;
    while (!keyPath.empty()) {
        const auto slash = keyPath.find('\\');
        const std::string_view part = keyPath.substr(0, slash);
        keyPath.remove_prefix(slash == std::string_view::npos ? keyPath.size() : slash + 1);
        if (part.empty() || part == "." || part == "..")
            continue; // never leave the configuration folder
        if (first && SameText(part, "SOFTWARE")) {
            first = false;
            continue;
        }
        first = false;
        folder.append(part);
        folder += '/';
    }
    return folder;
}

std::optional<TUserRegKey> TUserRegKey::Open(std::string_view keyPath, bool create) {
    const std::string folder = UserRegKeyFolder(keyPath);
    if (folder.empty())
        return std::nullopt;
    struct stat info {};
    const bool exists = stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    if (!exists && !(create && ForceFolders(folder)))
        return std::nullopt;
    return TUserRegKey(folder);
}

bool TUserRegKey::CanOpen(std::string_view keyPath) {
    std::string folder = UserRegKeyFolder(keyPath);
    while (!folder.empty()) {
        folder.pop_back(); // the trailing "/"
        if (folder.empty())
            folder = "/";
        struct stat info {};
        if (stat(folder.c_str(), &info) == 0)
            return S_ISDIR(info.st_mode) && access(folder.c_str(), W_OK | X_OK) == 0;
        folder = ExtractFilePath(folder);
    }
    return false;
}

std::optional<std::string> TUserRegKey::ReadString(const std::string& name) const {
    // A value no default can stand for: a line holding it cannot contain a
    // line end, so this never comes back from a real value.
    static const std::string absent("\n");
    std::string value = ReadProfileString(FFolder + kValuesFile, kValuesSection, name, absent);
    if (value == absent)
        return std::nullopt;
    return value;
}

bool TUserRegKey::WriteString(const std::string& name, const std::string& value) const {
    return WriteProfileString(FFolder + kValuesFile, kValuesSection, name, value);
}

} // namespace tessary
