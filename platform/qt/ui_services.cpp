// ui_services.cpp -- message boxes, file dialogs and document opening through
// Qt, each replaceable.
#include "ui_services.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

#include <utility>

namespace tessary {

namespace {

TMessageBoxFunction& MessageBoxHook() {
    static TMessageBoxFunction hook;
    return hook;
}

TFileDialogFunction& FileDialogHook() {
    static TFileDialogFunction hook;
    return hook;
}

TOpenDocumentFunction& OpenDocumentHook() {
    static TOpenDocumentFunction hook;
    return hook;
}

TMessageResult DesktopMessageBox(const TMessageRequest& request) {
    QMessageBox box(request.Owner);
    box.setWindowTitle(request.Caption);
    // A dialog does not take its owner's font by itself; the box should read
    // like the window it belongs to.
    if (request.Owner != nullptr) {
        box.setFont(request.Owner->window()->font());
    }
    box.setText(request.Text);
    switch (request.Icon) {
    case TMessageIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case TMessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case TMessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case TMessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case TMessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    }
    switch (request.Buttons) {
    case TMessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        break;
    case TMessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case TMessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
        break;
    }
    // Some icon themes put pictures on OK, Cancel, Yes and No; the captions
    // say enough.
    for (QAbstractButton* button : box.buttons()) {
        button->setIcon(QIcon());
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return TMessageResult::Ok;
    case QMessageBox::Yes:
        return TMessageResult::Yes;
    case QMessageBox::No:
        return TMessageResult::No;
    default:
        return request.Buttons == TMessageButtons::Ok ? TMessageResult::Ok : TMessageResult::Cancel;
    }
}

// The folder a file dialog opens in for `name`: the name's folder, or the
// nearest one above it that exists; empty when there is none (an empty name).
QString StartFolderOf(const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    QString folder = QFileInfo(name).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder) {
            return {};
        }
        folder = parent;
    }
    return folder;
}

std::optional<QString> DesktopFileDialog(const TFileDialogRequest& request) {
    QFileDialog dialog(request.Owner);
    dialog.setNameFilter(request.Filter);
    const QString folder = StartFolderOf(request.CurrentName);
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    if (request.Kind == TFileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        const QString proposed = QFileInfo(request.CurrentName).fileName();
        if (!proposed.isEmpty()) {
            dialog.selectFile(proposed);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

void DesktopOpenDocument(const QString& target) {
    // A web or mail address opens as such; anything else names a file, even
    // one whose name happens to contain a colon.
    const QUrl url(target, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
                          scheme == QLatin1String("mailto") || scheme == QLatin1String("file"))) {
        QDesktopServices::openUrl(url);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath()));
    }
}

} // namespace

TMessageResult MessageBox(QWidget* owner, const QString& text, const QString& caption,
                          TMessageIcon icon, TMessageButtons buttons) {
    const TMessageRequest request{owner, text, caption, icon, buttons};
    if (const auto& hook = MessageBoxHook()) {
        return hook(request);
    }
    return DesktopMessageBox(request);
}

std::optional<QString> FileDialog(QWidget* owner, TFileDialogKind kind, const QString& filter,
                                  const QString& currentName) {
    const TFileDialogRequest request{owner, kind, filter, currentName};
    if (const auto& hook = FileDialogHook()) {
        return hook(request);
    }
    return DesktopFileDialog(request);
}

void OpenDocument(QWidget* owner, const QString& target) {
    if (const auto& hook = OpenDocumentHook()) {
        hook(owner, target);
        return;
    }
    DesktopOpenDocument(target);
}

TMessageBoxFunction SetMessageBoxFunction(TMessageBoxFunction function) {
    return std::exchange(MessageBoxHook(), std::move(function));
}

TFileDialogFunction SetFileDialogFunction(TFileDialogFunction function) {
    return std::exchange(FileDialogHook(), std::move(function));
}

TOpenDocumentFunction SetOpenDocumentFunction(TOpenDocumentFunction function) {
    return std::exchange(OpenDocumentHook(), std::move(function));
}

} // namespace tessary
