// main_window_output.cpp -- TfmMain's two file names: the input rule that
// proposes the repaired name, the Browse buttons, and the policy for the
// repaired archive, whose folder is checked before the scan and whose name
// replaces an existing file only when the user agrees.
#include "main_window.h"

#include "engine_error.h"
#include "output_target.h"
#include "split_input.h"
#include "streams.h"
#include "ui_services.h"
#include "wizard_text.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace tessary {

namespace {

// The Save dialog's name with the archive's extension: added when the chosen
// name does not end in it already, in any case.
QString WithZipExtension(const QString& name) {
    const QString extension = QStringLiteral(".zip");
    return name.endsWith(extension, Qt::CaseInsensitive) ? name : name + extension;
}

// The repaired archive's folder can be created, or exists already. A name
// without a folder part lies in the current folder.
bool CanCreateFolderOf(const QString& fileName) {
    const QString folder = FolderPart(fileName);
    return folder.isEmpty() || QDir().mkpath(folder);
}

// The proposed repaired name: that of the damaged archive, or of the whole
// set when it is a part of an archive in parts.
QString RepairedNameFor(const QString& input) {
    return DefaultRepairedName(FromNativePath(ArchiveNameOf(ToNativePath(input))));
}

// The name of a file as the error display and the questions show it.
QString FullPath(const QString& fileName) {
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

// Putting into a box the text it already holds is no change: it must not run
// the box's change handler.
void TfmMain::SetEditText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) {
        edit->setText(text);
    }
}

void TfmMain::edInputFileChange() {
    const QString input = edInputFile->text();
    if (QFileInfo(input).isFile()) {
        btnNext->setEnabled(true);
        SetEditText(edOutputFile, RepairedNameFor(input));
    } else {
        SetButtonEnabled(btnNext, false);
    }
}

void TfmMain::btnBrowseInputClick() {
    Guarded([this] {
        ++FOwnModalDepth;
        const auto chosen = FileDialog(this, TFileDialogKind::Open, QStringLiteral("ZIP (*.zip)"),
                                       edInputFile->text());
        --FOwnModalDepth;
        if (!chosen) {
            return;
        }
        SetEditText(edInputFile, *chosen);
        SetEditText(edOutputFile, RepairedNameFor(edInputFile->text()));
    });
}

void TfmMain::btnBrowseOutputClick() {
    Guarded([this] {
        ++FOwnModalDepth;
        const auto chosen = FileDialog(this, TFileDialogKind::Save, QStringLiteral("ZIP (*.zip)"),
                                       edOutputFile->text());
        --FOwnModalDepth;
        if (!chosen) {
            return;
        }
        SetEditText(edOutputFile, WithZipExtension(*chosen));
    });
}

// Linux has no drive letters: the path is sound when its folder exists or can
// be created now, before the scan, and takes a new file (a temporary one is
// created and removed there), so that an unwritable folder is known before
// the whole archive has been read. Also finds what the name holds already.
bool TfmMain::CheckOutputPath(TOutputTarget& target) const {
    const QString output = edOutputFile->text();
    if (output.isEmpty()) {
        return true; // nothing to examine; the empty name keeps the wizard here
    }
    const bool folderMade = CanCreateFolderOf(output);
    target = CheckOutputTarget(ToNativePath(output), true);
    return folderMade && target.Problem != TOutputProblem::FolderNotWritable &&
           target.Problem != TOutputProblem::BadPath;
}

// An existing file under the repaired name is replaced only when the user
// says so. The damaged archive itself, a read-only file and anything that is
// not a regular file are refused at once through the error display, instead
// of after the whole scan.
bool TfmMain::MayReplaceOutput(const TOutputTarget& target, const TInputStream& input) {
    if (!target.Exists) {
        return true;
    }
    if (input.IsSameFile(target.Path)) {
        throw OutputIsInputError(target.Path);
    }
    if (target.Problem == TOutputProblem::ReadOnly ||
        target.Problem == TOutputProblem::NotRegular) {
        throw EArcsalveError(TErrorKind::CreateOutput, target.Path, target.Reason);
    }
    const QString question = QStringLiteral("The file \"%1\" already exists. Do you want to "
                                            "replace it?")
                                 .arg(FullPath(edOutputFile->text()));
    if (Ask(question, QStringLiteral("Warning"), TMessageIcon::Question, TMessageButtons::YesNo) ==
        TMessageResult::Yes) {
        return true;
    }
    // Back to the repaired name, ready for another one to be typed.
    edOutputFile->setFocus(Qt::OtherFocusReason);
    edOutputFile->selectAll();
    return false;
}

} // namespace tessary
