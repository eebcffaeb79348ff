// program_info_test.cpp -- display name, version text and title.
#include "program_info.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

TEST(ShortenFileVersion, DropsOnlyATrailingDotZeroDotZero) {
    EXPECT_EQ(ShortenFileVersion("1.1.0.0"), "1.1");
    EXPECT_EQ(ShortenFileVersion("2.0.0.0"), "2.0");
    EXPECT_EQ(ShortenFileVersion("1.0.0.0.0"), "1.0.0");
    EXPECT_EQ(ShortenFileVersion("1.2.3.4"), "1.2.3.4");
    EXPECT_EQ(ShortenFileVersion("1.0.0.5"), "1.0.0.5");
    EXPECT_EQ(ShortenFileVersion("10.0.0"), "10");
    EXPECT_EQ(ShortenFileVersion(""), "");
}

TEST(ProgramInfo, TitleOfThisReleaseComesFromTheBuildVersion) {
    SelectProduct();
    ReadFileVersion();
    EXPECT_STREQ(BuildFileVersion(), "1.1.0.0");
    EXPECT_EQ(ProductName(), "Quenlor Tessary");
    EXPECT_EQ(GetRegKey(), "SOFTWARE\\Quenlor\\Tessary\\");
    EXPECT_EQ(ProductVersion(), "1.1");
    EXPECT_EQ(GetTitle(), "Quenlor Tessary 1.1");
}

TEST(ProgramInfo, TitleWithoutAVersionEndsInABlank) {
    SelectProduct();
    ApplyFileVersion("");
    EXPECT_EQ(GetTitle(), "Quenlor Tessary ");
    ApplyFileVersion("2.0.0.0");
    EXPECT_EQ(GetTitle(), "Quenlor Tessary 2.0");
    ReadFileVersion();
}

} // namespace
} // namespace tessary
