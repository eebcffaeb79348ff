// language_choice_test.cpp -- choosing the language file across runs, through
// the registry's language id, the "lng" folder and the settings file.
#include "dir_enum.h"
#include "lng.h"
#include "modules.h"
#include "profile_file.h"
#include "settings.h"
#include "user_registry.h"

#include "test_helpers.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessary {
namespace {

using test::WriteFile;

class LanguageChoice : public ::testing::Test {
protected:
    void TearDown() override { ClearLngTables(); }

    void WriteLng(const std::string& folder, const std::string& name, const std::string& id,
                  const std::string& title) {
        WriteFile(folder + "lng/" + name,
                  "[FileInfo]\r\nLngID=" + id + "\r\ntitle=" + title + "\r\n[Strings]\r\n1=x\r\n");
    }
    void SetRegistryId(const std::string& id) {
        const auto key = TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", true);
        ASSERT_TRUE(key);
        ASSERT_TRUE(key->WriteString("Lng", id));
    }
    std::string Saved() {
        return ReadProfileString(FProgram + "velm.ini", "Main", "Lng", "<absent>");
    }
    std::string RunOnce() {
        StartModulesAt(FProgram);
        const std::string chosen = LngFile();
        StopModules();
        return chosen;
    }

    test::TTempFolder FTemp;
    std::string FProgram = FTemp.Path() + "program/";
    test::TScopedEnv FConfig{"XDG_CONFIG_HOME", FTemp.Path() + "config"};
    bool FMade = std::filesystem::create_directories(FProgram);
    test::TScopedCurrentFolder FCurrent{FProgram};
};

TEST_F(LanguageChoice, FirstRunChoosesByRegistryIdAndLaterRunsRemember) {
    SetRegistryId("1033");
    WriteLng(FProgram, "deutsch.lng", "1031", "Deutsch");
    WriteLng(FProgram, "english.lng", "1033", "English");
    WriteLng(FProgram, "untitled.lng", "1049", "");

    StartModulesAt(FProgram);
    EXPECT_EQ(LngFile(), FProgram + "lng/english.lng");
    std::vector<std::string> list = LngList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], "English (default)|");
    std::sort(list.begin() + 1, list.end());
    EXPECT_EQ(list[1], "Deutsch|" + FProgram + "lng/deutsch.lng");
    EXPECT_EQ(list[2], "English|" + FProgram + "lng/english.lng");
    EXPECT_EQ(GetLngString(119), "Excellent");
    StopModules();

    EXPECT_EQ(Saved(), "english.lng");
    EXPECT_EQ(LngFile(), "");
    EXPECT_EQ(GetLngString(119), "");
    EXPECT_TRUE(LngList().empty());

    // The remembered name wins over a changed registry id.
    SetRegistryId("1031");
    EXPECT_EQ(RunOnce(), FProgram + "lng/english.lng");
    EXPECT_EQ(Saved(), "english.lng");
}

TEST_F(LanguageChoice, RememberedNameIsTakenWithoutAskingTheRegistry) {
    WriteFile(FProgram + "velm.ini", "[Main]\r\nLng=gone.lng\r\n");
    EXPECT_EQ(RunOnce(), FProgram + "lng/gone.lng");
    EXPECT_FALSE(std::filesystem::exists(FTemp.Path() + "config"));
    EXPECT_EQ(Saved(), "gone.lng");
}

TEST_F(LanguageChoice, EmptyRegistryIdLeavesAnEmptyChoiceForGood) {
    WriteLng(FProgram, "english.lng", "1033", "English");
    EXPECT_EQ(RunOnce(), "");
    // The registry is only read: nothing is made for a key that is missing.
    EXPECT_FALSE(std::filesystem::exists(FTemp.Path() + "config"));
    EXPECT_EQ(Saved(), "");
    SetRegistryId("1033");
    EXPECT_EQ(RunOnce(), FProgram + "lng/");
    EXPECT_EQ(Saved(), "");
}

TEST_F(LanguageChoice, NoMatchingFileKeepsMinusOneDuringAndAfterTheRun) {
    SetRegistryId("1049");
    WriteLng(FProgram, "english.lng", "1033", "English");
    StartModulesAt(FProgram);
    EXPECT_EQ(LngFile(), "-1");
    EXPECT_EQ(Saved(), "-1"); // even a run that never ends orderly searches again
    StopModules();
    EXPECT_EQ(Saved(), "-1");
}

// Whatever lies in "lng/" under a language file's name -- a FIFO without a
// writer, a link to one, a folder, a file too large to be one -- is passed
// over: start-up neither hangs nor reads it. The alarm turns a hang into a
// failure.
TEST_F(LanguageChoice, OnlySmallRegularFilesAreReadAsLanguageFiles) {
    SetRegistryId("1033");
    const std::string lng = FProgram + "lng/";
    std::filesystem::create_directories(lng + "folder.lng");
    ASSERT_EQ(::mkfifo((lng + "a-fifo.lng").c_str(), 0600), 0);
    std::filesystem::create_symlink("a-fifo.lng", lng + "b-link.lng");
    WriteFile(lng + "c-huge.lng",
              "[FileInfo]\r\nLngID=1033\r\ntitle=Huge\r\n" + std::string(64 * 1024, ';'));
    WriteLng(FProgram, "d-small.lng", "1033", "Small");
    ::alarm(20);
    const std::string chosen = RunOnce();
    ::alarm(0);
    EXPECT_EQ(chosen, FProgram + "lng/d-small.lng");
}

TEST_F(LanguageChoice, RegistryKeyThatCannotBeCreatedMeansUsEnglish) {
    WriteFile(FTemp.Path() + "config", "a file where the folder should be");
    EXPECT_EQ(GetRegLanguageID(), "1033");
    WriteLng(FProgram, "english.lng", "1033", "English");
    EXPECT_EQ(RunOnce(), FProgram + "lng/english.lng");
}

TEST_F(LanguageChoice, OfTwoFilesWithOneIdTheFirstEnumeratedWins) {
    SetRegistryId("1033");
    WriteLng(FProgram, "a.lng", "1033", "A");
    WriteLng(FProgram, "b.lng", "1033", "B");
    WriteLng(FProgram, "c.lng", "1033", "C");
    const std::vector<std::string> order = FindMatchingEntries("lng/*.lng");
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(RunOnce(), FProgram + "lng/" + order[0]);
}

TEST_F(LanguageChoice, SearchLooksBelowTheCurrentFolderButKeepsProgramPaths) {
    const std::string elsewhere = FTemp.Path() + "elsewhere/";
    WriteLng(elsewhere, "english.lng", "1033", "English");
    SetRegistryId("1033");
    test::TScopedCurrentFolder current(elsewhere);
    StartModulesAt(FProgram);
    EXPECT_EQ(LngFile(), FProgram + "lng/english.lng");
    ASSERT_EQ(LngList().size(), 2u);
    EXPECT_EQ(LngList()[1], "English|" + FProgram + "lng/english.lng");
    StopModules();
    EXPECT_EQ(Saved(), "english.lng");
}

TEST_F(LanguageChoice, UnwritableSettingsFileKeepsItsContentQuietly) {
    const std::string before = "[Main]\r\nLng=-1\r\n" + std::string(200, ';') + "\r\n";
    WriteFile(FProgram + "velm.ini", before);
    SetRegistryId("1033");
    WriteLng(FProgram, "english.lng", "1033", "English");
    {
        test::TScopedFileSizeLimit limit(100);
        EXPECT_NO_THROW(RunOnce());
    }
    EXPECT_EQ(test::ReadFile(FProgram + "velm.ini"), before);

    if (!test::PermissionsApply())
        GTEST_SKIP() << "permissions do not stop the superuser";
    std::filesystem::permissions(FProgram, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
    EXPECT_NO_THROW(RunOnce());
    EXPECT_EQ(test::ReadFile(FProgram + "velm.ini"), before);
}

} // namespace
} // namespace tessary
