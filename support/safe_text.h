// safe_text.h -- text from untrusted sources (entry names, paths) made safe
// to print: nothing in it can reach a terminal as a control sequence, and
// JSON made from it is always valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tessary {

// For text output. Valid UTF-8 passes through, except that every control
// character (C0, DEL and the C1 range U+0080..U+009F) and every byte that is
// not part of a valid UTF-8 sequence is written as a backslash and three
// octal digits ("\033" for ESC), and a backslash itself as "\\" so that the
// result reads back unambiguously. The same quoting as `ls --escape`.
std::string EscapeForText(std::string_view bytes);

// A JSON string literal, quotes included, of any bytes. Valid UTF-8 is kept
// as it is, with '"', '\' and every control character (C0, DEL, C1) written
// as escapes. Each byte that is not part of a valid UTF-8 sequence becomes
// the escape of the lone surrogate U+DC00 + byte ("\udcff" for 0xFF), the
// convention by which such bytes are carried in text elsewhere too (Python's
// "surrogateescape"): the original bytes can be recovered exactly, and the
// document stays valid UTF-8.
std::string JsonQuoted(std::string_view bytes);

} // namespace tessary
