// state_folder_test.cpp -- an installed program keeps its settings and log in
// the user's XDG folders; a program in a build tree keeps them beside itself.
#include "state_folder.h"
#include "test_helpers.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <ostream>

namespace tessary {
namespace {

struct TStateCase {
    const char* Name;
    bool Installed;
    TStateKind Kind;
    const char* ConfigHome; // "" leaves the variable unset in effect
    const char* StateHome;
    const char* Expected; // "{bin}" the program folder, "{home}" the home folder
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const TStateCase& c, std::ostream* os) {
    *os << c.Name;
}

class StateFolderChoice : public testing::TestWithParam<TStateCase> {};

TEST_P(StateFolderChoice, PicksTheFolderForTheLayout) {
    const TStateCase& c = GetParam();
    test::TTempFolder root;
    const std::string bin = root.Path() + "prefix/bin/";
    const std::string home = root.Path() + "home/";
    std::filesystem::create_directories(bin);
    if (c.Installed)
        std::filesystem::create_directories(bin + TESSARY_DATA_FROM_BINDIR);
    test::TScopedEnv homeEnv("HOME", home);
    test::TScopedEnv configEnv("XDG_CONFIG_HOME", c.ConfigHome);
    test::TScopedEnv stateEnv("XDG_STATE_HOME", c.StateHome);

    std::string expected = c.Expected;
    if (expected.rfind("{bin}", 0) == 0)
        expected = bin + expected.substr(5);
    else if (expected.rfind("{home}", 0) == 0)
        expected = home + expected.substr(6);
    EXPECT_EQ(StateFolderFor(c.Kind, bin), expected);
    EXPECT_EQ(IsInstalledProgramFolder(bin), c.Installed);
}

constexpr TStateKind kSettings = TStateKind::Settings;
constexpr TStateKind kLog = TStateKind::Log;

INSTANTIATE_TEST_SUITE_P(
    Layouts, StateFolderChoice,
    testing::Values(
        TStateCase{"BuildTreeSettingsBesideProgram", false, kSettings, "/xdg/config", "", "{bin}"},
        TStateCase{"BuildTreeLogBesideProgram", false, kLog, "", "/xdg/state", "{bin}"},
        TStateCase{"InstalledSettingsDefault", true, kSettings, "", "", "{home}.config/tessary/"},
        TStateCase{"InstalledLogDefault", true, kLog, "", "", "{home}.local/state/tessary/"},
        TStateCase{"InstalledSettingsFromXdg", true, kSettings, "/xdg/config", "/xdg/state",
                   "/xdg/config/tessary/"},
        TStateCase{"InstalledLogFromXdg", true, kLog, "/xdg/config", "/xdg/state/",
                   "/xdg/state/tessary/"},
        // A relative XDG value is invalid and must not put files below the
        // current folder.
        TStateCase{"RelativeXdgValueIgnored", true, kSettings, "relative/config", "",
                   "{home}.config/tessary/"}),
    [](const testing::TestParamInfo<TStateCase>& info) { return std::string(info.param.Name); });

TEST(StateFolderChoice, UnknownProgramFolderIsNotInstalled) {
    EXPECT_FALSE(IsInstalledProgramFolder(""));
    EXPECT_EQ(StateFolderFor(TStateKind::Log, ""), "");
}

} // namespace
} // namespace tessary
