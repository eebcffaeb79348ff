// entry_text.h -- how both front ends put an entry and the engine's file
// errors into words: size, name, status, the default repaired name and the
// error texts, all as UTF-8.
#pragma once

#include "engine_error.h"
#include "file_info.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessary {

inline constexpr const char* FileNameCaption = "FIle Name";
inline constexpr const char* SizeCaption = "Size";
inline constexpr const char* StatusCaption = "Status";

// The words behind the count of a run's progress, and before any entry is.
inline constexpr const char* FilesFoundText = "files have been found";
inline constexpr const char* FilesRepairedText = "files have been repaired";
inline constexpr const char* NothingFoundText = "Nothing is found";
inline constexpr const char* NothingRecoveredText = "Nothing is recovered";

// The decimal point of the C library's current numeric locale.
std::string LocaleDecimalPoint();

// "0.00 kb", "1.50 kb", "1.00 Mb", "1.86 Gb": kilobytes until the value
// passes 1000, then megabytes, then gigabytes, with two decimals behind
// `decimalPoint`. An unknown size gives an empty text: -1, or all 32 bits set
// (the size field's mark for "stored elsewhere") when nothing better was found.
std::string FormatFileSize(int64_t size, std::string_view decimalPoint = LocaleDecimalPoint());

// The word the results list shows for a status code; empty for unknown codes.
std::string_view StatusWord(int status);

// An entry's name as UTF-8. Names flagged as UTF-8 (bit 11) are taken as
// they are, and so are valid UTF-8 names from writers that store UTF-8
// without the flag (`utf8Writer`); anything else is code page 437, the code
// page ZIP names use without the flag. Invalid sequences in a name taken as
// UTF-8 become U+FFFD. The stored bytes are never changed.
std::string EntryNameText(std::string_view raw, uint16_t flags, bool utf8Writer);
inline std::string EntryNameText(const TInfoForView& v) {
    return EntryNameText(v.Name, v.Flags, v.Utf8Writer);
}

// "recovered_" put in front of the file name part, in the same folder:
// "/data/damaged.zip" gives "/data/recovered_damaged.zip", a bare
// "damaged.zip" gives "recovered_damaged.zip" in the current folder.
std::string DefaultRepairedName(std::string_view input);

// "Cannot open file "<path>". <reason>" when the damaged archive cannot be
// opened, "Cannot read file "<path>". <reason>" when reading it fails,
// "Cannot create file "<path>". <reason>" for the repaired one, and "Cannot
// repair file "<path>". <reason>" when the repair of a readable file is refused.
std::string FileErrorText(TErrorKind kind, std::string_view path, std::string_view reason);

} // namespace tessary
