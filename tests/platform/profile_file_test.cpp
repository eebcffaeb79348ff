// profile_file_test.cpp -- reading and writing keys of INI files.
#include "profile_file.h"

#include "test_helpers.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

using test::ReadFile;
using test::WriteFile;

class ProfileFile : public ::testing::Test {
protected:
    test::TTempFolder FTemp;
    std::string FFile = FTemp.Path() + "settings.ini";
};

TEST_F(ProfileFile, NamesCompareWithoutCaseAndValuesLoseBlanksAndQuotes) {
    WriteFile(FFile, "[FileInfo]\r\n  LngID =  1033  \r\ntitle=\"Deutsch\"\r\nq='x\"\r\n");
    EXPECT_EQ(ReadProfileString(FFile, "fileinfo", "lngid", "d"), "1033");
    EXPECT_EQ(ReadProfileString(FFile, "FILEINFO", "Title", "d"), "Deutsch");
    EXPECT_EQ(ReadProfileString(FFile, "fileinfo", "q", "d"), "'x\"");
}

TEST_F(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Lng", "-1"), "-1");
    WriteFile(FFile, "[Other]\nLng=a\n[Main]\nLang=b\n");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Lng", "-1"), "-1");
    EXPECT_EQ(ReadProfileString(FFile, "Absent", "Lng", "-1"), "-1");
}

TEST_F(ProfileFile, PresentEmptyValueIsNotTheDefault) {
    WriteFile(FFile, "[Main]\nLng=\n");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Lng", "-1"), "");
}

TEST_F(ProfileFile, MalformedLinesAreSkipped) {
    WriteFile(FFile, "Lng=before any section\n[Main\ngarbage line\n=novalue\n; Lng=comment\n"
                     "\x01\xff\nLng=kept\n");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Lng", "-1"), "kept");
}

TEST_F(ProfileFile, OnlyTheFirstSectionOfANameCounts) {
    WriteFile(FFile, "[Main]\nA=1\n[main]\nA=2\nB=3\n");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "A", "-"), "1");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "B", "-"), "-");
}

TEST_F(ProfileFile, ValuesAreCutAtTheLimitAndAtAZeroByte) {
    WriteFile(FFile, "[Main]\nLong=" + std::string(2000, 'x') + "\nZero=ab" + std::string(1, '\0') +
                         "cd\n");
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Long", ""), std::string(kProfileValueMax, 'x'));
    EXPECT_EQ(ReadProfileString(FFile, "Main", "Zero", ""), "ab");
}

TEST_F(ProfileFile, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(WriteProfileString(FFile, "Main", "Lng", "english.lng"));
    EXPECT_EQ(ReadFile(FFile), "[Main]\r\nLng=english.lng\r\n");
    ASSERT_TRUE(WriteProfileString(FFile, "Other", "Key", "v"));
    EXPECT_EQ(ReadFile(FFile), "[Main]\r\nLng=english.lng\r\n[Other]\r\nKey=v\r\n");
}

TEST_F(ProfileFile, WriteKeepsEveryOtherLineAsItWas) {
    const std::string before = "; comment\n\n[main]\nlng=old\nx = 1 \n\ngarbage\n[Next]\ny=2";
    WriteFile(FFile, before);
    ASSERT_TRUE(WriteProfileString(FFile, "Main", "Lng", "new"));
    EXPECT_EQ(ReadFile(FFile), "; comment\n\n[main]\nlng=new\nx = 1 \n\ngarbage\n[Next]\ny=2");
    ASSERT_TRUE(WriteProfileString(FFile, "MAIN", "Added", "3"));
    EXPECT_EQ(ReadFile(FFile),
              "; comment\n\n[main]\nlng=new\nx = 1 \n\ngarbage\nAdded=3\n[Next]\ny=2");
    ASSERT_TRUE(WriteProfileString(FFile, "next", "z", "4"));
    EXPECT_EQ(ReadFile(FFile),
              "; comment\n\n[main]\nlng=new\nx = 1 \n\ngarbage\nAdded=3\n[Next]\ny=2\nz=4\n");
}

TEST_F(ProfileFile, WrittenValueCannotBreakIntoANewLine) {
    ASSERT_TRUE(WriteProfileString(FFile, "Main", "Lng", "a.lng\r\n[Evil]\r\nx=1"));
    EXPECT_EQ(ReadFile(FFile), "[Main]\r\nLng=a.lng\r\n");
}

TEST_F(ProfileFile, FailedWriteLeavesTheFileAsItWas) {
    const std::string before = "[Main]\r\nLng=old\r\n" + std::string(100, ';') + "\r\n";
    WriteFile(FFile, before);
    {
        test::TScopedFileSizeLimit limit(64);
        EXPECT_FALSE(WriteProfileString(FFile, "Main", "Lng", "new"));
    }
    EXPECT_EQ(ReadFile(FFile), before);
    // Nothing of the attempt is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FTemp.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ProfileFile, ReadOnlyFolderOrFileIsLeftAlone) {
    if (!test::PermissionsApply())
        GTEST_SKIP() << "permissions do not stop the superuser";
    WriteFile(FFile, "[Main]\nLng=old\n");
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_read);
    EXPECT_FALSE(WriteProfileString(FFile, "Main", "Lng", "new"));
    std::filesystem::permissions(FTemp.Path(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec);
    EXPECT_FALSE(WriteProfileString(FTemp.Path() + "other.ini", "Main", "Lng", "new"));
    EXPECT_EQ(ReadFile(FFile), "[Main]\nLng=old\n");
}

} // namespace
} // namespace tessary
