// dir_enum.cpp -- directory entries that match a wildcard pattern.
#include "dir_enum.h"

#include "paths.h"

#include <dirent.h>
#include <fnmatch.h>

namespace tessary {

std::vector<std::string> FindMatchingEntries(const std::string& pattern) {
    std::vector<std::string> names;
    const std::string folder = ExtractFilePath(pattern);
    const std::string mask = ExtractFileName(pattern);
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return names;
    // No FNM_PERIOD: a leading dot is an ordinary character, so hidden entries
    // match like any other.
    while (const dirent* entry = readdir(dir)) {
        if (fnmatch(mask.c_str(), entry->d_name, FNM_CASEFOLD) == 0)
            names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

} // namespace tessary
