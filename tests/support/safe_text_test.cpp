// safe_text_test.cpp -- names from a damaged archive reach neither the
// terminal as control sequences nor JSON as invalid UTF-8.
#include "safe_text.h"

#include <gtest/gtest.h>

namespace tessary {
namespace {

struct TEscapeCase {
    const char* What;
    std::string Raw;
    std::string Text; // EscapeForText
    std::string Json; // JsonQuoted
};

const TEscapeCase kCases[] = {
    {"plain ASCII", "docs/readme.txt", "docs/readme.txt", "\"docs/readme.txt\""},
    {"valid UTF-8 kept", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80",
     "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\""},
    {"title change (OSC 2) and BEL", "\x1B]2;evil\x07", "\\033]2;evil\\007",
     "\"\\u001b]2;evil\\u0007\""},
    {"CR hides a line, DEL", "evil.exe\r\x7Freadme.txt", "evil.exe\\015\\177readme.txt",
     "\"evil.exe\\r\\u007freadme.txt\""},
    {"C1 CSI (U+009B)",
     "a\xC2\x9B"
     "31m",
     "a\\302\\23331m", "\"a\\u009b31m\""},
    {"NUL inside", std::string("a\0b", 3), "a\\000b", "\"a\\u0000b\""},
    {"backslash and quote", "a\\b\"c", "a\\\\b\"c", "\"a\\\\b\\\"c\""},
    {"newline and SOH", "a\n\x01", "a\\012\\001", "\"a\\n\\u0001\""},
    {"invalid bytes", "bad\xFF\xC3", "bad\\377\\303", "\"bad\\udcff\\udcc3\""},
    {"overlong slash", "\xC0\xAF", "\\300\\257", "\"\\udcc0\\udcaf\""},
    {"encoded surrogate", "\xED\xA0\x80", "\\355\\240\\200", "\"\\udced\\udca0\\udc80\""},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\364\\220\\200\\200",
     "\"\\udcf4\\udc90\\udc80\\udc80\""},
    {"cut sequence", "\xE2\x82", "\\342\\202", "\"\\udce2\\udc82\""},
    // "live\u202etxt.exe" would read as "liveexe.txt".
    {"right-to-left override", "live\xE2\x80\xAEtxt.exe", "live\\342\\200\\256txt.exe",
     "\"live\\u202etxt.exe\""},
    {"embedding and isolate ends", "\xE2\x80\xAA\xE2\x81\xA9", "\\342\\200\\252\\342\\201\\251",
     "\"\\u202a\\u2069\""},
    {"marks", "\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C", "\\342\\200\\216\\342\\200\\217\\330\\234",
     "\"\\u200e\\u200f\\u061c\""},
    // Their neighbours are ordinary characters: ZWJ, U+202F, U+2065, U+2070.
    {"next to the bidirectional controls", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xB0",
     "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xB0",
     "\"\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xB0\""},
};

TEST(SafeText, ControlBytesAndInvalidUtf8AreEscaped) {
    for (const TEscapeCase& c : kCases) {
        EXPECT_EQ(EscapeForText(c.Raw), c.Text) << c.What;
        EXPECT_EQ(JsonQuoted(c.Raw), c.Json) << c.What;
    }
}

// The wizard's list shows the controls as escapes and nothing else changes:
// other controls and invalid bytes are left to the list.
TEST(SafeText, BidiControlsBecomeVisibleEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"live\xE2\x80\xAEtxt.exe", "live\\u202etxt.exe"},
        {"\xE2\x81\xA6"
         "a\xE2\x81\xA9\xE2\x80\x8E",
         "\\u2066a\\u2069\\u200e"},
        {"caf\xC3\xA9\xE2\x80\xAF\\n\x01\xFF", "caf\xC3\xA9\xE2\x80\xAF\\n\x01\xFF"},
    };
    for (const auto& [raw, shown] : cases)
        EXPECT_EQ(WithVisibleBidiControls(raw), shown) << raw;
}

} // namespace
} // namespace tessary
