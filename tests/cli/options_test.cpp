// The command line of tessary-cli and what it prints.
#include "entry_text.h"
#include "options.h"
#include "progress_bar.h"
#include "report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

using namespace tessary::cli;

TEST(CliOptions, DefaultOutputIsTheSharedRepairedNameOrInTheFolder) {
    for (const char* input : {"/data/in/archive.zip", "archive.zip"})
        EXPECT_EQ(OutputFor(ParseOptions({input}), input), tessary::DefaultRepairedName(input));
    TOptions o = ParseOptions({"-d", "out/", "/data/a.zip", "b.zip", "-"});
    EXPECT_EQ(OutputFor(o, "/data/a.zip"), "out/recovered_a.zip");
    EXPECT_EQ(OutputFor(o, "-"), "out/recovered_stdin.zip");
    EXPECT_EQ(OutputFor(ParseOptions({"-"}), "-"), "recovered_stdin.zip");
}

TEST(CliOptions, WrongCommandLinesSayWhy) {
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{}, "no damaged archive given"},
        {{"--bogus", "a.zip"}, "unknown option '--bogus'"},
        {{"-x", "a.zip"}, "unknown option '-x'"},
        {{"--fo=yes", "a.zip"}, "option '--force' takes no argument"},
        {{"--list=yes", "a.zip"}, "option '--list' takes no argument"},
        {{"a.zip", "-o"}, "option '-o' needs a file name"},
        {{"a.zip", "--output"}, "option '--output' needs a file name"},
        {{"a.zip", "-d"}, "option '-d' needs a folder name"},
        {{"a.zip", "-o", ""}, "empty output name"}, // no reason to write the default one
        {{"a.zip", "--output="}, "empty output name"},
        {{"a.zip", "b.zip", "-o", "c.zip"}, "-o names one repaired archive"},
        {{"a.zip", "-o", "c.zip", "-d", "out"}, "-o and -d cannot be used together"},
        {{"-", "-"}, "standard input given more than once"},
        {{"-d", "out", "a/x.zip", "b/x.zip"}, "would both be repaired into 'out/recovered_x.zip'"},
        {{"x.zip", "./x.zip"}, "would both be repaired"},
        {{"a.zip", "-o", "-", "--json"}, "cannot share standard output"},
    };
    for (const auto& [args, reason] : rows) {
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        try {
            ParseOptions(args);
            ADD_FAILURE() << line << "was taken";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos)
                << line << "-> " << e.what();
        }
    }
    EXPECT_TRUE(ParseOptions({"--version"}).Version) << "needs no damaged archive";
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
