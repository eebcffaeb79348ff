// tlog_test.cpp -- the in-memory log and the file it is saved to.
#include "tlog.h"

#include "test_helpers.h"

#include <ctime>
#include <gtest/gtest.h>

namespace tessary {
namespace {

using std::chrono::system_clock;
using test::ReadFile;
using test::WriteFile;

// The local moment 2 January 2024 at the given time, plus some milliseconds.
system_clock::time_point LocalTime(int hour, int minute, int second, int millis) {
    std::tm local{};
    local.tm_year = 2024 - 1900;
    local.tm_mon = 0;
    local.tm_mday = 2;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return system_clock::from_time_t(std::mktime(&local)) + std::chrono::milliseconds(millis);
}

class LogFile : public ::testing::Test {
protected:
    // The "C" conventions: short date "%m/%d/%y", long time "%H:%M:%S".
    test::TScopedEnv FLocale{"LC_ALL", "C"};
    test::TTempFolder FTemp;
    std::string FFile = FTemp.Path() + "Tessary.log";
    system_clock::time_point FNow = LocalTime(13, 4, 5, 0);
    TLog FLog{[this] { return FNow; }};
};

TEST_F(LogFile, EmptyLogTruncatesAnExistingFile) {
    WriteFile(FFile, "old content\r\n");
    FLog.SaveToFile(FFile, true);
    EXPECT_TRUE(std::filesystem::exists(FFile));
    EXPECT_EQ(ReadFile(FFile), "");
}

TEST_F(LogFile, LinesWithStampsInTheOrderAdded) {
    FLog.Add(1, "first");
    FLog.Add(2, std::string_view(""));
    FLog.Add(3, "third");
    FLog.SaveToFile(FFile, true);
    EXPECT_EQ(ReadFile(FFile), "<01/02/24 13:04:05> first\r\n"
                               "<01/02/24 13:04:05> \r\n"
                               "<01/02/24 13:04:05> third\r\n");
}

TEST_F(LogFile, MidnightStampHasTheDateOnly) {
    FNow = LocalTime(0, 0, 0, 999);
    FLog.Add(0, "midnight");
    FNow = LocalTime(0, 0, 1, 0);
    FLog.Add(0, "a second later");
    FLog.SaveToFile(FFile, true);
    EXPECT_EQ(ReadFile(FFile), "<01/02/24> midnight\r\n<01/02/24 00:00:01> a second later\r\n");
}

TEST_F(LogFile, TextIsWrittenByteForByte) {
    FLog.Add(0, "100%d %s %n");
    FLog.Add(0, "two\r\nlines \xE0");
    FLog.Add(0, std::string_view("cut\0here", 8));
    FLog.Add(0, static_cast<const char*>(nullptr));
    FLog.SaveToFile(FFile, false);
    EXPECT_EQ(ReadFile(FFile), "100%d %s %n\r\ntwo\r\nlines \xE0\r\ncut\r\n\r\n");
    EXPECT_EQ(FLog.Lines().size(), 4u); // saving does not change the log
}

TEST_F(LogFile, KindIsKeptButNeverWritten) {
    FLog.Add(255, "x");
    EXPECT_EQ(FLog.Lines().front().Kind, 255);
    FLog.Clear();
    EXPECT_TRUE(FLog.Lines().empty());
}

TEST_F(LogFile, MissingFoldersAreCreated) {
    const std::string deep = FTemp.Path() + "a/b/c/Tessary.log";
    FLog.Add(0, "x");
    FLog.SaveToFile(deep, false);
    EXPECT_EQ(ReadFile(deep), "x\r\n");
}

TEST_F(LogFile, FailedWriteKeepsTheOldFileAndRaisesNothing) {
    WriteFile(FFile, "old\r\n");
    for (int i = 0; i < 100; ++i)
        FLog.Add(0, "a line long enough to pass the limit");
    {
        test::TScopedFileSizeLimit limit(256);
        EXPECT_NO_THROW(FLog.SaveToFile(FFile, true));
    }
    EXPECT_EQ(ReadFile(FFile), "old\r\n");
}

TEST_F(LogFile, UnwritablePlacesAreLeftAloneQuietly) {
    // A folder part that is a file cannot be created.
    WriteFile(FTemp.Path() + "plain", "");
    FLog.Add(0, "x");
    EXPECT_NO_THROW(FLog.SaveToFile(FTemp.Path() + "plain/Tessary.log", true));

    if (!test::PermissionsApply())
        GTEST_SKIP() << "permissions do not stop the superuser";
    WriteFile(FFile, "old\r\n");
    std::filesystem::permissions(FTemp.Path(), std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_exec);
    EXPECT_NO_THROW(FLog.SaveToFile(FFile, true));
    EXPECT_EQ(ReadFile(FFile), "old\r\n");
}

TEST(ProgramLogFile, IsTheProgramPathWithTheExtensionLog) {
    const std::string log = ProgramLogFile();
    EXPECT_TRUE(log.ends_with("/support_tests.log")) << log;
}

} // namespace
} // namespace tessary
