// error_report_test.cpp -- composing reports and delivering them.
#include "error_report.h"

#include "lng.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <vector>

namespace tessary {
namespace {

struct TReport {
    std::string Message;
    std::int32_t Kind;
};

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        InitLngTables();
        SetErrorSink([this](const std::string& message, std::int32_t kind) {
            FReports.push_back({message, kind});
            return 0;
        });
    }
    void TearDown() override {
        SetErrorSink({});
        SetMessageBoxHandler({});
        ClearLngTables();
    }
    std::string Report(std::int32_t errorCode, std::int32_t osError, std::string_view text) {
        FReports.clear();
        ReportError(errorCode, osError, 7, text);
        return FReports.size() == 1 ? FReports[0].Message : "<not one report>";
    }
    std::vector<TReport> FReports;
};

TEST_F(ErrorReport, PartsAreJoinedBySpacesThatStayWhenAPartIsEmpty) {
    EXPECT_EQ(Report(23, 0, "while saving"), "File save error  while saving");
    EXPECT_EQ(Report(23, ENOENT, "x"), "File save error No such file or directory x");
    EXPECT_EQ(Report(0, ENOENT, "x"), "No such file or directory x");
    EXPECT_EQ(Report(23, 0, ""), "File save error");
}

TEST_F(ErrorReport, CodeZeroAndUnknownCodesContributeNothingOrTheirNumber) {
    EXPECT_EQ(Report(0, 0, "text"), "text"); // never "No Errors"
    EXPECT_EQ(Report(45, 0, "text"), "45  text");
    EXPECT_EQ(Report(-3, 0, ""), "-3");
    EXPECT_EQ(Report(39, 0, "text"), "text"); // a slot without text
    EXPECT_EQ(Report(0, 123456, "text"), "text");
}

TEST_F(ErrorReport, AllPartsEmptyGiveAnEmptyMessageAndOuterControlsGo) {
    EXPECT_EQ(Report(0, 0, ""), "");
    EXPECT_EQ(Report(0, 0, "\t\r\n inner  gap \r\n"), "inner  gap");
    EXPECT_EQ(Report(0, 0, "\xE0"), "\xE0"); // bytes above 127 are text
}

TEST_F(ErrorReport, KindReachesTheSinkWhole) {
    ReportError(0, 0, 300, "x");
    ASSERT_EQ(FReports.size(), 1u);
    EXPECT_EQ(FReports[0].Kind, 300);
}

TEST_F(ErrorReport, WithoutASinkTheMessageGoesToAMessageBox) {
    std::vector<std::pair<std::string, std::string>> shown;
    SetMessageBoxHandler([&](const std::string& caption, const std::string& text) {
        shown.emplace_back(caption, text);
    });
    SetErrorSink({});
    ReportError(23, 0, 0, "x");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Message");
    EXPECT_EQ(shown[0].second, "File save error  x");
    EXPECT_TRUE(FReports.empty());
}

TEST_F(ErrorReport, DefaultMessageBoxWritesToStderr) {
    SetErrorSink({});
    ::testing::internal::CaptureStderr();
    ShowMessageBox("Output path corrupted!");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Message: Output path corrupted!\n");
}

} // namespace
} // namespace tessary
