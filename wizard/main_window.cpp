// main_window.cpp -- TfmMain: its creation and destruction, the moves
// between the pages, the keyboard, and the program's log.
#include "main_window.h"

#include "error_report.h"
#include "file_streams.h"
#include "files_model.h"
#include "help_topics.h"
#include "paths.h"
#include "program_info.h"
#include "program_path.h"
#include "ui_services.h"
#include "wizard_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>

#include <exception>
#include <utility>

namespace tessary {

TfmMain::TfmMain(QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      LogFileName(ProgramLogFile()), FArguments(std::move(arguments)) {
    FEngineOptions.CreateOutput = FileOutputFactory();
    CreateControls();
    PrepareRuns();
    FormCreate();
    // F1 is seen before the focused control can take it (see eventFilter).
    QCoreApplication::instance()->installEventFilter(this);
}

TfmMain::~TfmMain() {
    QCoreApplication::instance()->removeEventFilter(this);
    FormDestroy();
}

// ---------------------------------------------------------------------------
// Creation, activation, destruction

void TfmMain::FormCreate() {
    HelpFolderName = QString::fromStdString(HelpFolder(ExtractFilePath(ProgramFilePath())));
    FScanning = true;
    nbWorkArea->setCurrentIndex(pgWelcome);
    FHelpContext = HelpContextWelcome;
    ShowWelcomeLayout();
    imLogo->setPixmap(QPixmap(QStringLiteral(":/logo")));
    setWindowIcon(QIcon(imLogo->pixmap()));
    // The caption is also what the task bar shows. No application display
    // name is set: the desktop would append it to the caption of every
    // message box and of the About box.
    setWindowTitle(QString::fromStdString(GetTitle()));
    FLog = std::make_unique<TLog>();
    SetErrorSink([this](const std::string& text, int32_t kind) { return LogSink(text, kind); });
}

void TfmMain::FormActivate() {
    if (FArguments.isEmpty()) {
        return;
    }
    // Once a scan has begun, the names belong to it: replacing them now would
    // write this archive's repair under a name made for another one, and
    // enable Next in the middle of a run.
    if (CurrentPage() != pgWelcome && CurrentPage() != pgSelection) {
        return;
    }
    SetEditText(edInputFile, FArguments.first());
    btnNext->setEnabled(true);
    if (CurrentPage() == pgWelcome) {
        FocusPage(); // the input rule may have taken the focus from Next
    }
}

void TfmMain::FormDestroy() {
    // A run still going is stopped at its next report; the engine goes only
    // once its worker has returned.
    FRun.RequestStop();
    FRun.Join();
    FFilesModel->SetView(nullptr);
    FEngine.reset();
    // Reports after this point have no log to go to; they must not reach a
    // window that is being destroyed.
    SetErrorSink({});
    if (FLog) {
        try {
            FLog->SaveToFile(LogFileName, true);
        } catch (...) {
            // The program ends normally whatever became of the log file.
        }
        FLog.reset();
    }
}

bool TfmMain::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        // The window becomes the program's active window: when first shown,
        // and when another window of the program (not one of its own message
        // boxes or file dialogs) hands the focus back.
        if (!FActivatedBefore || FFocusWentToOwnWindow) {
            FActivatedBefore = true;
            FFocusWentToOwnWindow = false;
            Guarded([this] { FormActivate(); });
        }
        break;
    case QEvent::WindowDeactivate: {
        const QWidget* active = QApplication::activeWindow();
        FFocusWentToOwnWindow = active != nullptr && active != this && FOwnModalDepth == 0;
        break;
    }
    default:
        break;
    }
    return QWidget::event(event);
}

void TfmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FCentred) {
        FCentred = true;
        if (const QScreen* where = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(where->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

// Enter presses the focused button, or else the default button Next.
void TfmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused ? focused : btnNext;
        if (target->isVisible() && target->isEnabled()) {
            target->click();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

int TfmMain::CurrentPage() const {
    return nbWorkArea->currentIndex();
}

void TfmMain::ShowPage(int page) {
    nbWorkArea->setCurrentIndex(page);
    ShowPageTitles(page);
    FocusPage();
}

// Where the focus goes on each page: the input box on Selection, with its
// text selected so that typing replaces it; the page itself during a run;
// Next elsewhere while it is enabled. Never Cancel: Enter would quit.
void TfmMain::FocusPage() {
    QWidget* target = nbWorkArea->currentWidget();
    if (CurrentPage() == pgSelection) {
        target = edInputFile;
    } else if (CurrentPage() != pgScan && CurrentPage() != pgSaving && btnNext->isEnabled()) {
        target = btnNext;
    }
    target->setFocus(Qt::OtherFocusReason);
    if (target == edInputFile) {
        edInputFile->selectAll();
    }
}

// A button that is disabled while it has the focus hands it on to the next
// one in the tab order, Cancel, where the next Enter would quit: the page
// takes it back instead.
void TfmMain::SetButtonEnabled(QPushButton* button, bool enabled) {
    if (!enabled && focusWidget() == button) {
        QWidget* page = CurrentPage() == pgSelection ? static_cast<QWidget*>(edInputFile)
                                                     : nbWorkArea->currentWidget();
        page->setFocus(Qt::OtherFocusReason);
    }
    button->setEnabled(enabled);
}

void TfmMain::SetRunButtonsEnabled(bool enabled) {
    SetButtonEnabled(btnNext, enabled);
    SetButtonEnabled(btnBack, enabled);
}

// ---------------------------------------------------------------------------
// Buttons

void TfmMain::btnNextClick() {
    Guarded([this] {
        // During a run Next is disabled and the run moves on by itself; a
        // click that arrives anyway must not start a second run.
        if (RunInProgress()) {
            return;
        }
        switch (CurrentPage()) {
        case pgWelcome:
            btnBack->show();
            ShowHeaderLayout();
            ShowPage(pgSelection);
            edInputFileChange();
            FHelpContext = HelpContextSelection;
            break;
        case pgSelection:
            ScanSelection();
            break;
        case pgResults:
            RebuildArchive();
            break;
        case pgFinish:
            // Without a repaired archive there is nothing to open.
            if (cbExecAfterClose->isChecked() && FEngine && FEngine->WrittenEntries() > 0) {
                OpenDocument(this, edOutputFile->text());
            }
            close();
            break;
        default:
            break;
        }
    });
}

void TfmMain::btnBackClick() {
    Guarded([this] {
        if (RunInProgress()) {
            return;
        }
        switch (CurrentPage()) {
        case pgSelection:
            btnBack->hide();
            ShowWelcomeLayout();
            btnNext->setEnabled(true);
            ShowPage(pgWelcome);
            FHelpContext = HelpContextWelcome;
            break;
        case pgResults:
        case pgFinish:
            ReturnToSelection();
            break;
        default:
            break;
        }
    });
}

void TfmMain::ReturnToSelection() {
    btnNext->setEnabled(true);
    btnNext->setText(QStringLiteral("Next >"));
    ShowHeaderLayout();
    ShowPage(pgSelection);
    FHelpContext = HelpContextSelection;
}

// ---------------------------------------------------------------------------
// Log, messages and errors

int32_t TfmMain::LogSink(const std::string& text, int32_t kind) {
    AddLogLine(text, kind);
    return 0;
}

void TfmMain::AddLogLine(const std::string& text, int32_t kind) {
    if (FLog) {
        FLog->Add(static_cast<uint8_t>(kind), text.c_str());
    }
}

TMessageResult TfmMain::Ask(const QString& text, const QString& caption, TMessageIcon icon,
                            TMessageButtons buttons) {
    ++FOwnModalDepth;
    const TMessageResult result = MessageBox(this, text, caption, icon, buttons);
    --FOwnModalDepth;
    return result;
}

// The error display: the program's title as caption, an error icon, OK.
void TfmMain::ShowError(const QString& text) {
    Ask(text, QString::fromStdString(GetTitle()), TMessageIcon::Error, TMessageButtons::Ok);
}

// Runs a handler; a failure that escapes it goes to the error display, and
// the window goes on with the next event.
void TfmMain::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(FailureText(error));
    }
}

} // namespace tessary
