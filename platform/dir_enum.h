// dir_enum.h -- directory entries that match a wildcard pattern.
#pragma once

#include <string>
#include <vector>

namespace tessary {

// The names (without folder) of the entries of the folder part of `pattern`
// whose names match its last part ("*" and "?" wildcards, letters compared
// without regard to case), in the order the file system returns them. Every
// entry counts: hidden files, folders and other kinds alike. "lng/*.lng"
// searches "lng" below the current folder. Empty when the folder cannot be read.
std::vector<std::string> FindMatchingEntries(const std::string& pattern);

} // namespace tessary
