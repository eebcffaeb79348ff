// wizard_help_test.cpp -- the help of the wizard window, headless: the help
// context through a whole repair, F1 and "Help Topics", the menu under the
// Help button, the online support page, the About box, and the help pages
// that the build puts beside the program.
#include "about_box.h"
#include "help_button.h"
#include "help_topics.h"
#include "links.h"
#include "main_window.h"
#include "program_info.h"
#include "wizard_test_util.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace tessary;
using tessary::test::DamagedArchive;
using tessary::test::WriteFile;

namespace {

// One shown, active wizard window in a folder of its own, away from the
// screen's corner, with the desktop stood in for.
struct TWizard : test::TWizard {
    TWizard() {
        Window->move(40, 30);
        ShowActive();
    }

    // The help page the desktop was last asked to open, by its file name.
    QString LastTopic() const {
        return Desktop.Opened.isEmpty() ? QString() : QFileInfo(Desktop.Opened.last()).fileName();
    }
};

// Presses F1 as the user does, on the control that has the focus.
void PressF1() {
    QWidget* focused = QApplication::focusWidget();
    QVERIFY(focused != nullptr);
    QTest::keyClick(focused, Qt::Key_F1);
}

// Runs `inBox` once the About box is showing, then lets the box run on until
// `inBox` has closed it.
void WithAboutBox(TfmMain& window, const std::function<void(TfmAbout&)>& inBox) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<TfmAbout*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(box));
        ran = true;
        inBox(*box);
        if (box->isVisible()) {
            box->reject(); // a failed check must not leave the run hanging
        }
    });
    window.About1->trigger();
    QVERIFY(ran);
}

} // namespace

class TWizardHelpTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void HelpContextFollowsThePagesAndStaysDuringTheRuns();
    void F1AndHelpTopicsOpenTheSameTopicOnce();
    void HelpTopicsFromTheOpenMenuActsAfterTheMenuCloses();
    void F1OnAControlWalksUpToTheWindow();
    void HelpIsBesideTheProgramWhateverTheWorkingFolder();

    void MenuEntriesInOrderWithoutShortcuts();
    void MenuHangsFromTheButtonsBottomLeftCornerAfterTheWindowMoved();
    void HelpButtonGlyphIsASmallBlackTriangle();
    void OnlineSupportOpensTheSamePageAsTheAboutBoxLink();

    void AboutBoxGeometryFontsAndTabOrder();
    void AboutBoxTextsFitTheirPlaces();
    void AboutBoxOpenedTwiceShowsTheSameAndLeavesNoBoxBehind();
    void AboutBoxKeys();
    void AboutBoxLinksOpenWithTheBoxAsOwner();
    void F1InTheAboutBoxDoesNothing();
    void LogoIsTransparentAndAMissingOneLeavesNoPicture();

    void HelpPagesExistAndTheirLinksResolve();
};

void TWizardHelpTest::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    SelectProduct();
    ReadFileVersion();
}

// ---------------------------------------------------------------------------
// Help by context

void TWizardHelpTest::HelpContextFollowsThePagesAndStaysDuringTheRuns() {
    TWizard w;
    w.Clock.ReportAtEveryStep(w->FEngineOptions);
    QCOMPARE(w->HelpContext(), 1);
    w->btnNext->click();
    QCOMPARE(w->HelpContext(), 2);
    w->btnBack->click();
    QCOMPARE(w->HelpContext(), 1);
    w->btnNext->click();
    w->edInputFile->setText(WriteFile(w.Path(QStringLiteral("big.zip")), DamagedArchive(60)));

    // During each run the context is the one of the page before, and F1
    // opens that page's help.
    QList<int> seenDuringRun;
    const auto duringTheRun = [&] {
        seenDuringRun.append(w->HelpContext());
        PressF1();
    };
    w.Clock.During(duringTheRun);
    w.Next(); // the scan
    QCOMPARE(seenDuringRun, QList<int>{2});
    QCOMPARE(w.Desktop.Opened.size(), 1);
    QCOMPARE(w.LastTopic(), QStringLiteral("selection.html"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(w->HelpContext(), 4);

    w.Clock.During(duringTheRun);
    w.Next(); // the rebuild
    QCOMPARE(seenDuringRun, QList<int>({2, 4}));
    QCOMPARE(w.Desktop.Opened.size(), 2);
    QCOMPARE(w.LastTopic(), QStringLiteral("results.html"));
    QCOMPARE(w->CurrentPage(), int(TfmMain::pgFinish));
    QCOMPARE(w->HelpContext(), 7);

    w->btnBack->click();
    QCOMPARE(w->HelpContext(), 2);
    w.Desktop.Answers = {TMessageResult::Yes}; // replace the archive just written
    w.Next();                                  // a new scan
    QCOMPARE(w->HelpContext(), 4);
    w->btnBack->click();
    QCOMPARE(w->HelpContext(), 2);
}

void TWizardHelpTest::F1AndHelpTopicsOpenTheSameTopicOnce() {
    TWizard w;
    QSignalSpy menuEntryRuns(w->Helptopic1, &QAction::triggered);
    const auto both = [&](const QString& topic) {
        const qsizetype before = w.Desktop.Opened.size();
        PressF1();
        QCOMPARE(w.Desktop.Opened.size(), before + 1);
        QCOMPARE(w.LastTopic(), topic);
        w->Helptopic1->trigger();
        // The key press arrives after the entry's handler has returned.
        QCOMPARE(w.Desktop.Opened.size(), before + 1);
        QTRY_COMPARE(w.Desktop.Opened.size(), before + 2);
        QCOMPARE(w.LastTopic(), topic);
        QTest::qWait(20);
        QCOMPARE(w.Desktop.Opened.size(), before + 2);
    };
    both(QStringLiteral("welcome.html"));
    w->btnNext->click();
    w->edInputFile->setText(WriteFile(w.Path(QStringLiteral("a.zip")), DamagedArchive(3)));
    both(QStringLiteral("selection.html"));
    w.Next();
    both(QStringLiteral("results.html"));
    w.Next();
    both(QStringLiteral("finish.html"));
    w->btnBack->click();
    both(QStringLiteral("selection.html"));
    // F1 never ran the menu entry: only the four triggers above did.
    QCOMPARE(menuEntryRuns.size(), 5);
    for (QWidget* owner : w.Desktop.OpenedFor) {
        QCOMPARE(owner, static_cast<QWidget*>(w.Window.get()));
    }
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardHelpTest::HelpTopicsFromTheOpenMenuActsAfterTheMenuCloses() {
    TWizard w;
    w->btnHelp->click();
    QTRY_VERIFY(w->ppHelp->isVisible());
    QTest::mouseClick(w->ppHelp, Qt::LeftButton, {},
                      w->ppHelp->actionGeometry(w->Helptopic1).center());
    QTRY_COMPARE(w.Desktop.Opened.size(), 1);
    QVERIFY(!w->ppHelp->isVisible());
    QCOMPARE(w.LastTopic(), QStringLiteral("welcome.html"));
}

void TWizardHelpTest::F1OnAControlWalksUpToTheWindow() {
    TWizard w;
    w->btnNext->click();
    w->edInputFile->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w->edInputFile));
    QTest::keyClick(w->edInputFile, Qt::Key_F1);
    QCOMPARE(w.Desktop.Opened.size(), 1);
    QCOMPARE(w.LastTopic(), QStringLiteral("selection.html"));
    // The key did not reach the box as text.
    QVERIFY(w->edInputFile->text().isEmpty());

    QCOMPARE(TfmMain::HelpContextOf(w->edInputFile), 2);
    QCOMPARE(TfmMain::HelpContextOf(w->btnHelp), 2);
    QCOMPARE(TfmMain::HelpContextOf(nullptr), 0);
    // F1 with a modifier is not the help key.
    QTest::keyClick(w->edInputFile, Qt::Key_F1, Qt::ControlModifier);
    QCOMPARE(w.Desktop.Opened.size(), 1);
}

void TWizardHelpTest::HelpIsBesideTheProgramWhateverTheWorkingFolder() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/help/");
    QTemporaryDir elsewhere;
    QDir().mkpath(elsewhere.filePath(QStringLiteral("help")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    {
        TWizard w;
        QCOMPARE(w->HelpFolderName, beside);
        PressF1();
        QCOMPARE(w.Desktop.Opened, QStringList{beside + QStringLiteral("welcome.html")});
    }
    QDir::setCurrent(previous);
}

// ---------------------------------------------------------------------------
// The menu and the button

void TWizardHelpTest::MenuEntriesInOrderWithoutShortcuts() {
    TWizard w;
    const QList<QAction*> entries = w->ppHelp->actions();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries[0], w->Helptopic1);
    QCOMPARE(entries[1], w->OnlineSupport1);
    QCOMPARE(entries[2], w->N1);
    QCOMPARE(entries[3], w->About1);
    QCOMPARE(w->Helptopic1->text(), QStringLiteral("Help Topics\tF1"));
    QCOMPARE(w->OnlineSupport1->text(), QStringLiteral("Online support"));
    QVERIFY(w->N1->isSeparator());
    QCOMPARE(w->About1->text(), QStringLiteral("About ..."));
    for (QAction* entry : entries) {
        QVERIFY(entry->shortcut().isEmpty());
    }
    // The button drops the menu itself; it has no menu of its own.
    QVERIFY(w->btnHelp->menu() == nullptr);
}

void TWizardHelpTest::MenuHangsFromTheButtonsBottomLeftCornerAfterTheWindowMoved() {
    TWizard w;
    for (const QPoint& place : {QPoint(40, 30), QPoint(230, 120), QPoint(5, 60)}) {
        w->move(place);
        QTRY_COMPARE(w->pos(), place);
        w->btnHelp->click();
        QTRY_VERIFY(w->ppHelp->isVisible());
        const QPoint corner = w->btnHelp->mapToGlobal(QPoint(0, w->btnHelp->height()));
        QCOMPARE(w->ppHelp->pos(), corner);
        QCOMPARE(corner, w->mapToGlobal(QPoint(10, 332 + 12 + 24)));
        w->ppHelp->close();
        QTRY_VERIFY(!w->ppHelp->isVisible());
    }
    QVERIFY(w.Desktop.Opened.isEmpty());
}

void TWizardHelpTest::HelpButtonGlyphIsASmallBlackTriangle() {
    const QImage glyph = THelpButton::DownArrowGlyph().toImage();
    QCOMPARE(glyph.size(), QSize(9, 4));
    const int widths[] = {7, 5, 3, 1};
    for (int row = 0; row < 4; ++row) {
        QString shape;
        for (int column = 0; column < 9; ++column) {
            const QColor pixel = glyph.pixelColor(column, row);
            QVERIFY(pixel.alpha() == 0 || pixel == QColor(Qt::black));
            shape += pixel.alpha() == 0 ? QLatin1Char('.') : QLatin1Char('#');
        }
        const int left = (9 - widths[row]) / 2;
        QCOMPARE(shape, QString(left, QLatin1Char('.')) + QString(widths[row], QLatin1Char('#')) +
                            QString(9 - left - widths[row], QLatin1Char('.')));
    }

    // On the button the glyph sits right of the caption, in its vertical
    // middle: the only black pixels in the right third are the triangle's.
    TWizard w;
    const QImage face = w->btnHelp->grab().toImage();
    const qreal scale = face.devicePixelRatio();
    int darkRows = 0;
    for (int y = 0; y < face.height(); ++y) {
        for (int x = int(face.width() * 2 / 3); x < face.width() - int(6 * scale); ++x) {
            if (face.pixelColor(x, y) == QColor(Qt::black)) {
                ++darkRows;
                break;
            }
        }
    }
    QCOMPARE(darkRows, int(4 * scale));
    QCOMPARE(w->btnHelp->geometry(), QRect(10, 12, 75, 24));
}

void TWizardHelpTest::OnlineSupportOpensTheSamePageAsTheAboutBoxLink() {
    TWizard w;
    w->OnlineSupport1->trigger();
    QCOMPARE(w.Desktop.Opened, QStringList{QStringLiteral("https://www.quenlor.example/support/")});
    QCOMPARE(w.Desktop.OpenedFor.last(), static_cast<QWidget*>(w.Window.get()));
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        emit box.tbxSupport->clicked();
        box.accept();
    });
    QCOMPARE(w.Desktop.Opened.size(), 2);
    QCOMPARE(w.Desktop.Opened[1], w.Desktop.Opened[0]);
}

// ---------------------------------------------------------------------------
// The About box

void TWizardHelpTest::AboutBoxGeometryFontsAndTabOrder() {
    TWizard w;
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QVERIFY(box.isModal());
        QCOMPARE(box.size(), QSize(366, 272));
        QCOMPARE(box.minimumSize(), box.maximumSize());
        QCOMPARE(box.palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(box.font().pixelSize(), 11);

        QCOMPARE(box.lbProductName->geometry(), QRect(17, 15, 289, 26));
        QCOMPARE(box.imgIcon->geometry(), QRect(303, 15, 48, 48));
        QCOMPARE(box.Label8->geometry(), QRect(25, 46, 226, 13));
        QCOMPARE(box.TBXLink1->geometry(), QRect(24, 63, 201, 15));
        QCOMPARE(box.tbxSupport->geometry(), QRect(24, 79, 145, 15));
        QCOMPARE(box.Bevel1->geometry(), QRect(16, 103, 335, 2));
        QCOMPARE(box.Bevel2->geometry(), QRect(16, 165, 335, 2));
        QCOMPARE(box.Label3->geometry(), QRect(16, 174, 335, 43));
        QCOMPARE(box.Bevel3->geometry(), QRect(16, 219, 335, 2));
        QCOMPARE(box.btOk->geometry(), QRect(275, 234, 75, 25));

        QCOMPARE(box.lbProductName->font().pixelSize(), 17);
        QVERIFY(box.lbProductName->font().bold());
        for (QLabel* link :
             {static_cast<QLabel*>(box.TBXLink1), static_cast<QLabel*>(box.tbxSupport)}) {
            QCOMPARE(link->font().pixelSize(), 11);
            QVERIFY(link->font().bold());
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 128));
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        }
        QCOMPARE(box.Label3->font().pixelSize(), 9);
        QVERIFY(box.Label3->wordWrap());

        QCOMPARE(box.lbProductName->text(), w->windowTitle());
        QCOMPARE(box.lbProductName->text(), QStringLiteral("Quenlor Tessary 1.1"));
        QCOMPARE(box.TBXLink1->text(), QStringLiteral("www.quenlor.example"));
        QCOMPARE(box.tbxSupport->text(), QStringLiteral("Online support"));
        QCOMPARE(box.btOk->text(), QStringLiteral("&Ok"));
        QVERIFY(box.btOk->isDefault());
        QVERIFY(!box.imgIcon->pixmap().isNull());

        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.btOk));
        QTest::keyClick(&box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.TBXLink1));
        QTest::keyClick(&box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.tbxSupport));
        QTest::keyClick(&box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.btOk));

        // Centred over the main window, which takes no input meanwhile.
        const QPoint offset = box.frameGeometry().center() - w->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(&box));
        box.accept();
    });
}

void TWizardHelpTest::AboutBoxTextsFitTheirPlaces() {
    TWizard w;
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        // The notice is one line with a year range, within its label.
        const QString notice = box.Label8->text();
        QVERIFY(notice.contains(QRegularExpression(QStringLiteral("\\b\\d{4}-\\d{4}\\b"))));
        QVERIFY(notice.contains(QStringLiteral("Quenlor")));
        QVERIFY2(box.Label8->fontMetrics().horizontalAdvance(notice) <= box.Label8->width(),
                 qPrintable(QString::number(box.Label8->fontMetrics().horizontalAdvance(notice))));
        // The legal warning wraps within its 43 pixels.
        QVERIFY(!box.Label3->text().isEmpty());
        QVERIFY(box.Label3->heightForWidth(box.Label3->width()) <= box.Label3->height());
        // Heading and links fit on their lines.
        QVERIFY(box.lbProductName->fontMetrics().horizontalAdvance(box.lbProductName->text()) <=
                box.lbProductName->width());
        QVERIFY(box.TBXLink1->fontMetrics().horizontalAdvance(box.TBXLink1->text()) <=
                box.TBXLink1->width());
        QVERIFY(box.tbxSupport->fontMetrics().horizontalAdvance(box.tbxSupport->text()) <=
                box.tbxSupport->width());
        box.accept();
    });
}

void TWizardHelpTest::AboutBoxOpenedTwiceShowsTheSameAndLeavesNoBoxBehind() {
    TWizard w;
    QStringList first;
    QStringList second;
    const auto texts = [](TfmAbout& box) {
        return QStringList{box.lbProductName->text(), box.Label8->text(), box.TBXLink1->text(),
                           box.tbxSupport->text(), box.Label3->text()};
    };
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        first = texts(box);
        box.btOk->click();
    });
    QVERIFY(w->findChildren<TfmAbout*>().isEmpty());
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        second = texts(box);
        QTest::keyClick(&box, Qt::Key_Escape);
    });
    QVERIFY(w->findChildren<TfmAbout*>().isEmpty());
    QCOMPARE(second, first);
    QVERIFY(w.Desktop.Opened.isEmpty());
    QVERIFY(w.Desktop.Messages.isEmpty());
}

void TWizardHelpTest::AboutBoxKeys() {
    TWizard w;
    int result = -1;
    // Escape with a link focused closes the box and opens nothing.
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        connect(&box, &QDialog::finished, [&](int r) { result = r; });
        box.TBXLink1->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.TBXLink1));
        QTest::keyClick(box.TBXLink1, Qt::Key_Escape);
        QVERIFY(!box.isVisible());
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QVERIFY(w.Desktop.Opened.isEmpty());

    // Enter on OK closes it with OK.
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        connect(&box, &QDialog::finished, [&](int r) { result = r; });
        QTest::keyClick(box.btOk, Qt::Key_Return);
        QVERIFY(!box.isVisible());
    });
    QCOMPARE(result, int(QDialog::Accepted));

    // Enter with a link focused presses the default button; Space opens the link.
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        connect(&box, &QDialog::finished, [&](int r) { result = r; });
        box.tbxSupport->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(box.tbxSupport));
        QTest::keyClick(box.tbxSupport, Qt::Key_Space);
        QVERIFY(box.isVisible());
        QTest::keyClick(box.tbxSupport, Qt::Key_Return);
        QVERIFY(!box.isVisible());
    });
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(w.Desktop.Opened, QStringList{GetLink(LinkSupportId).c_str()});

    // The close box closes it as Escape does.
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        connect(&box, &QDialog::finished, [&](int r) { result = r; });
        QVERIFY(box.close());
    });
    QCOMPARE(result, int(QDialog::Rejected));
    QCOMPARE(w.Desktop.Opened.size(), 1);
}

void TWizardHelpTest::AboutBoxLinksOpenWithTheBoxAsOwner() {
    TWizard w;
    QWidget* boxSeen = nullptr;
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        boxSeen = &box;
        QTest::mouseClick(box.TBXLink1, Qt::LeftButton, {}, QPoint(10, 7));
        QTest::mouseClick(box.tbxSupport, Qt::LeftButton, {}, QPoint(10, 7));
        // A press that ends outside the link is no click.
        QTest::mousePress(box.TBXLink1, Qt::LeftButton, {}, QPoint(10, 7));
        QTest::mouseRelease(box.TBXLink1, Qt::LeftButton, {}, QPoint(10, 300));
        QVERIFY(box.isVisible());
        box.accept();
    });
    QCOMPARE(w.Desktop.Opened,
             (QStringList{QStringLiteral("https://www.quenlor.example/"),
                          QStringLiteral("https://www.quenlor.example/support/")}));
    QCOMPARE(w.Desktop.OpenedFor, (QList<QWidget*>{boxSeen, boxSeen}));
}

void TWizardHelpTest::F1InTheAboutBoxDoesNothing() {
    TWizard w;
    WithAboutBox(*w.Window, [&](TfmAbout& box) {
        QCOMPARE(TfmMain::HelpContextOf(box.btOk), 0);
        QTest::keyClick(box.btOk, Qt::Key_F1);
        box.TBXLink1->setFocus();
        QTest::keyClick(box.TBXLink1, Qt::Key_F1);
        QVERIFY(box.isVisible());
        box.accept();
    });
    QVERIFY(w.Desktop.Opened.isEmpty());
}

void TWizardHelpTest::LogoIsTransparentAndAMissingOneLeavesNoPicture() {
    QVERIFY(LoadTransparentLogo(QStringLiteral(":/no-such-logo")).isNull());
    const QPixmap logo = LoadTransparentLogo(QStringLiteral(":/logo"));
    QCOMPARE(logo.size(), QSize(48, 48));
    const QImage mask = logo.mask().toImage();
    const QImage original(QStringLiteral(":/logo"));
    const QRgb ground = original.pixel(0, 47);
    int seeThrough = 0;
    for (int y = 0; y < 48; ++y) {
        for (int x = 0; x < 48; ++x) {
            const bool shown = mask.pixelIndex(x, y) == Qt::color1;
            QCOMPARE(shown, original.pixel(x, y) != ground);
            seeThrough += shown ? 0 : 1;
        }
    }
    QVERIFY(seeThrough > 0 && seeThrough < 48 * 48);
}

// ---------------------------------------------------------------------------
// The help pages

void TWizardHelpTest::HelpPagesExistAndTheirLinksResolve() {
    const QString folder =
        QString::fromStdString(HelpFolder(QCoreApplication::applicationDirPath().toStdString()));
    QCOMPARE(folder, QCoreApplication::applicationDirPath() + QStringLiteral("/help/"));
    QStringList pages;
    for (int context : {0, 1, 2, 4, 7}) {
        pages.append(QString::fromStdString(HelpTopicFile(context)));
    }
    const QRegularExpression reference(QStringLiteral("(?:href|src)=\"([^\"#:]+)(#[^\"]*)?\""));
    for (const QString& page : pages) {
        QFile file(folder + page);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(folder + page));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY(html.contains(QStringLiteral("<title>")));
        QVERIFY(html.contains(QStringLiteral("<h1>")));
        for (auto match = reference.globalMatch(html); match.hasNext();) {
            const QRegularExpressionMatch link = match.next();
            const QString target = folder + link.captured(1);
            QVERIFY2(QFileInfo::exists(target),
                     qPrintable(page + QStringLiteral(" refers to a missing ") + link.captured(1)));
            if (link.capturedLength(2) > 1) {
                QFile linked(target);
                QVERIFY(linked.open(QIODevice::ReadOnly));
                const QString anchor = link.captured(2).mid(1);
                QVERIFY2(
                    QString::fromUtf8(linked.readAll())
                        .contains(QStringLiteral("id=\"%1\"").arg(anchor)),
                    qPrintable(page + QStringLiteral(" refers to a missing anchor ") + anchor));
            }
        }
    }
}

QTEST_MAIN(TWizardHelpTest)
#include "wizard_help_test.moc"
