// lng_choice.cpp -- choosing the language file and remembering the choice.
#include "lng.h"

#include "dir_enum.h"
#include "lng_state.h"
#include "paths.h"
#include "program_info.h"
#include "settings.h"
#include "user_registry.h"

#include <sys/stat.h>

namespace tessary {

namespace {

// Language files are searched relative to the current folder, while the
// paths kept for them are built from the program's folder.
constexpr const char* kLngFolder = "lng/";
constexpr const char* kLngPattern = "lng/*.lng";
constexpr const char* kNoChoice = "-1";

// Language files are small; anything else found under the name (a FIFO, a
// device, a huge file) would hang or exhaust the start-up, so it is skipped.
constexpr off_t kMaxLngFileSize = 64 * 1024;

std::string gLngFile;
std::vector<std::string> gLngList;

bool IsLanguageFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxLngFileSize;
}

// "LngID" or "title" of a language file's section "fileinfo"; empty for a
// file that is not a language file.
std::string ReadFileInfo(const std::string& name, const std::string& key) {
    const std::string path = std::string(kLngFolder) + name;
    return IsLanguageFile(path) ? IniReadStringFrom("fileinfo", key, "", path) : std::string();
}

} // namespace

const std::string& LngFile() {
    return gLngFile;
}
const std::vector<std::string>& LngList() {
    return gLngList;
}
void ClearLngFile() {
    gLngFile.clear();
}

std::string GetRegLanguageID() {
    // Only read, so no folder is made for it: a missing key that could be
    // made reads as one without a language; English stands in where it could
    // not be.
    if (!TUserRegKey::CanOpen(GetRegKey()))
        return "1033";
    const auto key = TUserRegKey::Open(GetRegKey(), false);
    return key ? key->ReadString("Lng").value_or(std::string()) : std::string();
}

void FillLanguageList() {
    gLngList.clear();
    gLngList.push_back("English (default)|");
    for (const std::string& name : FindMatchingEntries(kLngPattern)) {
        const std::string title = ReadFileInfo(name, "title");
        if (!title.empty())
            gLngList.push_back(title + "|" + ProgramFolder() + kLngFolder + name);
    }
}

void LoadLanguage() {
    FillLanguageList();
    const std::string saved = IniReadString("Main", "Lng", kNoChoice);
    gLngFile = saved;
    if (saved != kNoChoice) {
        // A remembered choice is taken as it is; whether the file still
        // exists does not matter, as no text is read from it.
        gLngFile = ProgramFolder() + kLngFolder + saved;
        return;
    }
    const std::string id = GetRegLanguageID();
    if (id.empty()) {
        gLngFile.clear();
        return;
    }
    for (const std::string& name : FindMatchingEntries(kLngPattern)) {
        if (ReadFileInfo(name, "LngID") == id) {
            gLngFile = ProgramFolder() + kLngFolder + name;
            break;
        }
    }
    // Remember the outcome at once, in the form the exit writes it, so a run
    // that never reaches its orderly exit leaves the same choice behind.
    IniWriteString("main", "lng", ExtractFileName(gLngFile));
}

void SaveLanguage() {
    gLngList.clear();
    IniWriteString("Main", "Lng", ExtractFileName(gLngFile));
}

} // namespace tessary
