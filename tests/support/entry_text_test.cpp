// entry_text_test.cpp -- the texts both front ends show for an entry: sizes,
// names, status words, the default repaired name and file error texts.
#include "entry_text.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace tessary;

namespace {

struct TSizeCase {
    int64_t Size;
    const char* Text;
};

void PrintTo(const TSizeCase& c, std::ostream* os) {
    *os << c.Size;
}

class EntrySizeText : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(EntrySizeText, OneRuleForBothFrontEnds) {
    EXPECT_EQ(FormatFileSize(GetParam().Size, "."), GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, EntrySizeText,
    ::testing::Values(TSizeCase{-1, ""}, TSizeCase{0xFFFFFFFF, ""}, TSizeCase{0, "0.00 kb"},
                      TSizeCase{1536, "1.50 kb"}, TSizeCase{1'024'000, "1000.00 kb"},
                      TSizeCase{1'024'001, "0.98 Mb"}, TSizeCase{1'048'576, "1.00 Mb"},
                      TSizeCase{2'000'000'000, "1.86 Gb"}, TSizeCase{0xFFFFFFFE, "4.00 Gb"},
                      TSizeCase{0x80000000, "2.00 Gb"}, TSizeCase{5'000'000'000, "4.66 Gb"},
                      TSizeCase{3'000'000'000'000, "2793.97 Gb"}));

TEST(EntrySizeText, DecimalPointIsTheCallersOrTheLocales) {
    EXPECT_EQ(FormatFileSize(1536, ","), "1,50 kb");
    EXPECT_EQ(FormatFileSize(1'024'000, "\xD9\xAB"), "1000\xD9\xAB"
                                                     "00 kb");
    EXPECT_EQ(FormatFileSize(1536), "1" + LocaleDecimalPoint() + "50 kb");
}

struct TNameCase {
    const char* Label;
    std::string Raw;
    uint16_t Flags;
    bool Utf8Writer;
    std::string Text;
};

void PrintTo(const TNameCase& c, std::ostream* os) {
    *os << c.Label;
}

class EntryNameText_ : public ::testing::TestWithParam<TNameCase> {};

TEST_P(EntryNameText_, RawBytesBecomeUtf8) {
    const TNameCase& c = GetParam();
    std::string stored = c.Raw;
    EXPECT_EQ(EntryNameText(stored, c.Flags, c.Utf8Writer), c.Text);
    EXPECT_EQ(stored, c.Raw) << "the stored bytes stay as they are";
}

const std::string Uber = "\xC3\xBC"
                         "ber.txt"; // "über.txt" in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Names, EntryNameText_,
    ::testing::Values(
        TNameCase{"Ascii", "dir/a.txt", 0, false, "dir/a.txt"},
        TNameCase{"CodePage437", "Caf\x82.txt", 0, false, "Caf\xC3\xA9.txt"},
        TNameCase{"CodePage437UpperHalf", "\x80\x81\xE1\xFF", 0, false,
                  "\xC3\x87\xC3\xBC\xC3\x9F\xC2\xA0"},
        TNameCase{"FlaggedUtf8", Uber, FlagUtf8Name, false, Uber},
        TNameCase{"UnflaggedUtf8IsCodePage437", Uber, 0, false,
                  "\xE2\x94\x9C\xE2\x95\x9D"
                  "ber.txt"},
        TNameCase{"Utf8FromAUtf8Writer", Uber, 0, true, Uber},
        TNameCase{"InvalidUtf8FromAUtf8WriterIsCodePage437", "Caf\x82.txt", 0, true,
                  "Caf\xC3\xA9.txt"},
        TNameCase{"OverlongFormIsNotUtf8", "\xC0\xAF", 0, true, "\xE2\x94\x94\xC2\xBB"},
        TNameCase{"InvalidFlaggedUtf8IsReplaced", "bad\xFF", FlagUtf8Name, false,
                  "bad\xEF\xBF\xBD"},
        TNameCase{"OtherFlagsChangeNothing", "Caf\x82", FlagDataDescriptor, false, "Caf\xC3\xA9"}),
    [](const ::testing::TestParamInfo<TNameCase>& info) { return info.param.Label; });

// The table agrees byte for byte with the C library's converter where it has one.
TEST(EntryNameText, CodePage437MatchesIconv) {
    test::TTempFolder folder;
    std::string all;
    for (int byte = 1; byte < 256; ++byte)
        all.push_back(static_cast<char>(byte));
    std::ofstream(folder.Path() + "in") << all;
    std::string command = "iconv -f CP437 -t UTF-8 " + folder.Path() + "in 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string expected;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        expected.append(buffer, n);
    if (::pclose(pipe) != 0)
        GTEST_SKIP() << "iconv with code page 437 is not available";
    EXPECT_EQ(EntryNameText(all, 0, false), expected);
}

TEST(EntryStatusWord, EveryCodeAndNoWordForOthers) {
    const char* words[] = {"Excellent", "Average", "Good", "Average", "", ""};
    int codes[] = {0, 1, 2, 3, 4, -1};
    for (size_t i = 0; i < std::size(codes); ++i)
        EXPECT_EQ(StatusWord(codes[i]), words[i]) << codes[i];
}

TEST(DefaultRepairedName, RecoveredInFrontOfTheFileNameInTheSameFolder) {
    std::pair<const char*, const char*> cases[] = {
        {"/data/damaged.zip", "/data/recovered_damaged.zip"},
        {"in/broken.zip", "in/recovered_broken.zip"},
        {"damaged.zip", "recovered_damaged.zip"}, // the current folder, not the root
        {"/x.zip", "/recovered_x.zip"},
        {"./a.zip", "./recovered_a.zip"},
        {" a b/ c.zip ", " a b/recovered_ c.zip "},
        {"/data/", "/data/recovered_"},
    };
    for (auto [input, output] : cases)
        EXPECT_EQ(DefaultRepairedName(input), output) << input;
}

TEST(FileErrorText, OpeningAndCreatingNameTheFileAndTheReason) {
    EXPECT_EQ(FileErrorText(TErrorKind::OpenInput, "in.zip", "No such file or directory"),
              "Cannot open file \"in.zip\". No such file or directory");
    for (TErrorKind kind :
         {TErrorKind::CreateOutput, TErrorKind::WriteOutput, TErrorKind::OutputIsInput})
        EXPECT_EQ(FileErrorText(kind, "/a%sb.zip", "Gone"),
                  "Cannot create file \"/a%sb.zip\". Gone");
}

} // namespace
