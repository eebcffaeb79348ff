// wizard_screenshots.cpp -- walks the wizard through a whole repair on a real
// display and saves a picture of every page, of the stop question, of the
// error display, of the open help menu and of the About box.
// Usage: wizard_screenshots OUTPUT_FOLDER [ARCHIVE_FOLDER]
// The sample archive goes to ARCHIVE_FOLDER (a scratch folder by default),
// whose path the pictures show.
#include "about_box.h"
#include "main_window.h"
#include "modules.h"
#include "ui_services.h"
#include "wizard_test_util.h"
#include "zip_builder.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

using namespace tessary;

namespace {

// A damaged download with entries of many kinds, one with a code page 437
// name, one with a UTF-8 name, and a last entry cut off by the break.
std::string SampleArchive() {
    test::TZipBuilder zip;
    const char* names[] = {"Holiday 2024/beach.jpg",
                           "Holiday 2024/harbour.png",
                           "Documents/report.pdf",
                           "Documents/budget.ods",
                           "Documents/letter.odt",
                           "Music/theme.mp3",
                           "notes.txt",
                           "index.html",
                           "styles.css",
                           "build.sh",
                           "data.csv",
                           "presentation.odp",
                           "backup.tar.gz",
                           "readme.md"};
    uint32_t seed = 1;
    for (const char* name : names) {
        const bool text = std::string(name).find(".txt") != std::string::npos ||
                          std::string(name).find(".html") != std::string::npos ||
                          std::string(name).find(".csv") != std::string::npos;
        const size_t size = 3000 + (seed * 7919) % 400000;
        zip.AddDeflated(name, test::TestBytes(size, seed++, text));
    }
    zip.AddStored("Caf\x82 menu.txt", test::TestBytes(1536, 40, true)); // "Café" in code page 437
    test::TZipEntry utf8("\xC3\x9C"
                         "bersicht.txt",
                         test::TestBytes(2048, 41, true));
    utf8.Flags = 0x0800;
    zip.Add(utf8);
    zip.AddStored("Video/clip.mp4", test::TestBytes(1'300'000, 42));
    zip.AddDeflated("Holiday 2024/sunset.jpg", test::TestBytes(90'000, 43));
    std::string bytes = zip.Bytes();
    bytes.resize(bytes.size() - 30'000); // the download broke off in the last entry
    return bytes;
}

void Save(const QPixmap& picture, const QString& folder, const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
    } else {
        std::printf("%s\n", qPrintable(path));
    }
}

// Lets the window paint what it shows now.
void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

// What the screen shows of the window and of a popup that reaches beyond it,
// as a user sees them; the bare screen around both is left transparent.
QPixmap WindowWithPopup(const QWidget& window, const QWidget& popup) {
    const QRect windowArea(window.mapToGlobal(QPoint(0, 0)), window.size());
    const QRect area = windowArea.united(popup.geometry());
    const QPixmap screen =
        window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    QPixmap picture(area.size());
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setClipRegion(QRegion(windowArea.translated(-area.topLeft())) +
                          QRegion(popup.geometry().translated(-area.topLeft())));
    painter.drawPixmap(0, 0, screen);
    return picture;
}

} // namespace

int main(int argc, char** argv) {
    StartModules(argc, argv);
    int result = 0;
    {
        QApplication application(argc, argv);
        const QStringList arguments = QCoreApplication::arguments();
        if (arguments.size() < 2) {
            std::fprintf(stderr, "usage: wizard_screenshots OUTPUT_FOLDER [ARCHIVE_FOLDER]\n");
            return 2;
        }
        const QString shots = arguments.at(1);
        QDir().mkpath(shots);
        QTemporaryDir scratch;
        const QDir work(arguments.size() > 2 ? arguments.at(2) : scratch.path());
        const QString archive =
            test::WriteFile(work.filePath(QStringLiteral("holiday-photos.zip")), SampleArchive());

        TfmMain window(QStringList{archive});
        window.LogFileName = scratch.filePath(QStringLiteral("tessary.log")).toStdString();
        // A report at every look, and looks slow enough for the pictures of
        // the runs to be taken half way.
        test::TEngineClock clock;
        clock.Install(window.FEngineOptions);
        clock.ReportAtEveryStep(window.FEngineOptions);
        clock.SleepAtEveryLook(std::chrono::milliseconds(25));
        window.FEngineOptions.BufferSize = 64 * 1024;
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window)) {
            std::fprintf(stderr, "the window did not become active\n");
        }
        Settle();
        Save(window.grab(), shots, QStringLiteral("1-welcome.png"));

        // The help menu hanging from the Help button, with the window around it.
        window.btnHelp->click();
        Settle();
        Save(WindowWithPopup(window, *window.ppHelp), shots, QStringLiteral("8-help-menu.png"));
        window.ppHelp->close();
        Settle();

        // The About box.
        QTimer::singleShot(300, [&] {
            if (auto* box = qobject_cast<TfmAbout*>(QApplication::activeModalWidget())) {
                Settle();
                Save(box->grab(), shots, QStringLiteral("9-about.png"));
                box->btOk->click();
            }
        });
        window.About1->trigger();
        Settle();

        window.btnNext->click();
        Settle();
        Save(window.grab(), shots, QStringLiteral("2-selection.png"));

        // During the scan: the page half way, then the stop question (real
        // message box, answered Cancel so that the scan goes on).
        bool scanTaken = false;
        bool questionAsked = false;
        bool savingTaken = false;
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (!scanTaken && window.CurrentPage() == TfmMain::pgScan &&
                window.pbTotal->value() >= 40) {
                scanTaken = true;
                Save(window.grab(), shots, QStringLiteral("3-scan.png"));
            } else if (scanTaken && !questionAsked && window.CurrentPage() == TfmMain::pgScan) {
                questionAsked = true;
                QTimer::singleShot(300, [&] {
                    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                        Save(box->grab(), shots, QStringLiteral("3b-stop-question.png"));
                        box->button(QMessageBox::Cancel)->click();
                    }
                });
                window.btnClose->click();
            } else if (!savingTaken && window.CurrentPage() == TfmMain::pgSaving &&
                       window.pbFilesCreate->value() >= 50) {
                savingTaken = true;
                Save(window.grab(), shots, QStringLiteral("5-saving.png"));
            }
        });
        watcher.start();

        window.btnNext->click(); // the scan
        test::WaitForRun(window);
        Settle();
        // The end of the list: names in both encodings, megabytes, and the
        // entry the break cut off.
        window.lvFiles->scrollToBottom();
        window.lvFiles->setCurrentIndex(window.lvFiles->model()->index(14, 0));
        Settle();
        Save(window.grab(), shots, QStringLiteral("4-results.png"));

        window.btnNext->click(); // the rebuild
        test::WaitForRun(window);
        watcher.stop();
        window.cbExecAfterClose->setChecked(true);
        Settle();
        Save(window.grab(), shots, QStringLiteral("6-finish.png"));

        // The error display, for a damaged archive that has gone missing.
        window.btnBack->click();
        window.edInputFile->setText(work.filePath(QStringLiteral("gone.zip")));
        window.edOutputFile->setText(work.filePath(QStringLiteral("out.zip")));
        window.btnNext->setEnabled(true);
        Settle();
        QTimer::singleShot(300, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Save(box->grab(), shots, QStringLiteral("7-error-display.png"));
                box->button(QMessageBox::Ok)->click();
            }
        });
        window.btnNext->click();
        Settle();
        window.close();
    }
    StopModules();
    return result;
}
