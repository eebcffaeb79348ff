// wizard_flow_test.cpp -- drives the real wizard window, headless, through
// the walks a user makes: a whole repair, the input rule, the output path
// check, failures to open or create, stopping a run, going back, the finish
// page, the command line and the log written at exit.
#include "error_report.h"
#include "file_streams.h"
#include "files_model.h"
#include "main_window.h"
#include "program_info.h"
#include "tlog.h"
#include "wizard_test_util.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <memory>

using namespace tessary;
using tessary::test::DamagedArchive;
using tessary::test::ReadFile;
using tessary::test::WriteFile;

namespace {

// One wizard window in a folder of its own, with the desktop stood in for.
struct TWizard {
    explicit TWizard(QStringList arguments = {}) {
        Window = std::make_unique<TfmMain>(std::move(arguments));
        Window->LogFileName = Path("log/tessary.log").toStdString();
    }
    QString Path(const QString& name) const { return Folder.filePath(name); }
    TfmMain& operator*() { return *Window; }
    TfmMain* operator->() { return Window.get(); }

    // Welcome, Next: the Selection page with both names typed in.
    void Select(const QString& input, const QString& output) {
        if (Window->CurrentPage() == TfmMain::pgWelcome) {
            Window->btnNext->click();
        }
        Window->edInputFile->setText(input);
        Window->edOutputFile->setText(output);
    }
    // From the Selection page through the scan to the Results page.
    void Scan(const QString& input, const QString& output) {
        Select(input, output);
        Window->btnNext->click();
    }

    QTemporaryDir Folder;
    test::TDesktopStandIn Desktop;
    std::unique_ptr<TfmMain> Window;
};

QStringList Titles(TfmMain& w) {
    return {w.lbPageTitle->text(), w.lbPageSubTitle->text()};
}

// Reads an archive back with an independent reader, when one is installed.
bool UnzipAccepts(const QString& archive) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tqq"), archive});
    if (!unzip.waitForStarted()) {
        return true; // no reader to ask
    }
    unzip.waitForFinished();
    return unzip.exitStatus() == QProcess::NormalExit && unzip.exitCode() == 0;
}

} // namespace

class TWizardFlowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void StartsOnTheWelcomePageInTheWelcomeLayout();
    void RegionsAndButtonsSitWhereTheLayoutPutsThem();
    void CommandLinePathGoesIntoTheInputBoxWhenTheWindowIsActivated();
    void CommandLinePathThatDoesNotExistStillEnablesNext();
    void ReturnFromAnotherWindowPutsTheCommandLinePathBack();
    void ReturnFromAnotherWindowAfterTheScanKeepsTheNames();
    void OwnMessageBoxesAndDialogsDoNotCountAsAnotherWindow();

    void InputRuleWhileTyping();
    void InputRuleOverwritesAHandTypedOutputName();
    void BrowseButtonsFillTheBoxes();

    void WholeRepairEndsInAnArchiveReadersAccept();
    void ProgressLabelsFollowTheEngine();
    void EmptyOutputBoxStaysOnSelection();
    void MissingOutputFolderIsCreatedAtNext();
    void UncreatableOutputFolderWarnsAndTheScanStillRuns();
    void UnopenableInputShowsTheErrorAndKeepsTheOldResults();
    void OutputNamingTheDamagedArchiveFailsAndLeavesItUntouched();
    void FailureToCreateTheRepairedFileReturnsToSelection();

    void CancelDuringScanAnsweredOkShowsTheEntriesFoundSoFar();
    void CancelDuringScanAnsweredCancelChangesNothing();
    void CancelDuringRebuildAnsweredOkGoesToFinish();
    void CancelWithoutARunClosesTheWindow();

    void BackFromResultsAndFinishThenANewScanWithANewEngine();
    void EmptyResultListAndARebuildThatWritesNothing();
    void EmptyDamagedFileKeepsNothingIsFound();
    void FinishSummaryAndOpeningTheArchive();
    void CheckBoxKeepsItsStateAcrossRepairs();
    void CancelOnTheFinishPageNeverOpensTheArchive();
    void EnterPressesNext();

    void LogIsWrittenBesideTheProgramAtExit();
    void ReportedErrorsBecomeLogLines();
};

void TWizardFlowTest::initTestCase() {
    // Closing a wizard window in one test must not end the others.
    QApplication::setQuitOnLastWindowClosed(false);
    SelectProduct();
    ReadFileVersion();
}

// ---------------------------------------------------------------------------
// Start-up and the window

void TWizardFlowTest::StartsOnTheWelcomePageInTheWelcomeLayout() {
    TWizard w;
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgWelcome));
    QVERIFY(!w->imWelcome->isHidden());
    QVERIFY(w->pnlTop->isHidden());
    QVERIFY(w->btnBack->isHidden());
    QVERIFY(w->btnNext->isEnabled());
    QCOMPARE(w->btnNext->text(), QStringLiteral("Next >"));
    QVERIFY(w->btnClose->isEnabled());
    QVERIFY(w->edInputFile->text().isEmpty());
    QVERIFY(w->edOutputFile->text().isEmpty());
    QCOMPARE(w->HelpContext(), 1);
    QCOMPARE(w->windowTitle(), QStringLiteral("Quenlor Tessary 1.1"));
    QVERIFY(!w->cbExecAfterClose->isChecked());
    // Both pictures come from the program's resources.
    QVERIFY(!w->imLogo->pixmap().isNull());
    QCOMPARE(w->imLogo->pixmap().size(), QSize(48, 48));
    QCOMPARE(w->imWelcome->pixmap().size(), QSize(169, 332));
}

void TWizardFlowTest::RegionsAndButtonsSitWhereTheLayoutPutsThem() {
    TWizard w;
    QCOMPARE(w->size(), QSize(492, 377));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->pnlBottom->geometry(), QRect(0, 332, 492, 45));
    QCOMPARE(w->btnHelp->geometry(), QRect(10, 12, 75, 24));
    QCOMPARE(w->btnBack->geometry(), QRect(248, 12, 75, 24));
    QCOMPARE(w->btnNext->geometry(), QRect(323, 12, 75, 24));
    QCOMPARE(w->btnClose->geometry(), QRect(407, 12, 75, 24));
    QCOMPARE(w->btnHelp->text(), QStringLiteral("Help"));
    QCOMPARE(w->btnBack->text(), QStringLiteral("< Back"));
    QCOMPARE(w->btnClose->text(), QStringLiteral("Cancel"));
    QCOMPARE(w->bvBottom->geometry(), QRect(0, 330, 492, 2));
    // Welcome layout: the picture's strip at the left, the work area beside it.
    QCOMPARE(w->imWelcome->geometry(), QRect(0, 0, 168, 330));
    QCOMPARE(w->pnlWorkArea->geometry(), QRect(168, 0, 324, 330));
    QCOMPARE(w->nbWorkArea->geometry(), QRect(0, 2, 324, 328));
    QCOMPARE(w->lbWelcomeTitle->text(), QStringLiteral("Tessary Wizard"));
    QCOMPARE(w->lbWelcomeText->geometry().topLeft(), QPoint(16, 64));
    QCOMPARE(w->lbWelcomeText->width(), 283);
    QCOMPARE(w->font().pixelSize(), 11);
    QCOMPARE(w->lbWelcomeTitle->font().pixelSize(), 17);
    QVERIFY(w->lbWelcomeTitle->font().bold());

    // Header layout: the header across the top, the work area below it.
    w->btnNext->click();
    QCOMPARE(w->pnlTop->geometry(), QRect(0, 0, 492, 57));
    QVERIFY(!w->pnlTop->isHidden());
    QVERIFY(w->imWelcome->isHidden());
    QCOMPARE(w->pnlWorkArea->geometry(), QRect(0, 57, 492, 273));
    QCOMPARE(w->lbPageTitle->geometry().topLeft(), QPoint(24, 8));
    QCOMPARE(w->lbPageSubTitle->geometry(), QRect(40, 24, 425, 26));
    QCOMPARE(w->imLogo->geometry(), QRect(436, 1, 54, 54));
    QCOMPARE(w->edInputFile->geometry().topLeft(), QPoint(16, 50));
    QCOMPARE(w->edInputFile->width(), 460);
    QCOMPARE(w->btnBrowseInput->geometry(), QRect(401, 77, 75, 25));
    QCOMPARE(w->edOutputFile->geometry().topLeft(), QPoint(16, 152));
    QCOMPARE(w->btnBrowseOutput->geometry(), QRect(401, 179, 75, 25));
    QCOMPARE(w->lvFiles->geometry(), QRect(16, 16, 465, 241));
    QCOMPARE(w->pbTotal->geometry(), QRect(16, 136, 460, 25));
    QCOMPARE(w->pbFilesCreate->geometry(), QRect(16, 136, 465, 25));
    QCOMPARE(w->cbExecAfterClose->geometry(), QRect(16, 152, 313, 17));

    // Tab order of the button bar: Next, Cancel, Help, Back.
    QCOMPARE(w->btnNext->nextInFocusChain(), static_cast<QWidget*>(w->btnClose));
    QCOMPARE(w->btnClose->nextInFocusChain(), static_cast<QWidget*>(w->btnHelp));
    QCOMPARE(w->btnHelp->nextInFocusChain(), static_cast<QWidget*>(w->btnBack));
}

void TWizardFlowTest::CommandLinePathGoesIntoTheInputBoxWhenTheWindowIsActivated() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("in/broken.zip"), DamagedArchive(3));
    TWizard w({archive});
    // Nothing happens before the window becomes active.
    QVERIFY(w->edInputFile->text().isEmpty());
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    QCOMPARE(w->edInputFile->text(), archive);
    QCOMPARE(w->edOutputFile->text(), folder.filePath("in/recovered_broken.zip"));
    QVERIFY(w->btnNext->isEnabled());
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(w->edInputFile->text(), archive);
    QVERIFY(w->btnNext->isEnabled());
}

void TWizardFlowTest::CommandLinePathThatDoesNotExistStillEnablesNext() {
    TWizard w({QStringLiteral("/no/such/archive.zip")});
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    QCOMPARE(w->edInputFile->text(), QStringLiteral("/no/such/archive.zip"));
    QVERIFY(w->edOutputFile->text().isEmpty());
    QVERIFY(w->btnNext->isEnabled());
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QVERIFY(!w->btnNext->isEnabled());
}

void TWizardFlowTest::ReturnFromAnotherWindowPutsTheCommandLinePathBack() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(1));
    TWizard w({archive});
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    w->btnNext->click();
    w->edInputFile->setText(other);
    QCOMPARE(w->edOutputFile->text(), folder.filePath("recovered_b.zip"));

    {
        // Another window of the program, such as the About box, takes the
        // focus and gives it back.
        QDialog box(w.Window.get());
        box.show();
        box.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&box));
        QCOMPARE(w->edInputFile->text(), other);
    }
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(w.Window.get()));
    QCOMPARE(w->edInputFile->text(), archive);
    QCOMPARE(w->edOutputFile->text(), folder.filePath("recovered_a.zip"));
    QVERIFY(w->btnNext->isEnabled());
}

void TWizardFlowTest::ReturnFromAnotherWindowAfterTheScanKeepsTheNames() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(2));
    TWizard w({archive});
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    w->btnNext->click();
    w->edInputFile->setText(other);
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    {
        QDialog box(w.Window.get());
        box.show();
        box.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&box));
    }
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(w.Window.get()));
    QCOMPARE(w->edInputFile->text(), other);
    QCOMPARE(w->edOutputFile->text(), folder.filePath("recovered_b.zip"));
    w->btnNext->click();
    QCOMPARE(w->lblFinish->text(),
             QStringLiteral("The product has successfully repaired 2 in the archive b.zip"));
    QVERIFY(QFileInfo::exists(folder.filePath("recovered_b.zip")));
    QVERIFY(!QFileInfo::exists(folder.filePath("recovered_a.zip")));
}

void TWizardFlowTest::OwnMessageBoxesAndDialogsDoNotCountAsAnotherWindow() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(2));
    TWizard w({archive});
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    w->btnNext->click();
    w->edInputFile->setText(other);
    // The output path warning takes the focus while it shows; afterwards the
    // scan must read the name the user typed, not the command line's.
    QFile(folder.filePath("blocker")).open(QIODevice::WriteOnly);
    w->edOutputFile->setText(folder.filePath("blocker/out.zip"));
    std::unique_ptr<QDialog> stealer;
    w.Desktop.WhileShowing = [&](const test::TRecordedMessage&) {
        stealer = std::make_unique<QDialog>(w.Window.get());
        stealer->show();
        stealer->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(stealer.get()));
        stealer->close();
        w->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(w.Window.get()));
    };
    w->btnNext->click();
    w.Desktop.WhileShowing = nullptr;
    QCOMPARE(w.Desktop.Messages.size(), 1);
    QTest::qWait(50);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->edInputFile->text(), other);
    QCOMPARE(w->FEngine->FView.size(), size_t(2));
}

// ---------------------------------------------------------------------------
// Selection page

void TWizardFlowTest::InputRuleWhileTyping() {
    TWizard w;
    const QString archive = WriteFile(w.Path("ab.zip"), DamagedArchive(1));
    WriteFile(w.Path("ab.zipx"), DamagedArchive(1));
    QDir(w.Folder.path()).mkdir(QStringLiteral("ab.zi"));
    w->btnNext->click();
    QVERIFY(!w->btnNext->isEnabled());
    QString typed;
    for (const QChar c : archive + QStringLiteral("x")) {
        QTest::keyClick(w->edInputFile, c.toLatin1());
        typed += c;
        QCOMPARE(w->edInputFile->text(), typed);
        // Enabled exactly when the text names an existing file; the folder
        // "ab.zi" on the way does not count.
        QCOMPARE(w->btnNext->isEnabled(), QFileInfo(typed).isFile());
    }
    QCOMPARE(w->edOutputFile->text(), w.Path("recovered_ab.zipx"));
    QTest::keyClick(w->edInputFile, Qt::Key_Backspace);
    QVERIFY(w->btnNext->isEnabled());
    QCOMPARE(w->edOutputFile->text(), w.Path("recovered_ab.zip"));
}

void TWizardFlowTest::InputRuleOverwritesAHandTypedOutputName() {
    TWizard w;
    const QString archive = WriteFile(w.Path("a.zip"), DamagedArchive(1));
    WriteFile(w.Path("b.zip"), DamagedArchive(1));
    w.Select(archive, QStringLiteral("/mine/own.zip"));
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/mine/own.zip"));
    // A change that names no existing file leaves the typed name alone...
    w->edInputFile->setText(w.Path("missing.zip"));
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/mine/own.zip"));
    QVERIFY(!w->btnNext->isEnabled());
    // ...one that names an existing file overwrites it.
    w->edInputFile->setText(w.Path("b.zip"));
    QCOMPARE(w->edOutputFile->text(), w.Path("recovered_b.zip"));
    // Setting the very text the box holds is no change and runs nothing.
    w->edOutputFile->setText(QStringLiteral("/mine/own.zip"));
    w->edInputFile->setText(w.Path("b.zip"));
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/mine/own.zip"));
}

void TWizardFlowTest::BrowseButtonsFillTheBoxes() {
    TWizard w;
    w->btnNext->click();
    w.Desktop.DialogAnswers = {QStringLiteral("/x/out.zip"), QStringLiteral("/x/out"),
                               std::nullopt};
    w->btnBrowseOutput->click();
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/x/out.zip"));
    w->btnBrowseOutput->click();
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/x/out.zip"));
    w->btnBrowseOutput->click(); // cancelled
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/x/out.zip"));
    QCOMPARE(w.Desktop.Dialogs.size(), 3);
    QCOMPARE(w.Desktop.Dialogs.first().Kind, TFileDialogKind::Save);
    QCOMPARE(w.Desktop.Dialogs.first().Filter, QStringLiteral("ZIP (*.zip)"));

    // The open dialog proposes the repaired name even for a file that does
    // not exist; Next stays disabled for it.
    w.Desktop.DialogAnswers = {QStringLiteral("/y/gone.zip"), std::nullopt};
    w->btnBrowseInput->click();
    QCOMPARE(w->edInputFile->text(), QStringLiteral("/y/gone.zip"));
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/y/recovered_gone.zip"));
    QVERIFY(!w->btnNext->isEnabled());
    w->btnBrowseInput->click(); // cancelled
    QCOMPARE(w->edInputFile->text(), QStringLiteral("/y/gone.zip"));
    QCOMPARE(w.Desktop.Dialogs.last().Kind, TFileDialogKind::Open);
}

// ---------------------------------------------------------------------------
// The repair

void TWizardFlowTest::WholeRepairEndsInAnArchiveReadersAccept() {
    TWizard w;
    test::TZipBuilder zip;
    zip.AddDeflated("docs/readme.txt", test::TestBytes(5000, 1, true));
    zip.AddStored("Caf\x82.txt", "menu"); // code page 437 name
    test::TZipEntry utf8("\xC3\xBC"
                         "ber.txt",
                         "text");
    utf8.Flags = 0x0800;
    zip.Add(utf8);
    zip.AddDeflated("photo.jpg", test::TestBytes(20000, 2));
    const QString input = WriteFile(w.Path("broken.zip"), zip.Bytes());
    const std::string damaged = ReadFile(input);

    w->btnNext->click();
    QCOMPARE(Titles(*w),
             QStringList({"Select files", "Specify the corrupted file and the repaired file"}));
    w->edInputFile->setText(input);
    QCOMPARE(w->edOutputFile->text(), w.Path("recovered_broken.zip"));
    QCOMPARE(w->HelpContext(), 2);

    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(Titles(*w), QStringList({"Search results", "The list of repaired archive files"}));
    QCOMPARE(w->HelpContext(), 4);
    QVERIFY(w->btnNext->isEnabled());
    QVERIFY(w->btnBack->isEnabled());
    QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->btnNext));
    QAbstractItemModel* rows = w->lvFiles->model();
    QCOMPARE(rows->rowCount(), 4);
    QCOMPARE(rows->index(0, 0).data().toString(), QStringLiteral("docs/readme.txt"));
    QCOMPARE(rows->index(1, 0).data().toString(), QStringLiteral("Caf\u00E9.txt"));
    QCOMPARE(rows->index(2, 0).data().toString(), QStringLiteral("\u00FCber.txt"));
    QCOMPARE(rows->index(0, 2).data().toString(), QStringLiteral("Excellent"));
    QCOMPARE(rows->index(3, 1).data().toString(), QStringLiteral("19.53 kb"));

    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QCOMPARE(w->HelpContext(), 7);
    QVERIFY(!w->imWelcome->isHidden());
    QVERIFY(w->pnlTop->isHidden());
    QCOMPARE(w->btnNext->text(), QStringLiteral("Finish"));
    QCOMPARE(w->lblFinish->text(),
             QStringLiteral("The product has successfully repaired 4 in the archive broken.zip"));

    const QString output = w.Path("recovered_broken.zip");
    const auto repaired = test::ReadArchive(ReadFile(output));
    QCOMPARE(repaired.Entries.size(), size_t(4));
    QCOMPARE(repaired.Comment, std::string("This Zip file has been recovered!"));
    // Names keep their bytes, whatever the list showed.
    QCOMPARE(repaired.Entries[1].Name, std::string("Caf\x82.txt"));
    QCOMPARE(repaired.Entries[2].Name, std::string("\xC3\xBC"
                                                   "ber.txt"));
    QCOMPARE(test::Extract(repaired.Entries[0]), test::TestBytes(5000, 1, true));
    QVERIFY(UnzipAccepts(output));
    QCOMPARE(ReadFile(input), damaged);

    w->btnNext->click(); // Finish
    QVERIFY(!w->isVisible());
    QVERIFY(w.Desktop.Opened.isEmpty());
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardFlowTest::ProgressLabelsFollowTheEngine() {
    TWizard w;
    test::ReportAtEveryStep(w->FEngineOptions);
    const QString input = WriteFile(w.Path("big.zip"), DamagedArchive(40));
    QStringList scanTexts;
    QStringList saveTexts;
    QTimer watcher;
    watcher.setInterval(0);
    connect(&watcher, &QTimer::timeout, [&] {
        if (w->CurrentPage() == TfmMain::pgScan) {
            scanTexts.append(w->lblFilesFound->text());
            QVERIFY(!w->btnNext->isEnabled());
            QVERIFY(!w->btnBack->isEnabled());
            QCOMPARE(w->HelpContext(), 2);
            QCOMPARE(Titles(*w),
                     QStringList({"Scanning the ZIP archive.",
                                  "Wait till the wizard finds all files in the archive"}));
        } else if (w->CurrentPage() == TfmMain::pgSaving) {
            saveTexts.append(w->lbFilesCreated->text());
            QVERIFY(!w->btnNext->isEnabled());
            QCOMPARE(w->HelpContext(), 4);
            QCOMPARE(Titles(*w),
                     QStringList({"Creating a new ZIP file",
                                  "Wait till the wizard creates the repaired ZIP archive"}));
        }
    });
    watcher.start();
    w.Scan(input, w.Path("out.zip"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QVERIFY(scanTexts.size() > 3);
    QCOMPARE(scanTexts.first(), QStringLiteral("Nothing is found"));
    // Running counts between none and all of them, never going down.
    int previous = 0;
    for (const QString& text : scanTexts.mid(1)) {
        QVERIFY2(text.endsWith(QStringLiteral(" files have been found")), qPrintable(text));
        const int count = text.section(QLatin1Char(' '), 0, 0).toInt();
        QVERIFY(count >= previous && count <= 40);
        previous = count;
    }
    QVERIFY(scanTexts.contains(QStringLiteral("20 files have been found")));
    QCOMPARE(w->lblFilesFound->text(), QStringLiteral("40 files have been found"));
    QCOMPARE(w->pbTotal->value(), 100);

    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(saveTexts.size() > 3);
    QCOMPARE(saveTexts.first(), QStringLiteral("Nothing is recovered"));
    QCOMPARE(w->lbFilesCreated->text(), QStringLiteral("40 files have been repaired"));
    QCOMPARE(w->pbFilesCreate->value(), 100);
    // Percentages above 100 are taken as 100; with no run active the answer is "stop".
    w->pbFilesCreate->setValue(10);
    QVERIFY(!w->EngineProgress(250, "7"));
    QCOMPARE(w->pbFilesCreate->value(), 100);
    QCOMPARE(w->lbFilesCreated->text(), QStringLiteral("7 files have been repaired"));
}

void TWizardFlowTest::EmptyOutputBoxStaysOnSelection() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(1));
    w.Select(input, QString());
    const QStringList before = Titles(*w);
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(Titles(*w), before);
    QVERIFY(!w->FEngine);
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardFlowTest::MissingOutputFolderIsCreatedAtNext() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(1));
    const QString folder = w.Path("new/deeper");
    // The folder appears at Next, before any scan, even when the user stops
    // there and never completes the repair.
    w.Select(input, folder + QStringLiteral("/out.zip"));
    QVERIFY(!QFileInfo(folder).exists());
    w->btnNext->click();
    QVERIFY(QFileInfo(folder).isDir());
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardFlowTest::UncreatableOutputFolderWarnsAndTheScanStillRuns() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    WriteFile(w.Path("plain-file"), "x");
    w.Scan(input, w.Path("plain-file/sub/out.zip"));
    QCOMPARE(w.Desktop.Messages.size(), 1);
    const auto& warning = w.Desktop.Messages.first();
    QCOMPARE(warning.Text, QStringLiteral("Output path corrupted!"));
    QCOMPARE(warning.Caption, QStringLiteral("Error"));
    QCOMPARE(warning.Icon, TMessageIcon::Error);
    QCOMPARE(warning.Buttons, TMessageButtons::Ok);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 2);
}

void TWizardFlowTest::UnopenableInputShowsTheErrorAndKeepsTheOldResults() {
    TWizard w;
    const QString first = WriteFile(w.Path("first.zip"), DamagedArchive(3));
    w.Scan(first, w.Path("out.zip"));
    QCOMPARE(w->lvFiles->model()->rowCount(), 3);
    const TArcsalve* engine = w->FEngine.get();
    w->btnBack->click();

    // The file exists while the user types its name and is gone at Next.
    const QString gone = WriteFile(w.Path("gone.zip"), DamagedArchive(1));
    w->edInputFile->setText(gone);
    QVERIFY(w->btnNext->isEnabled());
    QFile::remove(gone);
    const QStringList before = Titles(*w);
    w->btnNext->click();

    QCOMPARE(w.Desktop.Messages.size(), 1);
    const auto& error = w.Desktop.Messages.first();
    QCOMPARE(error.Text, QStringLiteral("Cannot open file \"%1\". No such file or directory.")
                             .arg(QFileInfo(gone).absoluteFilePath()));
    QCOMPARE(error.Caption, QStringLiteral("Quenlor Tessary 1.1"));
    QCOMPARE(error.Icon, TMessageIcon::Error);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(Titles(*w), before);
    QCOMPARE(w->FEngine.get(), engine);
    QCOMPARE(w->lvFiles->model()->rowCount(), 3);
    QVERIFY(w->btnNext->isEnabled());
    QVERIFY(w->btnBack->isEnabled());
}

// Refused before the scan, with the text the rebuild would give.
void TWizardFlowTest::OutputNamingTheDamagedArchiveFailsAndLeavesItUntouched() {
    TWizard w;
    const QString input = WriteFile(w.Path("broken.zip"), DamagedArchive(3));
    QFile::link(input, w.Path("link.zip"));
    const std::string damaged = ReadFile(input);
    for (const QString& output : {input, w.Path("link.zip"), w.Path("./broken.zip")}) {
        w.Desktop.Messages.clear();
        w.Scan(input, output);
        QCOMPARE(w.Desktop.Messages.size(), 1);
        QVERIFY2(w.Desktop.Messages.first().Text.startsWith(
                     QStringLiteral("Cannot create file \"%1\". ")
                         .arg(QDir::cleanPath(QFileInfo(output).absoluteFilePath()))),
                 qPrintable(w.Desktop.Messages.first().Text));
        QCOMPARE(ReadFile(input), damaged);
        QVERIFY(QFileInfo(w.Path("link.zip")).isSymLink());
        // Back on Selection, usable: Next scans again.
        QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
        QCOMPARE(w->btnNext->text(), QStringLiteral("Next >"));
        QVERIFY(w->btnNext->isEnabled());
        QVERIFY(w->btnBack->isEnabled());
        QVERIFY(w->FStopped);
        QCOMPARE(w->HelpContext(), 2);
    }
}

void TWizardFlowTest::FailureToCreateTheRepairedFileReturnsToSelection() {
    TWizard w;
    const QString input = WriteFile(w.Path("broken.zip"), DamagedArchive(3));
    const std::string damaged = ReadFile(input);
    QDir(w.Folder.path()).mkdir(QStringLiteral("taken.zip")); // a folder holds the name
    w.Scan(input, w.Path("taken.zip"));                       // refused before the scan
    QCOMPARE(w.Desktop.Messages.size(), 1);
    QVERIFY(w.Desktop.Messages.first().Text.startsWith(
        QStringLiteral("Cannot create file \"%1\". ").arg(w.Path("taken.zip"))));
    QCOMPARE(w.Desktop.Messages.first().Caption, QStringLiteral("Quenlor Tessary 1.1"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QVERIFY(QFileInfo(w.Path("taken.zip")).isDir());
    QCOMPARE(QDir(w.Folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
             QStringList({"broken.zip"}));
    QCOMPARE(ReadFile(input), damaged);

    // A new name and Next: a new scan, and this time the repair completes.
    w->edOutputFile->setText(w.Path("fixed.zip"));
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("fixed.zip"))).Entries.size(), size_t(3));
}

// ---------------------------------------------------------------------------
// Stopping and closing

void TWizardFlowTest::CancelDuringScanAnsweredOkShowsTheEntriesFoundSoFar() {
    TWizard w;
    test::ReportAtEveryStep(w->FEngineOptions);
    const QString input = WriteFile(w.Path("big.zip"), DamagedArchive(200));
    w.Select(input, w.Path("out.zip"));
    int reportsAfterStop = -1;
    QTimer::singleShot(0, [&] {
        QCOMPARE(w->CurrentPage(), int(TfmMain::pgScan));
        w->btnClose->click();
        reportsAfterStop = 0;
    });
    w.Desktop.Answers = {TMessageResult::Ok};
    w->btnNext->click();

    QCOMPARE(w.Desktop.Messages.size(), 1);
    const auto& question = w.Desktop.Messages.first();
    QCOMPARE(question.Text, QStringLiteral("Do you realy want to stop process?"));
    QCOMPARE(question.Caption, QStringLiteral("Warning"));
    QCOMPARE(question.Icon, TMessageIcon::Question);
    QCOMPARE(question.Buttons, TMessageButtons::OkCancel);
    QCOMPARE(reportsAfterStop, 0);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    const size_t found = w->FEngine->FView.size();
    QVERIFY(found < 200);
    QCOMPARE(w->lvFiles->model()->rowCount(), int(found));
    QVERIFY(w->FStopped);
    QVERIFY(w->btnNext->isEnabled());
}

void TWizardFlowTest::CancelDuringScanAnsweredCancelChangesNothing() {
    TWizard w;
    test::ReportAtEveryStep(w->FEngineOptions);
    const QString input = WriteFile(w.Path("big.zip"), DamagedArchive(200));
    w.Select(input, w.Path("out.zip"));
    bool stillRunning = false;
    QTimer::singleShot(0, [&] {
        w->btnClose->click();
        stillRunning = !w->FStopped && w->CurrentPage() == TfmMain::pgScan;
    });
    w.Desktop.Answers = {TMessageResult::Cancel};
    w->btnNext->click();
    QCOMPARE(w.Desktop.Messages.size(), 1);
    QVERIFY(stillRunning);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 200);
}

void TWizardFlowTest::CancelDuringRebuildAnsweredOkGoesToFinish() {
    TWizard w;
    test::ReportAtEveryStep(w->FEngineOptions);
    const QString input = WriteFile(w.Path("big.zip"), DamagedArchive(100));
    w.Scan(input, w.Path("out.zip"));
    QTimer::singleShot(0, [&] { w->btnClose->click(); });
    w.Desktop.Answers = {TMessageResult::Ok};
    w->btnNext->click();
    QCOMPARE(w.Desktop.Messages.size(), 1);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    // The summary counts the entries the repaired archive holds.
    const size_t written = test::ReadArchive(ReadFile(w.Path("out.zip"))).Entries.size();
    QVERIFY(written < 100);
    QCOMPARE(w->lblFinish->text(),
             QStringLiteral("The product has successfully repaired %1 in the archive big.zip")
                 .arg(written));
}

void TWizardFlowTest::CancelWithoutARunClosesTheWindow() {
    TWizard w;
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.Window.get()));
    w->btnClose->click();
    QVERIFY(!w->isVisible());
    QVERIFY(w.Desktop.Messages.isEmpty());
}

// ---------------------------------------------------------------------------
// Going back, finishing

void TWizardFlowTest::BackFromResultsAndFinishThenANewScanWithANewEngine() {
    TWizard w;
    const QString input = w.Path("a.zip");
    WriteFile(input, DamagedArchive(2));
    w.Scan(input, w.Path("out.zip"));
    QCOMPARE(w->lvFiles->model()->rowCount(), 2);

    w->btnBack->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(Titles(*w),
             QStringList({"Select files", "Specify the corrupted file and the repaired file"}));
    QVERIFY(w->btnNext->isEnabled());
    QCOMPARE(w->HelpContext(), 2);
    QCOMPARE(w->lvFiles->model()->rowCount(), 2); // results stay until the next scan

    WriteFile(input, DamagedArchive(5)); // the next scan reads the file afresh
    w->btnNext->click();
    QCOMPARE(w->lvFiles->model()->rowCount(), 5);
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("out.zip"))).Entries.size(), size_t(5));

    w->btnBack->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(w->btnNext->text(), QStringLiteral("Next >"));
    QVERIFY(!w->pnlTop->isHidden());
    QVERIFY(w->imWelcome->isHidden());
    QCOMPARE(Titles(*w),
             QStringList({"Select files", "Specify the corrupted file and the repaired file"}));

    // Back once more: the Welcome page.
    w->btnBack->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgWelcome));
    QVERIFY(w->btnBack->isHidden());
    QVERIFY(w->pnlTop->isHidden());
    QCOMPARE(w->HelpContext(), 1);
    w->btnNext->click();

    WriteFile(input, DamagedArchive(1));
    w->edOutputFile->setText(w.Path("out2.zip"));
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 1);
    w->btnNext->click();
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("out2.zip"))).Entries.size(), size_t(1));
}

void TWizardFlowTest::EmptyResultListAndARebuildThatWritesNothing() {
    TWizard w;
    const QString input = WriteFile(w.Path("noise.zip"), test::TestBytes(50'000, 9));
    w.Scan(input, w.Path("out.zip"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 0);
    QCOMPARE(w->lvFiles->model()->headerData(0, Qt::Horizontal).toString(),
             QStringLiteral("FIle Name"));
    QCOMPARE(w->lblFilesFound->text(), QStringLiteral("0 files have been found"));
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(!QFileInfo::exists(w.Path("out.zip")));
}

void TWizardFlowTest::EmptyDamagedFileKeepsNothingIsFound() {
    TWizard w;
    const QString input = WriteFile(w.Path("empty.zip"), std::string());
    w.Scan(input, w.Path("out.zip"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lblFilesFound->text(), QStringLiteral("Nothing is found"));
    QCOMPARE(w->lvFiles->model()->rowCount(), 0);
}

void TWizardFlowTest::FinishSummaryAndOpeningTheArchive() {
    TWizard w;
    const QString input = WriteFile(w.Path("broken.zip"), DamagedArchive(12));
    w.Scan(input, w.Path("fixed.zip"));
    w->btnNext->click();
    QCOMPARE(w->lblFinish->text(),
             QStringLiteral("The product has successfully repaired 12 in the archive broken.zip"));
    QVERIFY(!w->cbExecAfterClose->isChecked());
    QCOMPARE(w->cbExecAfterClose->text(),
             QStringLiteral("Open the archive after the wizard is closed"));
    w->cbExecAfterClose->setChecked(true);
    w->show();
    w->btnNext->click();
    QCOMPARE(w.Desktop.Opened, QStringList({w.Path("fixed.zip")}));
    QVERIFY(!w->isVisible());
}

void TWizardFlowTest::CheckBoxKeepsItsStateAcrossRepairs() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    w.Scan(input, w.Path("out.zip"));
    w->btnNext->click();
    w->cbExecAfterClose->setChecked(true);
    w->btnBack->click();
    w->edOutputFile->setText(w.Path("out2.zip"));
    w->btnNext->click();
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(w->cbExecAfterClose->isChecked());
    w->cbExecAfterClose->setChecked(false);
    w->btnNext->click(); // Finish, box cleared: nothing is opened
    QVERIFY(w.Desktop.Opened.isEmpty());
}

void TWizardFlowTest::CancelOnTheFinishPageNeverOpensTheArchive() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    w.Scan(input, w.Path("out.zip"));
    w->btnNext->click();
    w->cbExecAfterClose->setChecked(true);
    w->show();
    w->btnClose->click();
    QVERIFY(!w->isVisible());
    QVERIFY(w.Desktop.Opened.isEmpty());
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardFlowTest::EnterPressesNext() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w.Window.get()));
    QTest::keyClick(w.Window.get(), Qt::Key_Return);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    w->edInputFile->setFocus();
    QTest::keyClicks(w->edInputFile, input);
    QTest::keyClick(w->edInputFile, Qt::Key_Return);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    // Enter on a focused button presses that button.
    w->btnBack->setFocus();
    QTest::keyClick(w->btnBack, Qt::Key_Enter);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
}

// ---------------------------------------------------------------------------
// The log

void TWizardFlowTest::LogIsWrittenBesideTheProgramAtExit() {
    const QString beside = QString::fromStdString(ProgramLogFile());
    QCOMPARE(beside, QCoreApplication::applicationFilePath() + QStringLiteral(".log"));
    WriteFile(beside, "an older log\r\n");
    {
        TfmMain window({});
        QCOMPARE(window.LogFileName, beside.toStdString());
    }
    QVERIFY(QFileInfo::exists(beside));
    QCOMPARE(QFileInfo(beside).size(), qint64(0)); // an ordinary run logs nothing
    QFile::remove(beside);
}

void TWizardFlowTest::ReportedErrorsBecomeLogLines() {
    QString logFile;
    {
        TWizard w;
        logFile = w.Path("log/tessary.log");
        ReportError(0, 0, 300, "first line");
        ReportError(0, 0, 1, "second %d line");
        QCOMPARE(w->FLog->Lines().size(), size_t(2));
        QCOMPARE(int(w->FLog->Lines().front().Kind), 300 & 0xFF);
        w.Window.reset();
        const std::string written = ReadFile(logFile);
        QVERIFY2(written.find("> first line\r\n") != std::string::npos, written.c_str());
        QVERIFY(written.find("> second %d line\r\n") != std::string::npos);
        QVERIFY(written.front() == '<');
        // After the window is gone no report reaches it.
        std::string shown;
        SetMessageBoxHandler([&](const std::string&, const std::string& text) { shown = text; });
        ReportError(0, 0, 0, "late");
        SetMessageBoxHandler({});
        QCOMPARE(shown, std::string("late"));
    }
}

QTEST_MAIN(TWizardFlowTest)
#include "wizard_flow_test.moc"
