// help_topics.h -- where the help lies and which of its pages answers a help
// context number. The help is a folder of HTML pages: "help/" beside the
// program in the build tree, or the installed copy under the data folder.
#pragma once

#include <cstdint>
#include <string>

namespace tessary {

// The help context numbers the wizard's pages carry.
constexpr int32_t HelpContextWelcome = 1;
constexpr int32_t HelpContextSelection = 2;
constexpr int32_t HelpContextResults = 4;
constexpr int32_t HelpContextFinish = 7;

// The page of a context number: "welcome.html" (1), "selection.html" (2),
// "results.html" (4), "finish.html" (7); the contents page "index.html" for a
// number that has no page of its own.
std::string HelpTopicFile(int32_t context);

// The installed help relative to the installed program's folder, as the build
// configured it, with a trailing "/" (for example "../share/tessary/help/").
std::string InstalledHelpFromProgram();

// The help folder for a program in `programFolder`, with a trailing "/": the
// "help" folder beside the program when it exists, else the installed help
// when that exists, else the folder beside the program, so that a missing
// help shows as a missing page in the viewer.
std::string HelpFolder(const std::string& programFolder);

// `helpFolder` followed by the page of `context`.
std::string HelpTopicPath(const std::string& helpFolder, int32_t context);

} // namespace tessary
