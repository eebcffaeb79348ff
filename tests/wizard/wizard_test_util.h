// wizard_test_util.h -- what the wizard tests share: a stand-in for the
// desktop's message boxes, dialogs and document opening that answers from a
// script and records every request, and damaged archives to repair.
#pragma once

#include "arcsalve.h"
#include "links.h"
#include "main_window.h"
#include "ui_services.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tessary::test {

struct TRecordedMessage {
    QString Text;
    QString Caption;
    TMessageIcon Icon;
    TMessageButtons Buttons;
};

// Installs itself as the desktop services for its lifetime; web links go
// through the desktop's opener, as in the program, and are recorded with the
// documents.
class TDesktopStandIn {
public:
    TDesktopStandIn();
    ~TDesktopStandIn();
    TDesktopStandIn(const TDesktopStandIn&) = delete;
    TDesktopStandIn& operator=(const TDesktopStandIn&) = delete;

    // Answers for the coming message boxes, oldest first; Ok once they run out.
    QList<TMessageResult> Answers;
    // Runs inside each message box, while it is "showing".
    std::function<void(const TRecordedMessage&)> WhileShowing;
    QList<TRecordedMessage> Messages;

    // Answers for the coming file dialogs; a cancellation once they run out.
    QList<std::optional<QString>> DialogAnswers;
    QList<TFileDialogRequest> Dialogs;

    // Every file or address handed to the desktop to open, and the window
    // each was opened for.
    QStringList Opened;
    QList<QWidget*> OpenedFor;

private:
    TMessageBoxFunction FOldMessageBox;
    TFileDialogFunction FOldFileDialog;
    TOpenDocumentFunction FOldOpenDocument;
    TOpenLinkFunction FOldOpenLink;
};

// What every wizard test program does once before its cases: a closed window
// must not end the program, and the product and version texts are read.
void PrepareWizardProgram();

// The clock that every engine built from the options it is installed in
// looks at, on the engine's worker thread. The real clock unless a test makes
// it jump a second at every look, so that the engine reports at every
// opportunity; each look may first sleep, for a slow engine; and a test may
// hold the engine at its next look while it does something during the run.
class TEngineClock {
public:
    TEngineClock();
    // Lets a held engine go.
    ~TEngineClock();
    TEngineClock(const TEngineClock&) = delete;
    TEngineClock& operator=(const TEngineClock&) = delete;

    void Install(TArcsalveOptions& options);
    // The clock jumps at every look and the read buffer is small, so that a
    // test sees several reports even from a small archive.
    void ReportAtEveryStep(TArcsalveOptions& options);
    void SleepAtEveryLook(std::chrono::microseconds pause);
    // The next look at the clock, by the next run or the current one, waits
    // until `during` has run on this thread; then the run goes on. Whatever
    // `during` stops, the engine sees at its next report.
    void During(std::function<void()> during);
    // Lets a held engine go without running `during`.
    void Release();

private:
    struct TState;

    std::shared_ptr<TState> FState;
    QTimer FPoll;
    std::function<void()> FDuring;
};

// Waits until `window` has no run in progress: its worker has ended and the
// page it moved on to takes input again.
void WaitForRun(TfmMain& window);

// One wizard window in a folder of its own, with the desktop stood in for
// and the engine's clock in the test's hands; its log goes to
// log/tessary.log in that folder.
struct TWizard {
    explicit TWizard(QStringList arguments = {});
    ~TWizard();
    QString Path(const QString& name) const { return Folder.filePath(name); }
    TfmMain& operator*() { return *Window; }
    TfmMain* operator->() { return Window.get(); }

    // Shows the window and waits until it is the active one.
    void ShowActive();
    // Welcome, Next: the Selection page with both names typed in.
    void Select(const QString& input, const QString& output);
    // Next, and the run it starts, if any, to its end.
    void Next();
    // From the Selection page through the scan to the Results page.
    void Scan(const QString& input, const QString& output);

    QTemporaryDir Folder;
    TDesktopStandIn Desktop;
    TEngineClock Clock;
    std::unique_ptr<TfmMain> Window;
};

// Writes `bytes` to `path`, creating the file; returns `path`.
QString WriteFile(const QString& path, const std::string& bytes);
std::string ReadFile(const QString& path);

// An archive of `count` small entries named "file<i>.txt" (the first with
// `firstName` instead, when given) whose central directory and end record are
// lost, as in an interrupted download.
std::string DamagedArchive(int count, const std::string& firstName = {});

} // namespace tessary::test
