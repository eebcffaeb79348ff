// user_registry_test.cpp -- the per-user registry store.
#include "user_registry.h"

#include "test_helpers.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

class UserRegistry : public ::testing::Test {
protected:
    test::TTempFolder FTemp;
    test::TScopedEnv FConfig{"XDG_CONFIG_HOME", FTemp.Path() + "config"};
};

TEST_F(UserRegistry, KeyPathMapsBelowTheConfigurationFolder) {
    EXPECT_EQ(UserRegKeyFolder("SOFTWARE\\Quenlor\\Tessary\\"),
              FTemp.Path() + "config/Quenlor/Tessary/");
    EXPECT_EQ(UserRegKeyFolder("Software\\..\\A\\\\B"), FTemp.Path() + "config/A/B/");
}

TEST_F(UserRegistry, WithoutXdgTheFolderIsBelowHome) {
    test::TScopedEnv noXdg("XDG_CONFIG_HOME", "relative/is/ignored");
    test::TScopedEnv home("HOME", FTemp.Path() + "home");
    EXPECT_EQ(UserRegKeyFolder("SOFTWARE\\Quenlor\\Tessary\\"),
              FTemp.Path() + "home/.config/Quenlor/Tessary/");
}

TEST_F(UserRegistry, OpenCreatesTheKeyOnlyWhenAsked) {
    EXPECT_TRUE(TUserRegKey::CanOpen("SOFTWARE\\Quenlor\\Tessary\\"));
    EXPECT_FALSE(std::filesystem::exists(FTemp.Path() + "config"));
    EXPECT_FALSE(TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", false));
    const auto key = TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", true);
    ASSERT_TRUE(key);
    EXPECT_TRUE(std::filesystem::is_directory(FTemp.Path() + "config/Quenlor/Tessary"));
    EXPECT_TRUE(TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", false));
}

TEST_F(UserRegistry, MissingValuesAreAbsentAndEmptyOnesAreNot) {
    const auto key = TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", true);
    ASSERT_TRUE(key);
    EXPECT_FALSE(key->ReadString("Lng"));
    ASSERT_TRUE(key->WriteString("Empty", ""));
    ASSERT_TRUE(key->WriteString("Lng", "1031"));
    EXPECT_EQ(key->ReadString("lng"), "1031");
    EXPECT_EQ(key->ReadString("Empty"), "");
}

TEST_F(UserRegistry, KeyThatCannotBeCreatedDoesNotOpen) {
    test::WriteFile(FTemp.Path() + "config", "a file where the folder should be");
    EXPECT_FALSE(TUserRegKey::CanOpen("SOFTWARE\\Quenlor\\Tessary\\"));
    EXPECT_FALSE(TUserRegKey::Open("SOFTWARE\\Quenlor\\Tessary\\", true));
}

} // namespace
} // namespace tessary
