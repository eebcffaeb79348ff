// ui_services.h -- the desktop services the wizard asks for: message boxes,
// the open and save dialogs, and opening a file or address with the user's
// default program. Each one is a replaceable function, so that tests can
// answer and record them without running a modal loop.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tessary {

enum class TMessageIcon { None, Error, Warning, Question, Information };
enum class TMessageButtons { Ok, OkCancel, YesNo };
enum class TMessageResult { Ok, Cancel, Yes, No };

struct TMessageRequest {
    QWidget* Owner = nullptr; // the window the box belongs to; none for a free box
    QString Text;
    QString Caption;
    TMessageIcon Icon = TMessageIcon::None;
    TMessageButtons Buttons = TMessageButtons::Ok;
};

enum class TFileDialogKind { Open, Save };

struct TFileDialogRequest {
    QWidget* Owner = nullptr;
    TFileDialogKind Kind = TFileDialogKind::Open;
    QString Filter; // in the dialog's own form, e.g. "ZIP (*.zip)"
    // The name the box holds now: the dialog opens in its folder (or the
    // nearest one that exists), and a Save dialog proposes it.
    QString CurrentName;
};

using TMessageBoxFunction = std::function<TMessageResult(const TMessageRequest&)>;
using TFileDialogFunction = std::function<std::optional<QString>(const TFileDialogRequest&)>;
using TOpenDocumentFunction = std::function<void(QWidget* owner, const QString& target)>;

// Shows a message box and waits for the answer. Closing the box without a
// button counts as Cancel (or No, or Ok when that is the only button). The
// box is captioned with `caption` alone, written in its owner's font, and
// its buttons carry no icons.
TMessageResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                          TMessageIcon icon, TMessageButtons buttons);

// Asks for a file name; nothing when the user cancels. An Open dialog accepts
// names of files that do not exist; a Save dialog adds no extension and does
// not ask before naming an existing file. Both start in the folder of
// `currentName`; Save proposes it.
std::optional<QString> FileDialog(QWidget* owner, TFileDialogKind kind, const QString& filter,
                                  const QString& currentName = {});

// Hands a file name or a web address to the desktop, which opens it with the
// user's default program. Does not wait and reports nothing: the desktop's
// launcher cannot tell whether the program it started succeeded.
void OpenDocument(QWidget* owner, const QString& target);

// Each setter installs a replacement and returns the function it replaced; an
// empty function restores the desktop's own behaviour.
TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction function);
TFileDialogFunction SetFileDialogFunction(TFileDialogFunction function);
TOpenDocumentFunction SetOpenDocumentFunction(TOpenDocumentFunction function);

} // namespace tessary
