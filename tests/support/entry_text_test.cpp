// entry_text_test.cpp -- the texts both front ends show for an entry: sizes,
// names, status words, the default repaired name and file error texts.
#include "entry_text.h"
#include "test_helpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace tessary;

namespace {

// Unknown sizes show nothing; the unit rolls over past 1000 of the smaller
// one; sizes past 32 bits (signed or not) stay in gigabytes.
TEST(EntrySizeText, OneRuleForBothFrontEnds) {
    const std::pair<int64_t, const char*> cases[] = {
        {-1, ""},
        {0xFFFFFFFF, ""},
        {0, "0.00 kb"},
        {1536, "1.50 kb"},
        {1'024'000, "1000.00 kb"},
        {1'024'001, "0.98 Mb"},
        {1'048'576, "1.00 Mb"},
        {0x80000000, "2.00 Gb"},
        {0xFFFFFFFE, "4.00 Gb"},
        {5'000'000'000, "4.66 Gb"},
        {3'000'000'000'000, "2793.97 Gb"},
    };
    for (auto [size, text] : cases)
        EXPECT_EQ(FormatFileSize(size, "."), text) << size;
}

TEST(EntrySizeText, DecimalPointIsTheCallersOrTheLocales) {
    EXPECT_EQ(FormatFileSize(1536, ","), "1,50 kb");
    EXPECT_EQ(FormatFileSize(1'024'000, "\xD9\xAB"), "1000\xD9\xAB"
                                                     "00 kb");
    EXPECT_EQ(FormatFileSize(1536), "1" + LocaleDecimalPoint() + "50 kb");
}

TEST(EntryNameText, RawBytesBecomeUtf8) {
    struct TNameCase {
        const char* Label;
        std::string Raw;
        uint16_t Flags;
        bool Utf8Writer;
        std::string Text;
    };
    const std::string uber = "\xC3\xBC"
                             "ber.txt"; // "über.txt" in UTF-8
    const TNameCase cases[] = {
        {"Ascii", "dir/a.txt", 0, false, "dir/a.txt"},
        {"CodePage437", "Caf\x82.txt", 0, false, "Caf\xC3\xA9.txt"},
        {"CodePage437UpperHalf", "\x80\x81\xE1\xFF", 0, false, "\xC3\x87\xC3\xBC\xC3\x9F\xC2\xA0"},
        {"FlaggedUtf8", uber, FlagUtf8Name, false, uber},
        {"UnflaggedUtf8IsCodePage437", uber, 0, false,
         "\xE2\x94\x9C\xE2\x95\x9D"
         "ber.txt"},
        {"Utf8FromAUtf8Writer", uber, 0, true, uber},
        {"InvalidUtf8FromAUtf8WriterIsCodePage437", "Caf\x82.txt", 0, true, "Caf\xC3\xA9.txt"},
        {"OverlongFormIsNotUtf8", "\xC0\xAF", 0, true, "\xE2\x94\x94\xC2\xBB"},
        {"InvalidFlaggedUtf8IsReplaced", "bad\xFF", FlagUtf8Name, false, "bad\xEF\xBF\xBD"},
        {"OtherFlagsChangeNothing", "Caf\x82", FlagDataDescriptor, false, "Caf\xC3\xA9"},
    };
    for (const TNameCase& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string stored = c.Raw;
        EXPECT_EQ(EntryNameText(stored, c.Flags, c.Utf8Writer), c.Text);
        EXPECT_EQ(stored, c.Raw) << "the stored bytes stay as they are";
    }
}

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
