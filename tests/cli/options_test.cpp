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
