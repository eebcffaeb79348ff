// profile_file.h -- reading and writing keys of INI ("profile") files.
//
// Sections are "[name]" lines, keys are "key=value" lines; section and key
// names compare without regard to case and values lose surrounding blanks and
// one pair of enclosing quotes. Lines that are neither are skipped when
// reading and kept unchanged when writing.
#pragma once

#include <cstddef>
#include <string>

namespace tessary {

// Values read are cut at the first zero byte and at this many characters.
constexpr std::size_t kProfileValueMax = 1023;

// The value of `key` in the first section named `section` of `fileName`, or
// `defaultValue` when the file, section or key is missing or unreadable.
std::string ReadProfileString(const std::string& fileName, const std::string& section,
                              const std::string& key, const std::string& defaultValue);

// Sets `key` in `section` of `fileName` to `value`, creating the file, the
// section or the key when missing and keeping every other line as it was.
// The file is replaced in one step, so a failure leaves it untouched.
// A CR or LF in `value` ends it there. Returns false when the file could not be written.
bool WriteProfileString(const std::string& fileName, const std::string& section,
                        const std::string& key, const std::string& value);

} // namespace tessary
