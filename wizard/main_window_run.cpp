// main_window_run.cpp -- TfmMain's two engine runs, the scan and the rebuild:
// each starts on a worker thread, shows its progress as the worker reports
// it, can be asked to stop, and moves the wizard on when it ends.
//
// The run's state as the window shows it (FRunState):
//   Idle     - no run. Cancel closes the window; Next and Back move on.
//   Running  - the Scan or Saving page; the worker owns the engine and the
//              window reads nothing of it. Next and Back are disabled and
//              ignore a click or an Enter that reaches them anyway. Cancel
//              and the close box ask the stop question while the worker goes
//              on; OK raises the stop flag, which the engine sees at its next
//              report. The page moves on only when the worker's Finished
//              signal is handled.
//   Settling - the run has ended and its next page (Results, Finish) is on
//              the screen, but for SettleMs Next and Back stay disabled and
//              Cancel and the close box still ask the stop question. A press
//              meant for the run's page can reach the window just after the
//              page changed: the first layout of the list takes a moment (a
//              fifth of a second for 1.5 million entries), and a hand takes
//              longer. Such an Enter does nothing and such a Cancel asks
//              instead of quitting; OK keeps what the run found (and closes
//              the window for the close box).
//
// The races, and how each comes out:
// - A press against the end of the run: presses and Finished are handled in
//   the order they arrive. Before Finished the press meets Running, after it
//   Settling; either way Cancel asks and Enter does nothing.
// - The run ends while the stop question is showing (the box's own event
//   loop delivers Finished): only FEndPending is noted, and the end is
//   handled once the question has been answered, never inside it. A stop
//   asked for after the engine's last report changes nothing: OK on a scan
//   that ended meanwhile keeps its whole list, OK on a stopped one keeps what
//   it found, and OK on the close box closes the window after the end.
// - Another Cancel while the question shows cannot reach the window (the box
//   is modal) and is ignored if it does; after an OK, Cancel asks again until
//   the run has ended, while a second close box only waits for the end.
// - Progress reports: queued before their run's Finished, so none arrives
//   once the page has moved on.
// - The window destroyed during a run: FormDestroy raises the stop flag and
//   joins the worker before the engine goes.
#include "main_window.h"

#include "entry_reasons.h"
#include "entry_text.h"

#include "file_streams.h"
#include "files_model.h"
#include "help_topics.h"
#include "output_target.h"
#include "split_input.h"
#include "ui_services.h"
#include "wizard_text.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <exception>
#include <utility>

namespace tessary {

namespace {

// How long after a run's end its next page takes no Next, Back or Enter.
constexpr int SettleMs = 250;

} // namespace

void TfmMain::PrepareRuns() {
    // Emitted on the worker, handled here on the window's thread.
    connect(&FRun, &TEngineRun::Progress, this, &TfmMain::ShowProgress);
    connect(&FRun, &TEngineRun::Finished, this, &TfmMain::RunFinished);
    FSettleTimer = new QTimer(this);
    FSettleTimer->setSingleShot(true);
    connect(FSettleTimer, &QTimer::timeout, this, &TfmMain::EndSettling);
}

void TfmMain::ScanSelection() {
    TOutputTarget target;
    if (!edInputFile->text().isEmpty() && !CheckOutputPath(target)) {
        Ask(QStringLiteral("Output path corrupted!"), QStringLiteral("Error"), TMessageIcon::Error,
            TMessageButtons::Ok);
    }
    const QString input = edInputFile->text();
    if (input.isEmpty() || edOutputFile->text().isEmpty()) {
        return;
    }
    FScanning = true;
    pbTotal->setValue(0);
    lblFilesFound->setText(QString::fromLatin1(NothingFoundText));

    // A damaged archive that cannot be opened leaves the previous engine and
    // its results as they were.
    // Any part of an archive in parts opens the whole set.
    std::unique_ptr<TInputStream> stream = OpenArchiveInput(ToNativePath(input));
    if (!MayReplaceOutput(target, *stream)) {
        return;
    }
    // Only the file the user agreed to replace, while it stays unchanged; a
    // file that appears under the name after the question is not replaced.
    FEngineOptions.CreateOutput = FileOutputFactory(ReplacingOptionsFor(target));
    DiscardEngine();
    FEngine = std::make_unique<TArcsalve>(
        std::move(stream),
        [this](int32_t percent, const char* text) { return EngineProgress(percent, text); },
        FEngineOptions);

    ShowPage(pgScan);
    StartRun([engine = FEngine.get()] { engine->BeginScanFile(); });
}

void TfmMain::RebuildArchive() {
    if (!FEngine) {
        return;
    }
    ShowPage(pgSaving);
    pbFilesCreate->setValue(0);
    lbFilesCreated->setText(QString::fromLatin1(NothingRecoveredText));
    StartRun([engine = FEngine.get(), path = ToNativePath(edOutputFile->text())] {
        engine->GetRecovered(path);
    });
}

void TfmMain::StartRun(std::function<void()> work) {
    SetRunButtonsEnabled(false);
    FRunState = TRunState::Running;
    FRun.Start(std::move(work));
}

bool TfmMain::EngineProgress(int32_t percent, const char* text) {
    return FRun.Report(percent, text);
}

void TfmMain::ShowProgress(int percent, const QString& count) {
    if (percent > 100) {
        percent = 100;
    }
    if (FScanning) {
        pbTotal->setValue(percent);
        lblFilesFound->setText(count + u' ' + QString::fromLatin1(FilesFoundText));
    } else {
        pbFilesCreate->setValue(percent);
        lbFilesCreated->setText(count + u' ' + QString::fromLatin1(FilesRepairedText));
    }
}

void TfmMain::RunFinished() {
    if (FAskingToStop) {
        FEndPending = true;
        return;
    }
    Guarded([this] {
        EndRun();
        if (FCloseAfterRun) {
            close();
        }
    });
}

// The worker has returned: the engine is the window's again. A failure to
// create or write the repaired archive left nothing under its name and the
// damaged archive untouched: the error display says why, and the Selection
// page is offered again, where Next scans anew with a new engine.
void TfmMain::EndRun() {
    FEndPending = false;
    FRun.Join();
    const bool scanned = FScanning;
    FScanning = false;
    if (const std::exception_ptr failure = FRun.Failure()) {
        FRunState = TRunState::Idle;
        SetRunButtonsEnabled(true);
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            ShowError(FailureText(error));
        }
        ReturnToSelection();
        return;
    }
    if (FCloseAfterRun) {
        FRunState = TRunState::Idle;
        return; // the caller closes the window; nothing runs on unseen
    }
    if (scanned) {
        EnterResultsPage();
    } else {
        EnterFinishPage();
    }
    FRunState = TRunState::Settling;
    repaint(); // the new page is on the screen before any further input is handled
    FSettleTimer->start(SettleMs);
}

void TfmMain::EndSettling() {
    FSettleTimer->stop();
    if (FRunState != TRunState::Settling) {
        return;
    }
    FRunState = TRunState::Idle;
    QWidget* const focused = focusWidget();
    SetRunButtonsEnabled(true);
    // Next takes the focus as on any arrival at the page, unless the user
    // has put it elsewhere meanwhile; never Cancel, where Enter would quit.
    if (focused == nullptr || focused == nbWorkArea->currentWidget() || focused == btnClose) {
        FocusPage();
    }
}

void TfmMain::btnCloseClick() {
    Guarded([this] {
        if (FRunState == TRunState::Idle) {
            close();
        } else if (!FAskingToStop && AskToStop(false)) {
            close();
        }
    });
}

// The close box during a run asks the stop question too; on OK the run
// stops at its next report and the window closes once it has ended, so
// nothing runs on unseen and the repaired archive is either whole or absent.
void TfmMain::closeEvent(QCloseEvent* event) {
    if (FRunState == TRunState::Idle) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    if (FAskingToStop || FCloseAfterRun) {
        return;
    }
    bool closeNow = false;
    Guarded([&] { closeNow = AskToStop(true); });
    if (closeNow) {
        event->accept();
    }
}

// Asks whether to stop; the run goes on meanwhile and may end before the
// answer comes. Returns whether the window is to close now.
bool TfmMain::AskToStop(bool closing) {
    FAskingToStop = true;
    const bool ok =
        Ask(QStringLiteral("Do you realy want to stop process?"), QStringLiteral("Warning"),
            TMessageIcon::Question, TMessageButtons::OkCancel) == TMessageResult::Ok;
    FAskingToStop = false;
    if (ok) {
        FRun.RequestStop();
        FCloseAfterRun = FCloseAfterRun || closing;
    }
    if (FEndPending) {
        EndRun();
    }
    if (FCloseAfterRun && FRunState == TRunState::Settling) {
        FSettleTimer->stop();
        FRunState = TRunState::Idle;
    }
    return FCloseAfterRun && FRunState == TRunState::Idle;
}

void TfmMain::EnterResultsPage() {
    ShowPage(pgResults);
    FFilesModel->SetView(&FEngine->FView);
    // A row's tooltip says why its entry is written as it is, where that is
    // more than its local header says.
    FFilesModel->SetRowToolTip([engine = FEngine.get()](int row) {
        QStringList lines;
        for (const std::string& reason : EntryReasons(engine->Entries()[static_cast<size_t>(row)],
                                                      engine->FileSize(), engine->InputParts()))
            lines << FromUtf8(reason);
        return lines.join(u'\n');
    });
    ShowScanCutShort(ScanNoteText(*FEngine));
    FHelpContext = HelpContextResults;
}

void TfmMain::EnterFinishPage() {
    ShowWelcomeLayout();
    ShowPage(pgFinish);
    ShowFinishText(FinishText(FEngine.get(), edInputFile->text()));
    btnNext->setText(QStringLiteral("Finish"));
    FHelpContext = HelpContextFinish;
}

void TfmMain::DiscardEngine() {
    // The list must let go of the rows before the engine that holds them goes.
    FFilesModel->SetView(nullptr);
    FFilesModel->SetRowToolTip({});
    FEngine.reset();
}

} // namespace tessary
