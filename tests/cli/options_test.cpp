// The command line of tessary-cli and what it prints.
#include "entry_text.h"
#include "options.h"
#include "report.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tessary::cli;

TEST(CliOptions, DefaultOutputIsTheSharedRepairedName) {
    for (const char* input : {"/data/in/archive.zip", "archive.zip"})
        EXPECT_EQ(ParseOptions({input}).Output, tessary::DefaultRepairedName(input));
}

TEST(CliOptions, ParsesEveryFormAndRejectsWhatIsWrong) {
    TOptions o = ParseOptions({"-o", "out.zip", "in.zip", "--quiet"});
    EXPECT_EQ(o.Input, "in.zip");
    EXPECT_EQ(o.Output, "out.zip");
    EXPECT_TRUE(o.Quiet);
    EXPECT_EQ(ParseOptions({"--output=x.zip", "in.zip"}).Output, "x.zip");
    EXPECT_EQ(ParseOptions({"--", "-odd.zip"}).Input, "-odd.zip");
    EXPECT_TRUE(ParseOptions({"--list", "in.zip"}).Output.empty()) << "--list writes nothing";
    EXPECT_TRUE(ParseOptions({"--version"}).Version);
    EXPECT_TRUE(ParseOptions({"-f", "in.zip"}).Force);
    EXPECT_TRUE(ParseOptions({"in.zip", "--force"}).Force);
    EXPECT_FALSE(ParseOptions({"in.zip"}).Force) << "replacing is never the default";

    EXPECT_THROW(ParseOptions({}), std::invalid_argument);
    EXPECT_THROW(ParseOptions({"a.zip", "b.zip"}), std::invalid_argument);
    EXPECT_THROW(ParseOptions({"--bogus", "a.zip"}), std::invalid_argument);
    EXPECT_THROW(ParseOptions({"a.zip", "-o"}), std::invalid_argument);
    EXPECT_THROW(ParseOptions({"a.zip", "-o", ""}), std::invalid_argument)
        << "an empty name is no reason to write the default one";
    EXPECT_THROW(ParseOptions({"a.zip", "--output="}), std::invalid_argument);
}

TEST(CliReport, JsonStringsEscapeQuotesAndControlCharacters) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\n\\u0001\"");
    EXPECT_EQ(JsonString("\xFF"), "\"\\udcff\"") << "JSON stays valid UTF-8";
}

TEST(CliOptions, DropDamagedAndSalvageNeedTheCheck) {
    EXPECT_FALSE(ParseOptions({"in.zip"}).Verify);
    EXPECT_TRUE(ParseOptions({"--verify", "in.zip"}).Verify);
    TOptions drop = ParseOptions({"--drop-damaged", "in.zip"});
    EXPECT_TRUE(drop.Verify && drop.DropDamaged && !drop.Salvage);
    TOptions salvage = ParseOptions({"in.zip", "--salvage"});
    EXPECT_TRUE(salvage.Verify && salvage.Salvage && !salvage.DropDamaged);
}

// The check column: offsets grouped by thousands, the reason of an unchecked
// entry, and what became of a failed one.
TEST(CliReport, CheckColumnTexts) {
    using tessary::TCheckOutcome;
    auto text = [](TCheckOutcome outcome, int64_t at, TEntryFate fate = TEntryFate::Kept,
                   bool checked = true) {
        TEntryCheck c;
        c.Checked = checked;
        c.Result.Outcome = outcome;
        c.Result.ErrorOffset = at;
        c.Result.Reason = tessary::TNotCheckedReason::Encrypted;
        c.Fate = fate;
        return CheckText(c);
    };
    EXPECT_EQ(text(TCheckOutcome::Ok, -1), "ok");
    EXPECT_EQ(text(TCheckOutcome::DataError, 12345), "data error at 12,345");
    EXPECT_EQ(text(TCheckOutcome::DataError, 999), "data error at 999");
    EXPECT_EQ(text(TCheckOutcome::DataError, 1234567), "data error at 1,234,567");
    EXPECT_EQ(text(TCheckOutcome::NotChecked, -1), "not checked (encrypted)");
    EXPECT_EQ(text(TCheckOutcome::Truncated, -1, TEntryFate::Salvaged), "cut off, salvaged");
    EXPECT_EQ(text(TCheckOutcome::CrcMismatch, -1, TEntryFate::LeftOut), "CRC error, left out");
    EXPECT_EQ(text(TCheckOutcome::Ok, -1, TEntryFate::Kept, false), "not checked (stopped)");

    std::vector<TEntryCheck> checks(4);
    checks[0].Checked = checks[1].Checked = checks[2].Checked = true;
    checks[0].Result.Outcome = TCheckOutcome::Ok;
    checks[1].Result.Outcome = TCheckOutcome::Truncated;
    checks[1].Fate = TEntryFate::Salvaged;
    checks[2].Result.Outcome = TCheckOutcome::NotChecked;
    TCheckTotals t = CountChecks(checks);
    EXPECT_EQ(t.Passed, 1u);
    EXPECT_EQ(t.Failed, 1u);
    EXPECT_EQ(t.NotChecked, 2u) << "an entry the run never reached is not checked";
    EXPECT_EQ(t.Salvaged, 1u);
}
