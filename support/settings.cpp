// settings.cpp -- the program's folder and its settings file "velm.ini".
#include "settings.h"

#include "atomic_file.h"
#include "paths.h"
#include "profile_file.h"
#include "program_path.h"
#include "state_folder.h"

namespace tessary {

namespace {
std::string gProgramFolder;
std::string gSettingsFile;
constexpr const char* kSettingsName = "velm.ini";
} // namespace

void InitSettings() {
    InitSettings(ExtractFilePath(ProgramFilePath()));
    // An installed program keeps its settings in the user's configuration
    // folder; its own folder is shared and usually not writable.
    gSettingsFile = StateFolder(TStateKind::Settings) + kSettingsName;
}

void InitSettings(const std::string& programFolder) {
    gProgramFolder = IncludeTrailingDelimiter(programFolder);
    gSettingsFile = gProgramFolder + kSettingsName;
}

const std::string& ProgramFolder() {
    return gProgramFolder;
}
const std::string& SettingsFile() {
    return gSettingsFile;
}

std::string IniReadString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
    return IniReadStringFrom(section, key, defaultValue, gSettingsFile);
}

void IniWriteString(const std::string& section, const std::string& key, const std::string& value) {
    // The user's own folders: private, as the XDG base folders are meant to be.
    ForceFolders(ExtractFilePath(gSettingsFile), 0700);
    WriteProfileString(gSettingsFile, section, key, value);
}

std::string IniReadStringFrom(const std::string& section, const std::string& key,
                              const std::string& defaultValue, const std::string& fileName) {
    return ReadProfileString(fileName, section, key, defaultValue);
}

} // namespace tessary
