// modules.h -- start-up and shut-down of the support modules, called by main.
#pragma once

#include <string>

namespace tessary {

// Establishes the program information, the settings file path, the string
// tables and the language choice, in that order. Call first thing in main.
void StartModules(int argc, char** argv);
// The same with the settings kept in `programFolder` instead of the folder of
// the running program.
void StartModulesAt(const std::string& programFolder);

// Saves the language choice to the settings file and clears the tables. Call
// after the last window is gone, as the last thing before main returns.
void StopModules();

} // namespace tessary
