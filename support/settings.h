// settings.h -- the program's folder and its settings file "velm.ini".
#pragma once

#include <string>

namespace tessary {

// Sets ProgramFolder to the folder of the running program and SettingsFile to
// "velm.ini" in it, or, for an installed program, in the user's configuration
// folder (see StateFolder).
void InitSettings();
// The same for a given folder (a trailing "/" is added when missing); lets a
// test or an embedding program keep its settings elsewhere.
void InitSettings(const std::string& programFolder);

const std::string& ProgramFolder(); // with a trailing "/"
const std::string& SettingsFile();  // "velm.ini" in its folder

// The value of `key` in `section` of SettingsFile, or `defaultValue` when the
// file, section or key is missing. At most 1023 characters.
std::string IniReadString(const std::string& section, const std::string& key,
                          const std::string& defaultValue);
// Writes the value to SettingsFile, creating its folder, file, section or key
// as needed.
// A failure leaves the file as it was and is not reported.
void IniWriteString(const std::string& section, const std::string& key, const std::string& value);
// As IniReadString, from the named file.
std::string IniReadStringFrom(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& fileName);

} // namespace tessary
