// wizard_text.h -- the texts the wizard composes: the default name of the
// repaired archive and the error display's messages from the shared entry
// texts, and what the Results and Finish pages say about a run's end.
#pragma once

#include <QString>

#include <exception>
#include <string_view>

namespace tessary {

class EArcsalveError;
class TArcsalve;

// Everything up to and including the last "/" of `fileName` ("" when none).
QString FolderPart(const QString& fileName);
// Everything after the last "/".
QString FileNamePart(const QString& fileName);

// The repaired archive's default name for `inputName` ("recovered_" in
// front of the file name part, in the same folder).
QString DefaultRepairedName(const QString& inputName);

// An entry text from the shared entry texts (UTF-8) for a widget.
QString FromUtf8(std::string_view text);

// The Finish page's summary: "The product has successfully repaired <count>
// in the archive <file name part of inputName>".
QString FinishSummary(qsizetype count, const QString& inputName);

// The Results page's note on the scan, one sentence a line: what it undid of
// a text-mode transfer's damage, and whether it was cut short by its entry
// or memory limit; empty when neither happened.
QString ScanNoteText(const TArcsalve& engine);

// The Finish page's text after the rebuild of `engine` (none: nothing was
// scanned): the summary counting the entries the repaired archive holds, or
// that nothing was found; a line saying the repair was stopped when it
// holds fewer than were found; and the scan's note.
QString FinishText(const TArcsalve* engine, const QString& inputName);

// A message for the error display: a full stop is added when the text's last
// character sorts after the full stop.
QString WithFullStop(const QString& text);

// The error display's text for a failure of the engine's files: "Cannot open
// file "<absolute path>". <reason>." for the damaged archive, "Cannot create
// file ..." for the repaired one.
QString EngineErrorText(const EArcsalveError& error);

// The error display's text for any failure: the engine's file errors as
// above, anything else its own message with a full stop.
QString FailureText(const std::exception& error);

// A file name as the operating system takes it, and back.
std::string ToNativePath(const QString& fileName);
QString FromNativePath(std::string_view path);

} // namespace tessary
