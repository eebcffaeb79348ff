// help_topics_test.cpp -- the help pages by context number and where the
// help folder is found, in the build tree and in an installed layout.
#include "help_topics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tessary {
namespace {

namespace fs = std::filesystem;

TEST(HelpTopicFile, OnePagePerContextOfTheWizardAndTheIndexOtherwise) {
    EXPECT_EQ(HelpTopicFile(1), "welcome.html");
    EXPECT_EQ(HelpTopicFile(2), "selection.html");
    EXPECT_EQ(HelpTopicFile(4), "results.html");
    EXPECT_EQ(HelpTopicFile(7), "finish.html");
    for (int32_t context : {0, 3, 5, 6, 8, -1}) {
        EXPECT_EQ(HelpTopicFile(context), "index.html") << "context " << context;
    }
    EXPECT_EQ(HelpTopicPath("/opt/t/help", 4), "/opt/t/help/results.html");
    EXPECT_EQ(HelpTopicPath("/opt/t/help/", 1), "/opt/t/help/welcome.html");
}

// A temporary tree standing in for a build folder or an installation prefix.
class HelpFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Root =
            fs::temp_directory_path() /
            ("tessary-help-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(Root);
        fs::create_directories(Root / "bin");
    }
    void TearDown() override { fs::remove_all(Root); }

    std::string Bin() const { return (Root / "bin").string() + "/"; }

    fs::path Root;
};

TEST_F(HelpFolderTest, HelpBesideTheProgramComesFirst) {
    fs::create_directories(Root / "bin" / "help");
    fs::create_directories(fs::path(Bin() + InstalledHelpFromProgram()));
    EXPECT_EQ(HelpFolder(Bin()), Bin() + "help/");
    // The folder may be given without its trailing delimiter.
    EXPECT_EQ(HelpFolder((Root / "bin").string()), Bin() + "help/");
}

TEST_F(HelpFolderTest, InstalledHelpIsFoundFromTheInstalledProgram) {
    const std::string installed = InstalledHelpFromProgram();
    ASSERT_TRUE(installed.ends_with("/"));
    ASSERT_FALSE(installed.starts_with("/")) << "the installation could not be moved";
    fs::create_directories(fs::path(Bin() + installed));
    const std::string found = HelpFolder(Bin());
    EXPECT_EQ(found, Bin() + installed);
    EXPECT_TRUE(fs::equivalent(found, Root / "share" / "tessary" / "help"));
}

TEST_F(HelpFolderTest, WithoutAnyHelpThePlaceBesideTheProgramIsNamed) {
    // The viewer then reports the missing page; the program adds nothing.
    EXPECT_EQ(HelpFolder(Bin()), Bin() + "help/");
    EXPECT_EQ(HelpTopicPath(HelpFolder(Bin()), 2), Bin() + "help/selection.html");
}

TEST_F(HelpFolderTest, AFileNamedHelpIsNotTheHelpFolder) {
    std::ofstream(Root / "bin" / "help") << "not a folder";
    fs::create_directories(fs::path(Bin() + InstalledHelpFromProgram()));
    EXPECT_EQ(HelpFolder(Bin()), Bin() + InstalledHelpFromProgram());
}

} // namespace
} // namespace tessary
