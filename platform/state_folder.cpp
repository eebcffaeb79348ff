// state_folder.cpp -- where the program keeps its own state files.
#include "state_folder.h"

#include "paths.h"
#include "program_path.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {

namespace {

// The data folder relative to the installed program folder (for example
// "../share/tessary"), or absolute where the install layout names it so.
constexpr const char* kDataFromProgramFolder = TESSARY_DATA_FROM_BINDIR;
constexpr const char* kStateSubfolder = "tessary/";

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
        return entry->pw_dir;
    return {};
}

// An XDG base folder: the variable's value when it is an absolute path (a
// relative one is invalid and ignored), otherwise `fallback` under the home
// folder. Empty when neither is known.
std::string XdgBaseFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/')
        return IncludeTrailingDelimiter(value);
    const std::string home = HomeFolder();
    if (home.empty())
        return {};
    return IncludeTrailingDelimiter(home) + fallback;
}

} // namespace

bool IsInstalledProgramFolder(const std::string& programFolder) {
    if (programFolder.empty())
        return false;
    const std::string data(kDataFromProgramFolder);
    return IsFolder(data.front() == '/' ? data : IncludeTrailingDelimiter(programFolder) + data);
}

std::string StateFolderFor(TStateKind kind, const std::string& programFolder) {
    const std::string beside = IncludeTrailingDelimiter(programFolder);
    if (!IsInstalledProgramFolder(programFolder))
        return beside;
    const std::string base = kind == TStateKind::Settings
                                 ? XdgBaseFolder("XDG_CONFIG_HOME", ".config/")
                                 : XdgBaseFolder("XDG_STATE_HOME", ".local/state/");
    return base.empty() ? beside : base + kStateSubfolder;
}

std::string StateFolder(TStateKind kind) {
    return StateFolderFor(kind, ExtractFilePath(ProgramFilePath()));
}

} // namespace tessary
