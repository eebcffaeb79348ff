// safe_text.h -- text from untrusted sources (entry names, paths) made safe
// to print: nothing in it can reach a terminal as a control sequence, and
// JSON made from it is always valid UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

// The invisible characters that change the order in which the text around
// them is displayed: the embeddings, overrides and isolates (U+202A..U+202E,
// U+2066..U+2069) and the marks (U+200E, U+200F, U+061C). A name holding one
// can show "evil\u202etxt.exe" as "evilexe.txt".
bool IsBidiControl(uint32_t cp);

// For text output. Valid UTF-8 passes through, except that every control
// character (C0, DEL, the C1 range U+0080..U+009F and the bidirectional
// controls) and every byte that is not part of a valid UTF-8 sequence is
// written as a backslash and three octal digits per byte ("\033" for ESC,
// "\342\200\256" for U+202E), and a backslash itself as "\\" so that the
// result reads back unambiguously: the quoting of `ls --escape`.
std::string EscapeForText(std::string_view bytes);

// A JSON string literal, quotes included, of any bytes. Valid UTF-8 is kept
// as it is, with '"', '\' and every control character (C0, DEL, C1, the
// bidirectional controls) written as escapes ("\u202e"). Each byte that is
// not part of a valid UTF-8 sequence becomes the escape of the lone surrogate
// U+DC00 + byte ("\udcff" for 0xFF), the convention by which such bytes are
// carried in text elsewhere too (Python's "surrogateescape"): the original
// bytes can be recovered exactly, and the document stays valid UTF-8.
std::string JsonQuoted(std::string_view bytes);

// Text for a display that cannot show escapes of its own, such as a list of
// names: every bidirectional control becomes its visible escape ("\u202e"),
// so the name reads in the order of its characters; all else is kept.
std::string WithVisibleBidiControls(std::string_view utf8);

} // namespace tessary
