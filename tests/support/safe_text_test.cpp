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
};

TEST(SafeText, ControlBytesAndInvalidUtf8AreEscaped) {
    for (const TEscapeCase& c : kCases) {
        EXPECT_EQ(EscapeForText(c.Raw), c.Text) << c.What;
        EXPECT_EQ(JsonQuoted(c.Raw), c.Json) << c.What;
    }
}

} // namespace
} // namespace tessary
