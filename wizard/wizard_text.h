// wizard_text.h -- the texts the wizard composes: sizes, the default name of
// the repaired archive, the finish summary, entry names for display and the
// error display's messages.
#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <string_view>

namespace tessary {

class EArcsalveError;

// Everything up to and including the last "/" of `fileName` ("" when none).
QString FolderPart(const QString& fileName);
// Everything after the last "/".
QString FileNamePart(const QString& fileName);

// "recovered_" put in front of the file name part, in the same folder:
// "/data/damaged.zip" gives "/data/recovered_damaged.zip", and a bare
// "damaged.zip" gives "recovered_damaged.zip" in the current folder.
QString DefaultRepairedName(const QString& inputName);

// A size in kilobytes, megabytes or gigabytes with two decimals in the
// locale's notation ("1.50 kb", "1.00 Mb", "1.86 Gb"); empty for -1, the size
// of an entry whose size is unknown. Each unit runs up to 1000 of itself
// before the next one takes over, so 1,024,000 bytes give "1000.00 kb".
QString FormatFileSize(int64_t size, const QLocale& locale = QLocale::system());

// The Finish page's summary: "The product has successfully repaired <count>
// in the archive <file name part of inputName>".
QString FinishSummary(qsizetype count, const QString& inputName);

// An entry's name as the results list shows it: UTF-8 when the entry says so
// (general purpose bit 11), code page 437 otherwise. The stored bytes are
// never changed.
QString EntryDisplayName(std::string_view name, uint16_t flags);

// A message for the error display: a full stop is added when the text's last
// character sorts after the full stop.
QString WithFullStop(const QString& text);

// The error display's text for a failure of the engine's files: "Cannot open
// file "<absolute path>". <reason>." for the damaged archive, "Cannot create
// file ..." for the repaired one.
QString EngineErrorText(const EArcsalveError& error);

// A file name as the operating system takes it, and back.
std::string ToNativePath(const QString& fileName);
QString FromNativePath(std::string_view path);

} // namespace tessary
