// wizard_safeguards_test.cpp -- the wizard in the hands of a user who relies
// on it: a whole repair by keyboard alone, where the focus goes, what the
// finish page counts, an existing repaired name, stop requests that arrive
// late or through the close box, entry names, the Save dialog, dark desktop
// colours, layout, and help pages that describe the real program.
#include "about_box.h"
#include "main_window.h"
#include "wizard_test_util.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QTreeView>

#include <functional>

using namespace tessary;
using tessary::test::DamagedArchive;
using tessary::test::ReadFile;
using tessary::test::WriteFile;

namespace {

// A shown, active wizard window whose engine reports at every step.
struct TShownWizard : test::TWizard {
    explicit TShownWizard(QStringList arguments = {}) : TWizard(std::move(arguments)) {
        Clock.ReportAtEveryStep(Window->FEngineOptions);
        ShowActive();
    }
};

// Lets the program show its real message boxes and answers each one with
// Enter, as a keyboard user does, noting what it said and whether it looked
// like the window it belongs to.
class TEnterInEveryBox {
public:
    TEnterInEveryBox() : FOld(SetMessageBoxFunction({})) {
        QObject::connect(&FPoll, &QTimer::timeout, [this] { Answer(); });
        FPoll.start(5);
    }
    ~TEnterInEveryBox() { SetMessageBoxFunction(std::move(FOld)); }

    QStringList Captions;
    QStringList Texts;
    QStringList Misfits; // captions of boxes in another font or with button icons

private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
            return;
        }
        box->setProperty("answered", true);
        Captions.append(box->windowTitle());
        Texts.append(box->text());
        const QFont owner = box->parentWidget()->font();
        bool misfit =
            box->font().family() != owner.family() || box->font().pixelSize() != owner.pixelSize();
        for (const QAbstractButton* button : box->buttons()) {
            misfit = misfit || !button->icon().isNull();
        }
        if (misfit) {
            Misfits.append(box->windowTitle());
        }
        QTest::keyClick(box->focusWidget() != nullptr ? box->focusWidget() : box, Qt::Key_Return);
    }

    TMessageBoxFunction FOld;
    QTimer FPoll;
};

// The offscreen platform has no window manager to hand the activation back
// to the window when a message box closes; this does what it would.
void ActivateTheWindowIfNoneIs() {
    if (QApplication::activeWindow() != nullptr) {
        return;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<TfmMain*>(window) != nullptr && window->isVisible()) {
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
    }
}

// Presses keys on whatever has the keyboard focus, as the user's keyboard does.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ActivateTheWindowIfNoneIs();
    QTest::keyClick(static_cast<QWidget*>(nullptr), key, modifiers);
}

void Type(const QString& text) {
    ActivateTheWindowIfNoneIs();
    QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
}

// The words on the last line of `label` as it wraps its text.
QString LastLineOf(const QLabel& label) {
    QTextLayout layout(label.text(), label.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QString last;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label.contentsRect().width());
        last = label.text().mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return last;
}

// Pixels of the text of `label` (a label or a check box), as its panel draws
// it, that stand out from the panel's own colour as text does: zero when the
// text is drawn in the panel's colour.
int ReadablePixels(const QWidget& label) {
    QWidget& panel = *label.parentWidget();
    const QString text = label.property("text").toString();
    const int textWidth = label.fontMetrics().horizontalAdvance(text) + 24; // a check box's box
    const QRect area(label.pos(), QSize(qMin(label.width(), textWidth), label.height()));
    const QImage image = panel.grab(area).toImage();
    const int background = qGray(panel.palette().color(QPalette::Window).rgb());
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAbs(qGray(image.pixel(x, y)) - background) > 128 ? 1 : 0;
        }
    }
    return count;
}

QString HelpPage(const QString& name) {
    QFile file(QCoreApplication::applicationDirPath() + QStringLiteral("/help/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // One space for every run of white space: a claim may wrap anywhere.
    return QString::fromUtf8(file.readAll()).simplified();
}

} // namespace

class TWizardSafeguardsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void KeyboardOnlyRepairNeverQuitsByItself();
    void FocusNeverFallsToCancel_data();
    void FocusNeverFallsToCancel();
    void FinishCountsWhatTheRepairedArchiveHolds_data();
    void FinishCountsWhatTheRepairedArchiveHolds();
    void ExistingOutputIsNeverReplacedUnasked_data();
    void ExistingOutputIsNeverReplacedUnasked();
    void StopRequestsNeverQuitOrRunOnUnseen_data();
    void StopRequestsNeverQuitOrRunOnUnseen();
    void NamesReadAsTheCommandLineShowsThem();
    void SaveDialogAddsTheExtensionOnlyWhenMissing_data();
    void SaveDialogAddsTheExtensionOnlyWhenMissing();
    void DialogsStartAtTheCurrentName_data();
    void DialogsStartAtTheCurrentName();
    void WhitePanelsReadUnderADarkPalette();
    void HelpPagesTellTheProgramsRealBehaviour_data();
    void HelpPagesTellTheProgramsRealBehaviour();
};

void TWizardSafeguardsTest::initTestCase() {
    test::PrepareWizardProgram();
}

// ---------------------------------------------------------------------------
// The keyboard

void TWizardSafeguardsTest::KeyboardOnlyRepairNeverQuitsByItself() {
    TShownWizard w;
    TEnterInEveryBox boxes;
    const QString input =
        WriteFile(w.Path(QStringLiteral("Downloads/photos.zip")), DamagedArchive(40));
    QFile(w.Path(QStringLiteral("blocker"))).open(QIODevice::WriteOnly);
    WriteFile(w.Path(QStringLiteral("Downloads/fixed.zip")), "an older file");

    // The scan page's text wraps without leaving a word alone on its last line.
    QVERIFY(LastLineOf(*w->lbScanText).contains(QLatin1Char(' ')));
    Press(Qt::Key_Return); // Welcome
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edInputFile));
    Press(Qt::Key_Return); // nothing named yet
    Type(QStringLiteral("/no/such/archive.zip"));
    Press(Qt::Key_Return); // a name that does not exist
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QVERIFY(w->isVisible());

    Press(Qt::Key_A, Qt::ControlModifier);
    Type(input);
    Press(Qt::Key_Tab); // to Browse...
    Press(Qt::Key_Tab); // to the repaired name
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edOutputFile));
    Press(Qt::Key_A, Qt::ControlModifier);
    Type(w.Path(QStringLiteral("blocker/out.zip"))); // a folder that cannot be made
    Press(Qt::Key_Return);                           // the warning, Enter, then the scan
    test::WaitForRun(*w);
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    Press(Qt::Key_Return); // the rebuild fails, Enter on the error
    test::WaitForRun(*w);
    QCOMPARE(boxes.Captions, QStringList({"Error", "Quenlor Tessary 1.1"}));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QVERIFY(w->isVisible());

    // Screen readers name the boxes by their captions.
    const auto nameOf = [](QWidget* box) {
        return QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name);
    };
    QCOMPARE(nameOf(w->edInputFile) + "|" + nameOf(w->edOutputFile),
             QStringLiteral("Corrupted file|Repaired file"));
    // Alt+R, the repaired name's access key, and a name that works.
    Press(Qt::Key_R, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edOutputFile));
    Press(Qt::Key_A, Qt::ControlModifier);
    Type(w.Path(QStringLiteral("Downloads/fixed.zip")));
    bool enterDuringScanIgnored = false;
    w.Clock.During([&] {
        Press(Qt::Key_Return);
        enterDuringScanIgnored = w->isVisible() && w->CurrentPage() == TfmMain::pgScan;
    });
    Press(Qt::Key_Return); // Enter on the replace question answers Yes
    test::WaitForRun(*w);
    QVERIFY(enterDuringScanIgnored);
    QVERIFY(boxes.Texts.last().endsWith(QStringLiteral("Do you want to replace it?")));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnNext));

    // During the rebuild: Tab to Cancel, Enter, and Enter on the question.
    int tabs = 0;
    w.Clock.During([&] {
        while (QApplication::focusWidget() != w->btnClose && tabs < 12) {
            Press(Qt::Key_Tab);
            ++tabs;
        }
        Press(Qt::Key_Return);
    });
    Press(Qt::Key_Return);
    test::WaitForRun(*w);
    QVERIFY(tabs < 12);
    QCOMPARE(boxes.Captions.last(), QStringLiteral("Warning"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QVERIFY(w->isVisible());
    QVERIFY(w->FEngine->WrittenEntries() < 40);

    // Only Finish closes the window.
    Press(Qt::Key_Return);
    QVERIFY(!w->isVisible());
    QCOMPARE(boxes.Captions, QStringList({"Error", "Quenlor Tessary 1.1", "Warning", "Warning"}));
    QCOMPARE(boxes.Misfits, QStringList());
    QCOMPARE(
        test::ReadArchive(ReadFile(w.Path(QStringLiteral("Downloads/fixed.zip")))).Entries.size(),
        w->FEngine->WrittenEntries());
}

// Moves that disable Next, or leave a page, outside the keyboard walk.
enum class TFocusCase { MissingCommandLinePath, NextDisabledWhileFocused, BackFromResults };
Q_DECLARE_METATYPE(TFocusCase)

void TWizardSafeguardsTest::FocusNeverFallsToCancel_data() {
    QTest::addColumn<TFocusCase>("situation");
    QTest::newRow("missing command-line path, Enter") << TFocusCase::MissingCommandLinePath;
    QTest::newRow("Next disabled while focused") << TFocusCase::NextDisabledWhileFocused;
    QTest::newRow("Back from Results") << TFocusCase::BackFromResults;
}

// Each ends on the Selection page with the focus in the input box, and
// Enter there does not close the window.
void TWizardSafeguardsTest::FocusNeverFallsToCancel() {
    QFETCH(TFocusCase, situation);
    TShownWizard w(situation == TFocusCase::MissingCommandLinePath
                       ? QStringList{QStringLiteral("/no/such.zip")}
                       : QStringList{});
    const QString archive = WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(3));
    switch (situation) {
    case TFocusCase::MissingCommandLinePath:
        Press(Qt::Key_Return);
        QCOMPARE(w->edInputFile->selectedText(), QStringLiteral("/no/such.zip"));
        break;
    case TFocusCase::NextDisabledWhileFocused:
        w->btnNext->click();
        w->edInputFile->setText(archive);
        w->btnNext->setFocus();
        w->edInputFile->setText(archive + QStringLiteral("x"));
        break;
    case TFocusCase::BackFromResults:
        w->btnNext->click();
        w->edInputFile->setText(archive);
        w.Next();
        w->btnBack->click();
        QCOMPARE(w->edInputFile->selectedText(), archive);
        break;
    }
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edInputFile));
    Press(Qt::Key_Return);
    QVERIFY(w->isVisible());
}

// ---------------------------------------------------------------------------
// The finish page

void TWizardSafeguardsTest::FinishCountsWhatTheRepairedArchiveHolds_data() {
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("summary"); // %1: entries in the repaired archive
    QTest::newRow("whole rebuild")
        << 12 << false << "The product has successfully repaired %1 in the archive broken.zip";
    QTest::newRow("stopped rebuild")
        << 60 << true
        << "The product has successfully repaired %1 in the archive broken.zip\n"
           "The repair was stopped: the repaired archive holds %1 of the 60 files found.";
    QTest::newRow("nothing found")
        << 0 << false
        << "Nothing was found in the archive broken.zip, so no repaired archive has been written";
}

void TWizardSafeguardsTest::FinishCountsWhatTheRepairedArchiveHolds() {
    QFETCH(int, entries);
    QFETCH(bool, stop);
    QFETCH(QString, summary);
    TShownWizard w;
    const QString input =
        WriteFile(w.Path(QStringLiteral("broken.zip")),
                  entries > 0 ? DamagedArchive(entries) : test::TestBytes(5000, 3));
    const QString output = w.Path(QStringLiteral("fixed.zip"));
    w.Scan(input, output);
    if (stop) {
        w.Desktop.Answers = {TMessageResult::Ok};
        w.Clock.During([&] { w->btnClose->click(); });
    }
    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    const size_t held =
        QFileInfo::exists(output) ? test::ReadArchive(ReadFile(output)).Entries.size() : 0;
    if (stop) {
        QVERIFY(held < size_t(entries));
    } else {
        QCOMPARE(held, size_t(entries));
    }
    QCOMPARE(w->lblFinish->text(), summary.arg(held));
    QCOMPARE(w.Desktop.Messages.size(), stop ? 1 : 0);

    // Finish closes the window and opens the repaired archive only when
    // there is one.
    w->cbExecAfterClose->setChecked(true);
    w->btnNext->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(w.Desktop.Opened, entries > 0 ? QStringList{output} : QStringList{});
}

// ---------------------------------------------------------------------------
// An existing repaired name

// A folder or the damaged archive itself as the repaired name: the flow tests.
void TWizardSafeguardsTest::ExistingOutputIsNeverReplacedUnasked_data() {
    QTest::addColumn<QString>("name");    // of the repaired archive, in the test's folder
    QTest::addColumn<int>("permissions"); // of a file there already; 0: none
    QTest::addColumn<TMessageResult>("answer");
    QTest::addColumn<QString>("message"); // %1: the repaired name in full
    QTest::addColumn<bool>("scans");
    // Another program saves a file under the name between the scan and Save.
    QTest::addColumn<bool>("savedAfterScan");
    const QString replace =
        QStringLiteral("The file \"%1\" already exists. Do you want to replace it?");
    const int writable = int(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    const int readOnly = int(QFile::ReadOwner | QFile::ReadOther);
    QTest::newRow("existing file, No")
        << "out.zip" << writable << TMessageResult::No << replace << false << false;
    QTest::newRow("existing file, Yes")
        << "out.zip" << writable << TMessageResult::Yes << replace << true << false;
    QTest::newRow("existing file, Yes, then saved anew")
        << "out.zip" << writable << TMessageResult::Yes << replace << true << true;
    QTest::newRow("no file, then one saved")
        << "out.zip" << 0 << TMessageResult::Ok << QString() << true << true;
    QTest::newRow("read-only file")
        << "out.zip" << readOnly << TMessageResult::Ok
        << "Cannot create file \"%1\". The file is read-only." << false << false;
    // Only a warning, as for a folder that cannot be made: the scan goes on.
    QTest::newRow("folder that takes no new file")
        << "/proc/out.zip" << 0 << TMessageResult::Ok << "Output path corrupted!" << true << false;
}

// Asked or refused before the scan, the file is left as it was unless the
// user said Yes; the wizard stays on Selection unless the scan may go on.
// A file saved under the name after the question is not replaced: Save
// fails and brings the user back to Selection.
void TWizardSafeguardsTest::ExistingOutputIsNeverReplacedUnasked() {
    QFETCH(QString, name);
    QFETCH(int, permissions);
    QFETCH(TMessageResult, answer);
    QFETCH(QString, message);
    QFETCH(bool, scans);
    QFETCH(bool, savedAfterScan);
    if (name.startsWith(QLatin1String("/proc/")) &&
        !QFileInfo::exists(QStringLiteral("/proc/self"))) {
        QSKIP("no /proc here");
    }
    TShownWizard w;
    name = QDir(w.Folder.path()).filePath(name);
    if (permissions != 0) {
        WriteFile(name, "keep me");
        QFile::setPermissions(name, QFile::Permissions(permissions));
    }
    const std::string before = ReadFile(name);
    w.Select(WriteFile(w.Path(QStringLiteral("broken.zip")), DamagedArchive(5)), name);
    w.Desktop.Answers = {answer};
    w.Next();

    QCOMPARE(w.Desktop.Messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(w.Desktop.Messages.first().Text, message.arg(name));
    }
    QCOMPARE(w->CurrentPage(), scans ? int(TfmMain::pgResults) : int(TfmMain::pgSelection));
    QCOMPARE(ReadFile(name), before);
    if (answer == TMessageResult::No) {
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edOutputFile));
    }
    if (savedAfterScan) {
        WriteFile(name, "saved meanwhile");
        w.Next();
        QVERIFY(w.Desktop.Messages.last().Text.startsWith(
            QStringLiteral("Cannot create file \"%1\". ").arg(name)));
        QCOMPARE(w->CurrentPage(), int(TfmMain::pgSelection));
        QCOMPARE(ReadFile(name), std::string("saved meanwhile"));
    } else if (answer == TMessageResult::Yes) {
        w.Next();
        QCOMPARE(test::ReadArchive(ReadFile(name)).Entries.size(), size_t(5));
    }
}

// ---------------------------------------------------------------------------
// Stopping

enum class TStopCase {
    CancelQueuedAsTheRunEnds,
    CancelPressedInTheRunReleasedAfter,
    CloseBox,
};
Q_DECLARE_METATYPE(TStopCase)

void TWizardSafeguardsTest::StopRequestsNeverQuitOrRunOnUnseen_data() {
    QTest::addColumn<bool>("rebuild");
    QTest::addColumn<TStopCase>("request");
    QTest::addColumn<TMessageResult>("answer");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Cancel queued as the scan ends")
        << false << TStopCase::CancelQueuedAsTheRunEnds << TMessageResult::Ok << true << false;
    QTest::newRow("Cancel queued as the rebuild ends")
        << true << TStopCase::CancelQueuedAsTheRunEnds << TMessageResult::Ok << true << false;
    // The page's focus moves on at the end and the press comes to nothing.
    QTest::newRow("Cancel pressed during the scan, released after")
        << false << TStopCase::CancelPressedInTheRunReleasedAfter << TMessageResult::Ok << false
        << false;
    QTest::newRow("close box during the scan, OK")
        << false << TStopCase::CloseBox << TMessageResult::Ok << true << true;
    QTest::newRow("close box during the rebuild, OK")
        << true << TStopCase::CloseBox << TMessageResult::Ok << true << true;
    QTest::newRow("close box during the scan, Cancel")
        << false << TStopCase::CloseBox << TMessageResult::Cancel << true << false;
}

void TWizardSafeguardsTest::StopRequestsNeverQuitOrRunOnUnseen() {
    QFETCH(bool, rebuild);
    QFETCH(TStopCase, request);
    QFETCH(TMessageResult, answer);
    QFETCH(bool, asks);
    QFETCH(bool, closes);
    TShownWizard w;
    constexpr int Entries = 150;
    const QString input = WriteFile(w.Path(QStringLiteral("big.zip")), DamagedArchive(Entries));
    const QString output = w.Path(QStringLiteral("out.zip"));
    w.Select(input, output);
    if (request == TStopCase::CancelQueuedAsTheRunEnds) {
        // A clock that stands still leaves each run only its final report;
        // the click below is queued as the window shows it, just before or
        // just after the run's end.
        w->FEngineOptions.TickCount = [] { return uint32_t{0}; };
    }
    if (rebuild) {
        w.Next();
    }
    w.Desktop.Answers = {answer};
    QProgressBar* bar = rebuild ? w->pbFilesCreate : w->pbTotal;

    switch (request) {
    case TStopCase::CancelQueuedAsTheRunEnds:
        QObject::connect(bar, &QProgressBar::valueChanged, w.Window.get(), [&](int value) {
            if (value == 100) {
                QMetaObject::invokeMethod(w->btnClose, "click", Qt::QueuedConnection);
            }
        });
        break;
    case TStopCase::CancelPressedInTheRunReleasedAfter:
        w.Clock.During([&] { QTest::mousePress(w->btnClose, Qt::LeftButton); });
        break;
    case TStopCase::CloseBox:
        w.Clock.During([&] { QVERIFY(!w->close()); });
        break;
    }
    w.Next();
    if (request == TStopCase::CancelPressedInTheRunReleasedAfter) {
        QTest::mouseRelease(w->btnClose, Qt::LeftButton);
    }
    QCoreApplication::processEvents();

    QCOMPARE(w.Desktop.Messages.size(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(w.Desktop.Messages.first().Text,
                 QStringLiteral("Do you realy want to stop process?"));
    }
    QCOMPARE(w->isVisible(), !closes);
    QVERIFY(!w->RunInProgress());
    if (closes) {
        // The run stopped instead of going on unseen; what it wrote is whole.
        QCOMPARE(w->CurrentPage(), rebuild ? int(TfmMain::pgSaving) : int(TfmMain::pgScan));
        if (rebuild) {
            QVERIFY(w->FEngine->WrittenEntries() < size_t(Entries));
            QCOMPARE(test::ReadArchive(ReadFile(output)).Entries.size(),
                     w->FEngine->WrittenEntries());
        } else {
            QVERIFY(w->FEngine->FView.size() < size_t(Entries));
        }
    } else {
        QCOMPARE(w->CurrentPage(), rebuild ? int(TfmMain::pgFinish) : int(TfmMain::pgResults));
    }
}

// ---------------------------------------------------------------------------
// Entry names

// The results list shows each name in the words the command-line tool prints:
// UTF-8 when flagged, or when a writer that stores UTF-8 left its Unix or
// Unicode Path extra field; code page 437 otherwise.
void TWizardSafeguardsTest::NamesReadAsTheCommandLineShowsThem() {
    const std::string unixExtra("ux\x0B\x00\x01\x04\x00\x00\x00\x00\x04\x00\x00\x00\x00", 15);
    const std::string unicodePath("up\x06\x00\x01\x00\x00\x00\x00x", 10);
    const std::string grusse = "Gr\xC3\xBC\xC3\x9F"
                               "e.txt";
    struct TRow {
        std::string Name;
        uint16_t Flags;
        std::string Extra;
        QString Shown;
    };
    const TRow rows[] = {
        {"Caf\x82.txt", 0, {}, QStringLiteral("Caf\u00E9.txt")},
        {grusse, 0x0800, {}, QStringLiteral("Gr\u00FC\u00DFe.txt")},
        {grusse, 0, unixExtra, QStringLiteral("Gr\u00FC\u00DFe.txt")},
        {grusse, 0, unicodePath, QStringLiteral("Gr\u00FC\u00DFe.txt")},
        {grusse, 0, {}, QStringLiteral("Gr\u251C\u255D\u251C\u0192e.txt")},
        {"Caf\x82.txt", 0, unixExtra, QStringLiteral("Caf\u00E9.txt")},
    };
    test::TZipBuilder zip;
    for (const TRow& row : rows) {
        test::TZipEntry entry{row.Name, "x"};
        entry.Flags = row.Flags;
        entry.Extra = row.Extra;
        zip.Add(entry);
    }
    TShownWizard w;
    w.Scan(WriteFile(w.Path(QStringLiteral("names.zip")), zip.Bytes()),
           w.Path(QStringLiteral("out.zip")));
    QCOMPARE(w->lvFiles->model()->rowCount(), int(std::size(rows)));
    for (int i = 0; i < int(std::size(rows)); ++i) {
        QCOMPARE(w->lvFiles->model()->index(i, 0).data().toString(), rows[i].Shown);
    }
}

// ---------------------------------------------------------------------------
// The file dialogs

void TWizardSafeguardsTest::SaveDialogAddsTheExtensionOnlyWhenMissing_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no extension") << "/x/myrepair"
                                  << "/x/myrepair.zip";
    QTest::newRow(".zip") << "/x/myrepair.zip"
                          << "/x/myrepair.zip";
    QTest::newRow(".Zip") << "/x/myrepair.Zip"
                          << "/x/myrepair.Zip";
    QTest::newRow("another extension") << "/x/myrepair.zipx"
                                       << "/x/myrepair.zipx.zip";
}

void TWizardSafeguardsTest::SaveDialogAddsTheExtensionOnlyWhenMissing() {
    QFETCH(QString, chosen);
    QFETCH(QString, expected);
    TShownWizard w;
    w->btnNext->click();
    w->edOutputFile->setText(QStringLiteral("/y/current.zip"));
    w.Desktop.DialogAnswers = {chosen};
    w->btnBrowseOutput->click();
    QCOMPARE(w->edOutputFile->text(), expected);
    QCOMPARE(w.Desktop.Dialogs.first().CurrentName, QStringLiteral("/y/current.zip"));
}

void TWizardSafeguardsTest::DialogsStartAtTheCurrentName_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");   // relative to a scratch folder
    QTest::addColumn<QString>("folder"); // where the dialog opens
    QTest::addColumn<QString>("proposed");
    QTest::newRow("Open, existing folder") << int(TFileDialogKind::Open) << "in/broken.zip"
                                           << "in" << QString();
    QTest::newRow("Save, existing folder")
        << int(TFileDialogKind::Save) << "in/recovered_broken.zip"
        << "in"
        << "recovered_broken.zip";
    QTest::newRow("Save, folder not made yet")
        << int(TFileDialogKind::Save) << "in/new/deeper/out.zip"
        << "in"
        << "out.zip";
}

void TWizardSafeguardsTest::DialogsStartAtTheCurrentName() {
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    QFETCH(QString, proposed);
    QTemporaryDir scratch;
    QDir(scratch.path()).mkpath(QStringLiteral("in"));
    const TFileDialogFunction old = SetFileDialogFunction({});
    QString openedIn;
    QString proposedName;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        openedIn = dialog->directory().absolutePath();
        const auto edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        proposedName = edit != nullptr ? edit->text() : QString();
        dialog->reject();
    });
    const auto chosen = FileDialog(nullptr, TFileDialogKind(kind), QStringLiteral("ZIP (*.zip)"),
                                   scratch.filePath(name));
    SetFileDialogFunction(old);
    QVERIFY(!chosen);
    QCOMPARE(openedIn, scratch.filePath(folder));
    if (!proposed.isEmpty()) {
        QCOMPARE(proposedName, proposed);
    }
}

// ---------------------------------------------------------------------------
// Colours, captions, fonts and layout

// The panels stay white under a dark palette; their text must not take the
// palette's light colour with it. The About box is captioned by itself alone.
void TWizardSafeguardsTest::WhitePanelsReadUnderADarkPalette() {
    const QPalette original = QApplication::palette();
    QPalette dark(QColor(0x35, 0x35, 0x35), QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    QApplication::setPalette(dark);
    {
        TShownWizard w;
        const auto readable = [](std::initializer_list<QWidget*> labels) {
            for (QWidget* label : labels) {
                const QString text = label->property("text").toString();
                QVERIFY2(label->isVisibleTo(label->window()), qPrintable(text));
                QVERIFY2(ReadablePixels(*label) > 30, qPrintable(text));
            }
        };
        readable({w->lbWelcomeTitle, w->lbWelcomeText});
        w->btnNext->click();
        readable({w->lbPageTitle, w->lbPageSubTitle});
        w->edInputFile->setText(WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(2)));
        w.Next();
        w.Next();
        readable({w->lblFinish, w->cbExecAfterClose});
        TfmAbout box(w.Window.get());
        readable({box.Label3});
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
    }
    QApplication::setPalette(original);
}

// ---------------------------------------------------------------------------
// The help pages

void TWizardSafeguardsTest::HelpPagesTellTheProgramsRealBehaviour_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("claim");
    QTest::addColumn<bool>("made"); // whether the page must make the claim
    QTest::newRow("long names are not cut") << "index.html"
                                            << "cut to 300" << false;
    QTest::newRow("long names are not cut, results") << "results.html"
                                                     << "cut to 300" << false;
    QTest::newRow("the scan goes on after the path warning")
        << "selection.html"
        << "corrupted!&rdquo;; choose another folder" << false;
    QTest::newRow("the extension is added only when missing")
        << "selection.html"
        << "pick or type the name without the extension" << false;
    QTest::newRow("the last page counts the repaired archive")
        << "finish.html"
        << "how many files the wizard found in the damaged archive" << false;
    QTest::newRow("nothing found is said in words") << "finish.html"
                                                    << "If the page reports 0" << false;
    QTest::newRow("an existing file is replaced only when asked")
        << "selection.html"
        << "asks before the scan whether to replace it" << true;
}

void TWizardSafeguardsTest::HelpPagesTellTheProgramsRealBehaviour() {
    QFETCH(QString, page);
    QFETCH(QString, claim);
    QFETCH(bool, made);
    const QString html = HelpPage(page);
    QVERIFY(!html.isEmpty());
    QVERIFY2(html.contains(claim, Qt::CaseInsensitive) == made, qPrintable(claim));
}

QTEST_MAIN(TWizardSafeguardsTest)
#include "wizard_safeguards_test.moc"
