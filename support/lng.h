// lng.h -- the built-in string tables and the choice of a language file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessary {

constexpr int kLngStringCount = 170;
constexpr int kLngErrorCount = 45;

// Fills both tables with their built-in texts (every other slot empty).
void InitLngTables();
// Empties every slot of both tables and clears LngFile.
void ClearLngTables();

// The text of a slot; for a number outside the table the number in decimal.
std::string GetLngString(std::int32_t index);
std::string GetLngError(std::int32_t code);

// Start-up step: lists the language files and chooses one, from the settings
// file or, on a first run, by the language id under the program's registry key.
void LoadLanguage();
// Shut-down step: drops LngList and writes the chosen file's name to the
// settings file (section "Main", key "Lng").
void SaveLanguage();

// Fills LngList: "English (default)|", then "title|path" for each language
// file in "lng/" that has a title.
void FillLanguageList();
// The text value "Lng" under the program's registry key ("" when missing),
// or "1033" when the key cannot be opened or created.
std::string GetRegLanguageID();

const std::string& LngFile();              // chosen file, "-1" for none yet, or empty
const std::vector<std::string>& LngList(); // "title|path" entries

} // namespace tessary
