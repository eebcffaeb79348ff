// modules.cpp -- start-up and shut-down of the support modules.
#include "modules.h"

#include "lng.h"
#include "program_info.h"
#include "program_path.h"
#include "settings.h"

namespace tessary {

namespace {

void StartLanguage() {
    InitLngTables();
    LoadLanguage();
}

} // namespace

void StartModules(int argc, char** argv) {
    SetProgramArgv0(argc > 0 && argv ? argv[0] : nullptr);
    SelectProduct();
    ReadFileVersion();
    InitSettings();
    StartLanguage();
}

void StartModulesAt(const std::string& programFolder) {
    SelectProduct();
    ReadFileVersion();
    InitSettings(programFolder);
    StartLanguage();
}

void StopModules() {
    SaveLanguage();
    ClearLngTables();
}

} // namespace tessary
