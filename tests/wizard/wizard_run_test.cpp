// wizard_run_test.cpp -- the engine's runs on their worker thread as the user
// meets them: presses that arrive as a large scan ends, a stop question
// answered after the run has ended, a window destroyed during a run, and the
// honest ends of a scan cut short by a limit.
#include "files_model.h"
#include "main_window.h"
#include "wizard_test_util.h"
#include "zip_builder.h"
#include "zip_reader.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <chrono>

using namespace tessary;
using tessary::test::DamagedArchive;
using tessary::test::ReadFile;
using tessary::test::WriteFile;

namespace {

// The large archive of the race: many tiny entries, so that the scan's last
// stretch (resolving the entries, building the list) and the first layout
// of the results list take a while, as with a real archive of a million.
constexpr int LargeEntries = 100'000;

std::string ManyTinyEntries() {
    test::TZipBuilder zip;
    for (int i = 0; i < LargeEntries; ++i) {
        zip.AddStored("f" + std::to_string(i), "x");
    }
    return zip.Bytes();
}

enum class TPress { Cancel, Enter, CloseBox };

} // namespace

Q_DECLARE_METATYPE(TPress)

class TWizardRunTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void PressesAsALargeScanEndsAlwaysAskAndNeverSkipResults_data();
    void PressesAsALargeScanEndsAlwaysAskAndNeverSkipResults();
    void PressesJustAfterARunEndedAreTakenAsMeantForIt_data();
    void PressesJustAfterARunEndedAreTakenAsMeantForIt();
    void StopAnsweredAfterTheRunEndedKeepsWhatItMade_data();
    void StopAnsweredAfterTheRunEndedKeepsWhatItMade();
    void WindowDestroyedDuringARunStopsTheWorkerFirst_data();
    void WindowDestroyedDuringARunStopsTheWorkerFirst();
    void ScanCutShortByALimitSaysSoOnResultsAndFinish_data();
    void ScanCutShortByALimitSaysSoOnResultsAndFinish();

private:
    QTemporaryDir FScratch;
    QString FLargeArchive;
};

void TWizardRunTest::initTestCase() {
    test::PrepareWizardProgram();
    QVERIFY(FScratch.isValid());
    FLargeArchive = WriteFile(FScratch.filePath(QStringLiteral("large.zip")), ManyTinyEntries());
}

// ---------------------------------------------------------------------------
// The end of a large scan

void TWizardRunTest::PressesAsALargeScanEndsAlwaysAskAndNeverSkipResults_data() {
    QTest::addColumn<TPress>("press");
    QTest::addColumn<bool>("okOnceFull"); // answer OK once the bar is full, else Cancel
    QTest::addColumn<int>("openMs");      // how long the question stays up
    QTest::addColumn<int>("phaseMs");     // of the presses, every 10 ms
    QTest::newRow("Cancel, answered Cancel at once") << TPress::Cancel << false << 0 << 0;
    QTest::newRow("Cancel, answered Cancel at once, later") << TPress::Cancel << false << 0 << 5;
    QTest::newRow("Cancel, answered Cancel after 25 ms") << TPress::Cancel << false << 25 << 0;
    QTest::newRow("Cancel, answered Cancel after 25 ms, later")
        << TPress::Cancel << false << 25 << 5;
    QTest::newRow("Cancel, OK once full, at once") << TPress::Cancel << true << 0 << 2;
    QTest::newRow("Cancel, OK once full, after 25 ms") << TPress::Cancel << true << 25 << 7;
    QTest::newRow("Enter") << TPress::Enter << false << 0 << 0;
    QTest::newRow("Enter, later") << TPress::Enter << false << 0 << 3;
    QTest::newRow("Enter, later still") << TPress::Enter << false << 0 << 7;
    QTest::newRow("close box, answered Cancel") << TPress::CloseBox << false << 0 << 0;
    QTest::newRow("close box, OK once full, after 25 ms") << TPress::CloseBox << true << 25 << 5;
}

// A scan made to last about a second, and a press every 10 ms for as long as
// the window shows the Scan page, every millisecond once the bar is nearly
// full. Each press is queued as input is, so it
// meets the worker's end signal in whichever order they happen to come.
// Every Cancel and close box gets the question, Enter never starts the save,
// Results is the page the scan leads to, and the window closes only after
// the question was answered OK.
void TWizardRunTest::PressesAsALargeScanEndsAlwaysAskAndNeverSkipResults() {
    QFETCH(TPress, press);
    QFETCH(bool, okOnceFull);
    QFETCH(int, openMs);
    QFETCH(int, phaseMs);
    test::TWizard w;
    w.ShowActive();
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    w->FEngineOptions.BufferSize = 4096;
    w.Clock.SleepAtEveryLook(std::chrono::milliseconds(1));
    const QString output = w.Path(QStringLiteral("out.zip"));
    w.Select(FLargeArchive, output);

    QList<int> pages;
    connect(w->nbWorkArea, &QStackedWidget::currentChanged, [&](int page) { pages.append(page); });
    bool asking = false;
    bool answeredOk = false;
    int posted = 0;
    int handledAtAFullBar = 0;
    int handledAfterTheEnd = 0;
    w.Desktop.WhileShowing = [&](const test::TRecordedMessage&) {
        asking = true;
        if (openMs > 0) {
            QTest::qWait(openMs);
        }
        asking = false;
        const bool ok = okOnceFull && w->pbTotal->value() == 100;
        answeredOk = answeredOk || ok;
        w.Desktop.Answers = {ok ? TMessageResult::Ok : TMessageResult::Cancel};
    };
    QTimer presses;
    presses.setInterval(10);
    connect(&presses, &QTimer::timeout, [&] {
        if (w->CurrentPage() != TfmMain::pgScan || !w->isVisible()) {
            presses.stop();
            return;
        }
        // In the scan's last stretch, a press every millisecond.
        presses.setInterval(w->pbTotal->value() >= 99 ? 1 : 10);
        if (asking || (press == TPress::CloseBox && answeredOk)) {
            return; // the box is modal; a second close box only waits for the end
        }
        ++posted;
        QMetaObject::invokeMethod(
            w.Window.get(),
            [&] {
                handledAfterTheEnd += w->CurrentPage() != TfmMain::pgScan ? 1 : 0;
                handledAtAFullBar +=
                    w->CurrentPage() == TfmMain::pgScan && w->pbTotal->value() == 100 ? 1 : 0;
                switch (press) {
                case TPress::Cancel:
                    QTest::mouseClick(w->btnClose, Qt::LeftButton);
                    break;
                case TPress::Enter:
                    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
                    break;
                case TPress::CloseBox:
                    w->close();
                    break;
                }
            },
            Qt::QueuedConnection);
    });

    w->btnNext->click();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgScan));
    QTimer::singleShot(phaseMs, &presses, qOverload<>(&QTimer::start));
    test::WaitForRun(*w);
    QTRY_VERIFY(!presses.isActive());
    QTest::qWait(20);

    QVERIFY(posted > 20); // the scan lasted long enough to be pressed at throughout
    QCOMPARE(w.Desktop.Messages.size(), press == TPress::Enter ? 0 : posted);
    for (const auto& question : w.Desktop.Messages) {
        QCOMPARE(question.Text, QStringLiteral("Do you realy want to stop process?"));
    }
    QVERIFY(!QFileInfo::exists(output));
    QVERIFY(!pages.contains(TfmMain::pgSaving));
    if (press == TPress::CloseBox && answeredOk) {
        QVERIFY(!w->isVisible());
        QVERIFY(pages == QList<int>{TfmMain::pgScan} ||
                pages == QList<int>({TfmMain::pgScan, TfmMain::pgResults}));
    } else {
        QVERIFY(w->isVisible());
        QCOMPARE(pages, QList<int>({TfmMain::pgScan, TfmMain::pgResults}));
        QCOMPARE(w->lvFiles->model()->rowCount(), int(w->FEngine->FView.size()));
        if (!answeredOk) {
            QCOMPARE(w->FEngine->FView.size(), size_t(LargeEntries));
        }
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnNext));
    }
    qInfo("%d presses: %d handled at a full bar, %d after the scan had ended%s", posted,
          handledAtAFullBar, handledAfterTheEnd, answeredOk ? "; answered OK" : "");
}

void TWizardRunTest::PressesJustAfterARunEndedAreTakenAsMeantForIt_data() {
    QTest::addColumn<bool>("rebuild");
    QTest::addColumn<TPress>("press");
    QTest::addColumn<TMessageResult>("answer");
    QTest::newRow("scan, Cancel, OK") << false << TPress::Cancel << TMessageResult::Ok;
    QTest::newRow("scan, Cancel, Cancel") << false << TPress::Cancel << TMessageResult::Cancel;
    QTest::newRow("scan, Enter") << false << TPress::Enter << TMessageResult::Ok;
    QTest::newRow("scan, close box, OK") << false << TPress::CloseBox << TMessageResult::Ok;
    QTest::newRow("rebuild, Cancel, OK") << true << TPress::Cancel << TMessageResult::Ok;
    QTest::newRow("rebuild, Enter") << true << TPress::Enter << TMessageResult::Ok;
}

// A press 100 ms after the run's next page appeared was most likely aimed at
// the run's page: Enter does nothing yet, Cancel asks the stop question and
// its OK keeps what the run made, and the close box's OK closes the window.
// Then Next takes the focus and Enter as usual.
void TWizardRunTest::PressesJustAfterARunEndedAreTakenAsMeantForIt() {
    QFETCH(bool, rebuild);
    QFETCH(TPress, press);
    QFETCH(TMessageResult, answer);
    test::TWizard w;
    w.ShowActive();
    constexpr int Entries = 20;
    const QString output = w.Path(QStringLiteral("out.zip"));
    w.Scan(WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(Entries)), output);
    if (!rebuild) {
        w->btnBack->click();
    }
    const int next = rebuild ? TfmMain::pgFinish : TfmMain::pgResults;
    bool pressed = false;
    connect(w->nbWorkArea, &QStackedWidget::currentChanged, w.Window.get(), [&](int page) {
        if (page != next) {
            return;
        }
        QTimer::singleShot(100, w.Window.get(), [&] {
            pressed = true;
            switch (press) {
            case TPress::Cancel:
                QTest::mouseClick(w->btnClose, Qt::LeftButton);
                break;
            case TPress::Enter:
                QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
                break;
            case TPress::CloseBox:
                w->close();
                break;
            }
        });
    });
    w.Desktop.Answers = {answer};
    w.Next();
    QTRY_VERIFY(pressed);
    test::WaitForRun(*w);

    QCOMPARE(w.Desktop.Messages.size(), press == TPress::Enter ? 0 : 1);
    const bool closes = press == TPress::CloseBox && answer == TMessageResult::Ok;
    QCOMPARE(w->isVisible(), !closes);
    QCOMPARE(w->CurrentPage(), next);
    if (rebuild) {
        QCOMPARE(test::ReadArchive(ReadFile(output)).Entries.size(), size_t(Entries));
    } else {
        QCOMPARE(w->lvFiles->model()->rowCount(), Entries);
    }
    if (!closes) {
        QVERIFY(w->btnNext->isEnabled());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->btnNext));
    }
}

void TWizardRunTest::StopAnsweredAfterTheRunEndedKeepsWhatItMade_data() {
    QTest::addColumn<bool>("rebuild");
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<TMessageResult>("answer");
    QTest::newRow("scan, Cancel, OK") << false << false << TMessageResult::Ok;
    QTest::newRow("scan, close box, OK") << false << true << TMessageResult::Ok;
    QTest::newRow("scan, close box, Cancel") << false << true << TMessageResult::Cancel;
    QTest::newRow("rebuild, Cancel, OK") << true << false << TMessageResult::Ok;
    QTest::newRow("rebuild, close box, OK") << true << true << TMessageResult::Ok;
}

// The stop question stays up until the worker has ended: its end waits for
// the answer, and a stop that came too late stops nothing. The page moves on
// with all that the run made, or the window closes after the close box's OK.
void TWizardRunTest::StopAnsweredAfterTheRunEndedKeepsWhatItMade() {
    QFETCH(bool, rebuild);
    QFETCH(bool, closeBox);
    QFETCH(TMessageResult, answer);
    test::TWizard w;
    w.ShowActive();
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    constexpr int Entries = 60;
    const QString output = w.Path(QStringLiteral("out.zip"));
    w.Scan(WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(Entries)), output);
    if (!rebuild) {
        w->btnBack->click();
    }

    bool ended = false;
    connect(&w->FRun, &TEngineRun::Finished, w.Window.get(), [&] { ended = true; });
    bool pageKeptWhileAsking = false;
    w.Desktop.WhileShowing = [&](const test::TRecordedMessage&) {
        const int page = w->CurrentPage();
        QTRY_VERIFY_WITH_TIMEOUT(ended, 10'000);
        QTest::qWait(10);
        pageKeptWhileAsking = w->CurrentPage() == page && w->RunInProgress();
    };
    w.Desktop.Answers = {answer};
    bool asked = false;
    connect(&w->FRun, &TEngineRun::Progress, w.Window.get(), [&] {
        if (!asked) {
            asked = true;
            if (closeBox) {
                w->close();
            } else {
                w->btnClose->click();
            }
        }
    });
    w.Next();

    QCOMPARE(w.Desktop.Messages.size(), 1);
    QVERIFY(pageKeptWhileAsking);
    const bool closes = closeBox && answer == TMessageResult::Ok;
    QCOMPARE(w->isVisible(), !closes);
    if (rebuild) {
        QCOMPARE(w->FEngine->WrittenEntries(), size_t(Entries));
        QCOMPARE(test::ReadArchive(ReadFile(output)).Entries.size(), size_t(Entries));
    } else {
        QCOMPARE(w->FEngine->FView.size(), size_t(Entries));
    }
    if (!closes) {
        QCOMPARE(w->CurrentPage(), rebuild ? int(TfmMain::pgFinish) : int(TfmMain::pgResults));
        if (rebuild) {
            QCOMPARE(w->lblFinish->text(),
                     QStringLiteral("The product has successfully repaired 60 in the archive "
                                    "a.zip"));
        } else {
            QCOMPARE(w->lvFiles->model()->rowCount(), Entries);
        }
    }
}

// ---------------------------------------------------------------------------
// Destroying the window

void TWizardRunTest::WindowDestroyedDuringARunStopsTheWorkerFirst_data() {
    QTest::addColumn<bool>("rebuild");
    QTest::newRow("during the scan") << false;
    QTest::newRow("during the rebuild") << true;
}

// A run of half a minute at least, were it let go on: the window's end stops
// it at its next report and waits for the worker before the engine goes, and
// the log is still written.
void TWizardRunTest::WindowDestroyedDuringARunStopsTheWorkerFirst() {
    QFETCH(bool, rebuild);
    test::TWizard w;
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    w.Select(WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(300)),
             w.Path(QStringLiteral("out.zip")));
    if (rebuild) {
        w.Next();
    }
    w.Clock.SleepAtEveryLook(std::chrono::milliseconds(100));
    bool reported = false;
    connect(&w->FRun, &TEngineRun::Progress, w.Window.get(), [&] { reported = true; });
    w->btnNext->click();
    QTRY_VERIFY_WITH_TIMEOUT(reported, 10'000);
    QVERIFY(w->RunInProgress());

    QElapsedTimer timer;
    timer.start();
    w.Window.reset();
    QVERIFY2(timer.elapsed() < 5'000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(QFileInfo::exists(w.Path(QStringLiteral("log/tessary.log"))));
    QTest::qWait(20); // nothing queued by the worker reaches the window now gone
}

// ---------------------------------------------------------------------------
// A scan cut short

void TWizardRunTest::ScanCutShortByALimitSaysSoOnResultsAndFinish_data() {
    QTest::addColumn<int>("maxEntries"); // 0: the engine's own
    QTest::addColumn<bool>("longExtras");
    QTest::addColumn<QString>("note");
    QTest::newRow("whole scan") << 0 << false << QString();
    QTest::newRow("entry limit")
        << 3 << false << "2 more headers were found beyond the entry limit and left out.";
    QTest::newRow("memory limit")
        << 0 << true
        << "The scan stopped at its memory limit; the rest of the file was not searched.";
}

// The Results page notes it under the list, which gives up the room; the
// Finish page repeats it below the summary. A whole scan has no note.
void TWizardRunTest::ScanCutShortByALimitSaysSoOnResultsAndFinish() {
    QFETCH(int, maxEntries);
    QFETCH(bool, longExtras);
    QFETCH(QString, note);
    test::TWizard w;
    w.ShowActive();
    if (maxEntries > 0) {
        w->FEngineOptions.MaxEntries = size_t(maxEntries);
    }
    const QString input = w.Path(QStringLiteral("broken.zip"));
    if (longExtras) {
        QVERIFY(test::WriteLongExtraHeaders(input.toStdString(), 800));
    } else {
        WriteFile(input, DamagedArchive(5));
    }
    w.Scan(input, w.Path(QStringLiteral("out.zip")));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    const QRect list = w->lvFiles->geometry();
    QCOMPARE(w->lblScanCutShort->isVisible(), !note.isEmpty());
    if (note.isEmpty()) {
        QCOMPARE(list, QRect(16, 16, 465, 241));
    } else {
        QCOMPARE(w->lblScanCutShort->text(), note);
        const QRect shown = w->lblScanCutShort->geometry();
        QVERIFY(shown.top() > list.bottom());
        QCOMPARE(shown.bottom(), QRect(16, 16, 465, 241).bottom());
        QVERIFY(shown.height() >= w->lblScanCutShort->heightForWidth(shown.width()));
    }

    w.Next();
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    const size_t found = w->FEngine->FView.size();
    const QString summary =
        QStringLiteral("The product has successfully repaired %1 in the archive broken.zip")
            .arg(found);
    QCOMPARE(w->lblFinish->text(), note.isEmpty() ? summary : summary + '\n' + note);
    // The check box stays below the text, however long it is.
    QVERIFY(w->cbExecAfterClose->geometry().top() > w->lblFinish->geometry().bottom());
    QVERIFY(w->lblFinish->height() >= w->lblFinish->heightForWidth(w->lblFinish->width()));
}

QTEST_MAIN(TWizardRunTest)
#include "wizard_run_test.moc"
