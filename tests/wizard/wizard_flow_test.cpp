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

#include <functional>
#include <memory>

using namespace tessary;
using tessary::test::DamagedArchive;
using tessary::test::ReadFile;
using tessary::test::WriteFile;

namespace {

using tessary::test::TWizard;

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

    void StartsOnWelcomeThenSwitchesToTheHeaderLayout();
    void CommandLinePathFillsTheBoxesWhenTheWindowIsActivated_data();
    void CommandLinePathFillsTheBoxesWhenTheWindowIsActivated();
    void ReturnFromAnotherWindowPutsTheCommandLinePathBack();
    void ReturnFromAnotherWindowAfterTheScanKeepsTheNames();
    void OwnMessageBoxesAndDialogsDoNotCountAsAnotherWindow();

    void InputRuleWhileTyping();
    void InputRuleOverwritesAHandTypedOutputName();
    void BrowseButtonsFillTheBoxes();
    void AnyPartOfASplitArchiveRepairsTheWholeSet();

    void WholeRepairEndsInAnArchiveReadersAccept();
    void ProgressLabelsFollowTheEngine();
    void RowToolTipSaysWhyItsEntryIsWrittenAsItIs();
    void EmptyOutputBoxStaysOnSelection();
    void OutputFolderIsMadeAtNextOrWarnedAbout_data();
    void OutputFolderIsMadeAtNextOrWarnedAbout();
    void UnopenableInputShowsTheErrorAndKeepsTheOldResults();
    void UnwritableOutputNameIsRefusedAndTouchesNothing();

    void CancelDuringScanAsksAndObeysTheAnswer_data();
    void CancelDuringScanAsksAndObeysTheAnswer();
    void CancelWithoutARunClosesTheWindow();

    void BackFromResultsAndFinishThenANewScanWithANewEngine();
    void NothingFoundWritesNoArchive_data();
    void NothingFoundWritesNoArchive();
    void OpenAfterCloseKeptAcrossRepairsButNotOnCancel();
    void EnterOnAFocusedButtonPressesThatButton();

    void LogIsWrittenBesideTheProgramAtExit();
    void ReportedErrorsBecomeLogLines();
};

void TWizardFlowTest::initTestCase() {
    test::PrepareWizardProgram();
}

// ---------------------------------------------------------------------------
// Start-up and the window

// The welcome layout at start, the header layout on the next page, a window
// that cannot be resized, and a button bar tabbed Next, Cancel, Help, Back.
void TWizardFlowTest::StartsOnWelcomeThenSwitchesToTheHeaderLayout() {
    TWizard w;
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgWelcome));
    QVERIFY(!w->imWelcome->isHidden());
    QVERIFY(w->pnlTop->isHidden());
    QVERIFY(w->btnBack->isHidden());
    QVERIFY(w->btnNext->isEnabled());
    QVERIFY(w->btnClose->isEnabled());
    QVERIFY(w->edInputFile->text().isEmpty());
    QVERIFY(w->edOutputFile->text().isEmpty());
    QVERIFY(!w->cbExecAfterClose->isChecked());
    QCOMPARE(w->windowTitle(), QStringLiteral("Quenlor Tessary 1.1"));
    // Both pictures come from the program's resources.
    QVERIFY(!w->imLogo->pixmap().isNull());
    QVERIFY(!w->imWelcome->pixmap().isNull());
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));

    w->btnNext->click();
    QVERIFY(!w->pnlTop->isHidden());
    QVERIFY(w->imWelcome->isHidden());
    // The work area sits below the header, never under it.
    QCOMPARE(w->pnlWorkArea->geometry().top(), w->pnlTop->geometry().bottom() + 1);

    QCOMPARE(w->btnNext->nextInFocusChain(), static_cast<QWidget*>(w->btnClose));
    QCOMPARE(w->btnClose->nextInFocusChain(), static_cast<QWidget*>(w->btnHelp));
    QCOMPARE(w->btnHelp->nextInFocusChain(), static_cast<QWidget*>(w->btnBack));
}

void TWizardFlowTest::CommandLinePathFillsTheBoxesWhenTheWindowIsActivated_data() {
    QTest::addColumn<QString>("name"); // in a scratch folder
    QTest::addColumn<bool>("exists");
    QTest::newRow("an existing archive") << "in/broken.zip" << true;
    // Next stays enabled on Welcome, and the Selection page then disables it.
    QTest::newRow("a name that does not exist") << "in/missing.zip" << false;
}

void TWizardFlowTest::CommandLinePathFillsTheBoxesWhenTheWindowIsActivated() {
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QTemporaryDir folder;
    const QString archive = folder.filePath(name);
    if (exists) {
        WriteFile(archive, DamagedArchive(3));
    }
    TWizard w({archive});
    // Nothing happens before the window becomes active.
    QVERIFY(w->edInputFile->text().isEmpty());
    w.ShowActive();
    QCOMPARE(w->edInputFile->text(), archive);
    QCOMPARE(w->edOutputFile->text(),
             exists ? folder.filePath("in/recovered_broken.zip") : QString());
    QVERIFY(w->btnNext->isEnabled());
    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(w->edInputFile->text(), archive);
    QCOMPARE(w->btnNext->isEnabled(), exists);
}

namespace {

// The wizard started with `archive` on its command line, shown and active,
// on the Selection page with `other` typed over it.
std::unique_ptr<TWizard> StartedWithThenRetyped(const QString& archive, const QString& other) {
    auto w = std::make_unique<TWizard>(QStringList{archive});
    w->ShowActive();
    (*w)->btnNext->click();
    (*w)->edInputFile->setText(other);
    return w;
}

// Another window of the program, such as the About box, takes the focus and
// gives it back; `whileAway` runs while it has the focus.
void VisitAnotherWindow(TWizard& w, const std::function<void()>& whileAway = {}) {
    {
        QDialog box(w.Window.get());
        box.show();
        box.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(&box));
        if (whileAway) {
            whileAway();
        }
    }
    w->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget*>(w.Window.get()));
}

} // namespace

void TWizardFlowTest::ReturnFromAnotherWindowPutsTheCommandLinePathBack() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(1));
    const auto w = StartedWithThenRetyped(archive, other);
    QCOMPARE((*w)->edOutputFile->text(), folder.filePath("recovered_b.zip"));
    VisitAnotherWindow(*w, [&] { QCOMPARE((*w)->edInputFile->text(), other); });
    QCOMPARE((*w)->edInputFile->text(), archive);
    QCOMPARE((*w)->edOutputFile->text(), folder.filePath("recovered_a.zip"));
    QVERIFY((*w)->btnNext->isEnabled());
}

void TWizardFlowTest::ReturnFromAnotherWindowAfterTheScanKeepsTheNames() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(2));
    const auto w = StartedWithThenRetyped(archive, other);
    w->Next();
    QCOMPARE((*w)->CurrentPage(), int(TfmMain::pgResults));
    VisitAnotherWindow(*w);
    QCOMPARE((*w)->edInputFile->text(), other);
    QCOMPARE((*w)->edOutputFile->text(), folder.filePath("recovered_b.zip"));
    w->Next();
    QCOMPARE((*w)->lblFinish->text(),
             QStringLiteral("The product has successfully repaired 2 in the archive b.zip"));
    QVERIFY(QFileInfo::exists(folder.filePath("recovered_b.zip")));
    QVERIFY(!QFileInfo::exists(folder.filePath("recovered_a.zip")));
}

void TWizardFlowTest::OwnMessageBoxesAndDialogsDoNotCountAsAnotherWindow() {
    QTemporaryDir folder;
    const QString archive = WriteFile(folder.filePath("a.zip"), DamagedArchive(1));
    const QString other = WriteFile(folder.filePath("b.zip"), DamagedArchive(2));
    const auto w = StartedWithThenRetyped(archive, other);
    // The output path warning takes the focus while it shows; afterwards the
    // scan must read the name the user typed, not the command line's.
    QFile(folder.filePath("blocker")).open(QIODevice::WriteOnly);
    (*w)->edOutputFile->setText(folder.filePath("blocker/out.zip"));
    w->Desktop.WhileShowing = [&](const test::TRecordedMessage&) { VisitAnotherWindow(*w); };
    w->Next();
    w->Desktop.WhileShowing = nullptr;
    QCOMPARE(w->Desktop.Messages.size(), 1);
    QCOMPARE((*w)->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE((*w)->edInputFile->text(), other);
    QCOMPARE((*w)->FEngine->FView.size(), size_t(2));
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
    w.Desktop.DialogAnswers = {QStringLiteral("/x/out.zip"), std::nullopt};
    w->btnBrowseOutput->click();
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/x/out.zip"));
    w->btnBrowseOutput->click(); // cancelled
    QCOMPARE(w->edOutputFile->text(), QStringLiteral("/x/out.zip"));
    QCOMPARE(w.Desktop.Dialogs.size(), 2);
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

void TWizardFlowTest::RowToolTipSaysWhyItsEntryIsWrittenAsItIs() {
    TWizard w;
    test::TZipBuilder zip;
    test::TZipEntry streamed("streamed.txt", test::TestBytes(3000, 3, true));
    streamed.Deflate = true;
    streamed.Descriptor = test::TDescriptor::Signed;
    zip.Add(streamed);
    zip.AddStored("plain.txt", "plain");
    w.Scan(WriteFile(w.Path("streamed.zip"), zip.Bytes()), w.Path("out.zip"));
    QAbstractItemModel* rows = w->lvFiles->model();
    QVERIFY(rows->index(0, 2)
                .data(Qt::ToolTipRole)
                .toString()
                .startsWith(QStringLiteral("sizes from data descriptor at 0x")));
    QCOMPARE(rows->index(1, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("plain.txt"));
}

// An archive cut into pieces: the second piece names the set, and the
// repaired archive holds the entries of both pieces under the set's name.
void TWizardFlowTest::AnyPartOfASplitArchiveRepairsTheWholeSet() {
    TWizard w;
    const std::string archive = DamagedArchive(4);
    const size_t half = archive.size() / 2;
    WriteFile(w.Path("set.zip.001"), archive.substr(0, half));
    const QString second = WriteFile(w.Path("set.zip.002"), archive.substr(half));
    w->btnNext->click();
    w->edInputFile->setText(second);
    QCOMPARE(w->edOutputFile->text(), w.Path("recovered_set.zip"));
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->FEngine->FView.size(), size_t(4));
    w.Next();
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("recovered_set.zip"))).Entries.size(), size_t(4));
}

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

    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(Titles(*w), QStringList({"Search results", "The list of repaired archive files"}));
    QVERIFY(w->btnNext->isEnabled());
    QVERIFY(w->btnBack->isEnabled());
    QCOMPARE(w->focusWidget(), static_cast<QWidget*>(w->btnNext));
    QAbstractItemModel* rows = w->lvFiles->model();
    QCOMPARE(rows->rowCount(), 4);
    QCOMPARE(rows->index(0, 0).data().toString(), QStringLiteral("docs/readme.txt"));
    QCOMPARE(rows->index(0, 2).data().toString(), QStringLiteral("Excellent"));
    QCOMPARE(rows->index(3, 1).data().toString(), QStringLiteral("19.53 kb"));

    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
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

// Every report the engine makes shows on its page: the labels are read as
// each report has been handled, after the window's own handling of it.
void TWizardFlowTest::ProgressLabelsFollowTheEngine() {
    TWizard w;
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    const QString input = WriteFile(w.Path("big.zip"), DamagedArchive(40));
    QStringList scanTexts;
    QStringList saveTexts;
    const auto watch = connect(&w->FRun, &TEngineRun::Progress, w.Window.get(), [&] {
        QVERIFY(!w->btnNext->isEnabled());
        QVERIFY(!w->btnBack->isEnabled());
        if (w->CurrentPage() == TfmMain::pgScan) {
            scanTexts.append(w->lblFilesFound->text());
            QCOMPARE(Titles(*w),
                     QStringList({"Scanning the ZIP archive.",
                                  "Wait till the wizard finds all files in the archive"}));
        } else {
            QCOMPARE(w->CurrentPage(), int(TfmMain::pgSaving));
            saveTexts.append(w->lbFilesCreated->text());
            QCOMPARE(Titles(*w),
                     QStringList({"Creating a new ZIP file",
                                  "Wait till the wizard creates the repaired ZIP archive"}));
        }
    });
    w.Select(input, w.Path("out.zip"));
    w->btnNext->click();
    QCOMPARE(w->lblFilesFound->text(), QStringLiteral("Nothing is found"));
    test::WaitForRun(*w);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QVERIFY(scanTexts.size() > 3);
    // Running counts between none and all of them, never going down.
    int previous = 0;
    for (const QString& text : scanTexts) {
        QVERIFY2(text.endsWith(QStringLiteral(" files have been found")), qPrintable(text));
        const int count = text.section(QLatin1Char(' '), 0, 0).toInt();
        QVERIFY(count >= previous && count <= 40);
        previous = count;
    }
    QVERIFY(scanTexts.contains(QStringLiteral("20 files have been found")));
    QCOMPARE(w->lblFilesFound->text(), QStringLiteral("40 files have been found"));
    QCOMPARE(w->pbTotal->value(), 100);

    w->btnNext->click();
    QCOMPARE(w->lbFilesCreated->text(), QStringLiteral("Nothing is recovered"));
    test::WaitForRun(*w);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(saveTexts.size() > 3);
    QCOMPARE(w->lbFilesCreated->text(), QStringLiteral("40 files have been repaired"));
    QCOMPARE(w->pbFilesCreate->value(), 100);
    disconnect(watch);
    // Percentages above 100 are taken as 100; with no run active the answer is "stop".
    w->pbFilesCreate->setValue(10);
    QVERIFY(!w->EngineProgress(250, "7"));
    QTRY_COMPARE(w->pbFilesCreate->value(), 100);
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

void TWizardFlowTest::OutputFolderIsMadeAtNextOrWarnedAbout_data() {
    QTest::addColumn<QString>("folder"); // of the repaired archive, in the test's folder
    QTest::addColumn<bool>("made");
    // Made at Next, before any scan, even when the user never completes the repair.
    QTest::newRow("a missing folder is made") << "new/deeper" << true;
    // Only a warning: the scan still runs.
    QTest::newRow("a folder under a plain file") << "plain-file/sub" << false;
}

void TWizardFlowTest::OutputFolderIsMadeAtNextOrWarnedAbout() {
    QFETCH(QString, folder);
    QFETCH(bool, made);
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    WriteFile(w.Path("plain-file"), "x");
    folder = w.Path(folder);
    w.Select(input, folder + QStringLiteral("/out.zip"));
    QVERIFY(!QFileInfo(folder).exists());
    w.Next();
    QCOMPARE(QFileInfo(folder).isDir(), made);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 2);
    QCOMPARE(w.Desktop.Messages.size(), made ? 0 : 1);
    if (!made) {
        const auto& warning = w.Desktop.Messages.first();
        QCOMPARE(warning.Text, QStringLiteral("Output path corrupted!"));
        QCOMPARE(warning.Caption, QStringLiteral("Error"));
        QCOMPARE(warning.Icon, TMessageIcon::Error);
        QCOMPARE(warning.Buttons, TMessageButtons::Ok);
    }
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

// The damaged archive itself, by any name, or a folder as the repaired name:
// refused before the scan with the text the rebuild would give, nothing
// touched, and the Selection page still usable.
void TWizardFlowTest::UnwritableOutputNameIsRefusedAndTouchesNothing() {
    TWizard w;
    const QString input = WriteFile(w.Path("broken.zip"), DamagedArchive(3));
    QFile::link(input, w.Path("link.zip"));
    QDir(w.Folder.path()).mkdir(QStringLiteral("taken.zip"));
    const std::string damaged = ReadFile(input);
    for (const QString& output :
         {input, w.Path("link.zip"), w.Path("./broken.zip"), w.Path("taken.zip")}) {
        w.Desktop.Messages.clear();
        w.Scan(input, output);
        QCOMPARE(w.Desktop.Messages.size(), 1);
        const auto& error = w.Desktop.Messages.first();
        QVERIFY2(
            error.Text.startsWith(QStringLiteral("Cannot create file \"%1\". ")
                                      .arg(QDir::cleanPath(QFileInfo(output).absoluteFilePath()))),
            qPrintable(error.Text));
        QCOMPARE(error.Caption, QStringLiteral("Quenlor Tessary 1.1"));
        QCOMPARE(ReadFile(input), damaged);
        QVERIFY(QFileInfo(w.Path("link.zip")).isSymLink());
        QVERIFY(QFileInfo(w.Path("taken.zip")).isDir());
        QCOMPARE(QDir(w.Folder.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList({"broken.zip", "link.zip"}));
        QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
        QCOMPARE(w->btnNext->text(), QStringLiteral("Next >"));
        QVERIFY(w->btnNext->isEnabled());
        QVERIFY(w->btnBack->isEnabled());
        QVERIFY(!w->RunInProgress());
    }

    // A new name and Next: a new scan, and this time the repair completes.
    w->edOutputFile->setText(w.Path("fixed.zip"));
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("fixed.zip"))).Entries.size(), size_t(3));
}

// ---------------------------------------------------------------------------
// Stopping and closing

void TWizardFlowTest::CancelDuringScanAsksAndObeysTheAnswer_data() {
    QTest::addColumn<TMessageResult>("answer");
    QTest::newRow("OK stops, the entries found so far are listed") << TMessageResult::Ok;
    QTest::newRow("Cancel lets the scan run to the end") << TMessageResult::Cancel;
}

void TWizardFlowTest::CancelDuringScanAsksAndObeysTheAnswer() {
    QFETCH(TMessageResult, answer);
    TWizard w;
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    constexpr int Entries = 200;
    w.Select(WriteFile(w.Path("big.zip"), DamagedArchive(Entries)), w.Path("out.zip"));
    bool clickedDuringScan = false;
    bool runningAfterTheQuestion = false;
    w.Clock.During([&] {
        clickedDuringScan = w->CurrentPage() == TfmMain::pgScan;
        w->btnClose->click();
        runningAfterTheQuestion = !w->FRun.Stopped() && w->CurrentPage() == TfmMain::pgScan;
    });
    w.Desktop.Answers = {answer};
    w.Next();

    QVERIFY(clickedDuringScan);
    QCOMPARE(w.Desktop.Messages.size(), 1);
    const auto& question = w.Desktop.Messages.first();
    QCOMPARE(question.Text, QStringLiteral("Do you realy want to stop process?"));
    QCOMPARE(question.Caption, QStringLiteral("Warning"));
    QCOMPARE(question.Icon, TMessageIcon::Question);
    QCOMPARE(question.Buttons, TMessageButtons::OkCancel);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QVERIFY(w->btnNext->isEnabled());
    const size_t found = w->FEngine->FView.size();
    QCOMPARE(w->lvFiles->model()->rowCount(), int(found));
    if (answer == TMessageResult::Ok) {
        QVERIFY(found < size_t(Entries));
    } else {
        QVERIFY(runningAfterTheQuestion);
        QCOMPARE(found, size_t(Entries));
    }
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
    QCOMPARE(w->lvFiles->model()->rowCount(), 2); // results stay until the next scan

    WriteFile(input, DamagedArchive(5)); // the next scan reads the file afresh
    w.Next();
    QCOMPARE(w->lvFiles->model()->rowCount(), 5);
    w.Next();
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
    w->btnNext->click();

    WriteFile(input, DamagedArchive(1));
    w->edOutputFile->setText(w.Path("out2.zip"));
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 1);
    w.Next();
    QCOMPARE(test::ReadArchive(ReadFile(w.Path("out2.zip"))).Entries.size(), size_t(1));
}

void TWizardFlowTest::NothingFoundWritesNoArchive_data() {
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<QString>("found");
    QTest::newRow("no entry in 50,000 bytes")
        << QByteArray::fromStdString(test::TestBytes(50'000, 9)) << "0 files have been found";
    QTest::newRow("an empty file keeps the starting words") << QByteArray() << "Nothing is found";
}

void TWizardFlowTest::NothingFoundWritesNoArchive() {
    QFETCH(QByteArray, damaged);
    QFETCH(QString, found);
    TWizard w;
    w.Scan(WriteFile(w.Path("noise.zip"), damaged.toStdString()), w.Path("out.zip"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->lvFiles->model()->rowCount(), 0);
    QCOMPARE(w->lblFilesFound->text(), found);
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(!QFileInfo::exists(w.Path("out.zip")));
}

// The open-after-close box keeps its tick across repairs, and Cancel on the
// Finish page closes without opening the archive.
void TWizardFlowTest::OpenAfterCloseKeptAcrossRepairsButNotOnCancel() {
    TWizard w;
    const QString input = WriteFile(w.Path("a.zip"), DamagedArchive(2));
    w.Scan(input, w.Path("out.zip"));
    w.Next();
    w->cbExecAfterClose->setChecked(true);
    w->btnBack->click();
    w->edOutputFile->setText(w.Path("out2.zip"));
    w.Next();
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(w->cbExecAfterClose->isChecked());
    w->show();
    w->btnClose->click();
    QVERIFY(!w->isVisible());
    QVERIFY(w.Desktop.Opened.isEmpty());
    QVERIFY(w.Desktop.Messages.isEmpty());
}

// Enter goes to the focused button, not always to Next; Enter as Next is the
// keyboard walk in the safeguard tests.
void TWizardFlowTest::EnterOnAFocusedButtonPressesThatButton() {
    TWizard w;
    w.Scan(WriteFile(w.Path("a.zip"), DamagedArchive(2)), w.Path("out.zip"));
    w.ShowActive();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
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
