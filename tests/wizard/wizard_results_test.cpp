// wizard_results_test.cpp -- the results list: cells computed from the
// engine's view array, file-type icons shared by type, and a list of 100,000
// entries that opens and scrolls without an object per row.
#include "file_icons.h"
#include "files_model.h"
#include "main_window.h"
#include "program_info.h"
#include "wizard_test_util.h"
#include "zip_builder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <vector>

using namespace tessary;

namespace {

TInfoForView Row(int32_t status, int64_t size, std::string_view name, uint16_t flags = 0) {
    TInfoForView row;
    row.Status = status;
    row.Size = size;
    row.Name = name;
    row.Flags = flags;
    return row;
}

} // namespace

class TWizardResultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void CellsOfARow();
    void BidiControlsShowAsEscapes();
    void StatusWords_data();
    void StatusWords();
    void EmptyViewShowsOnlyTheHeaders();
    void RowsAreComputedAfreshOnEveryRequest();
    void RowToolTipsComeFromTheWindowsFunction();
    void IconsDependOnTheNameAlone();
    void EveryTypeGetsAnIcon();
    void HundredThousandEntriesOpenAndScroll();
};

void TWizardResultsTest::initTestCase() {
    QApplication::setQuitOnLastWindowClosed(false);
    SelectProduct();
    ReadFileVersion();
}

void TWizardResultsTest::CellsOfARow() {
    const std::string name = "dir/Caf\x82.txt";
    const std::string unixName = "Gr\xC3\xBC\xC3\x9F"
                                 "e.txt";
    std::vector<TInfoForView> view = {Row(0, 1536, name), Row(2, -1, "unknown.bin"),
                                      Row(1, 0xFFFFFFFF, "marked.bin"),
                                      Row(0, 0x80000000, "two-gib.bin"), Row(0, 1, unixName)};
    view[4].Utf8Writer = true;
    TFilesModel model;
    model.SetView(&view);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.columnCount(), 3);
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("dir/Caf\u00E9.txt"));
    QVERIFY(!model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("1.50 kb"));
    QCOMPARE(model.index(0, 1).data(Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("Excellent"));
    QCOMPARE(model.index(1, 1).data().toString(), QString());
    QCOMPARE(model.index(1, 2).data().toString(), QStringLiteral("Good"));
    QCOMPARE(model.index(2, 1).data().toString(), QString());
    // Sizes of 2 GiB and more show as they are, not as negative numbers.
    QCOMPARE(model.index(3, 1).data().toString(), QStringLiteral("2.00 Gb"));
    // A UTF-8 name from a writer that stores UTF-8 without the flag.
    QCOMPARE(model.index(4, 0).data().toString(), QStringLiteral("Gr\u00FC\u00DFe.txt"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("FIle Name"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Size"));
    QCOMPARE(model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Status"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
             int(Qt::AlignRight));
    QCOMPARE(name, std::string("dir/Caf\x82.txt"));
}

// A right-to-left override would make "live\u202etxt.exe" read as
// "liveexe.txt", beside the icon of a program: the name shows the control as
// its escape, in the list and its tooltip, so that it reads as the program it
// is, with the icon of one.
void TWizardResultsTest::BidiControlsShowAsEscapes() {
    std::vector<TInfoForView> view = {Row(0, 1, "live\xE2\x80\xAEtxt.exe", FlagUtf8Name),
                                      Row(0, 1, "\xE2\x81\xA7notes\xE2\x81\xA9.txt", FlagUtf8Name)};
    TFilesModel model;
    model.SetView(&view);
    const QString shown = QStringLiteral("live\\u202etxt.exe");
    QCOMPARE(model.index(0, 0).data().toString(), shown);
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), shown);
    QCOMPARE(model.index(1, 0).data().toString(), QStringLiteral("\\u2067notes\\u2069.txt"));
    auto& icons = TFileIconList::System();
    QCOMPARE(model.index(0, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
             icons.Icon(icons.IndexOf(QStringLiteral("program.exe"))).cacheKey());
}

void TWizardResultsTest::StatusWords_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QVariant>("word");
    QTest::newRow("0") << 0 << QVariant(QStringLiteral("Excellent"));
    QTest::newRow("1") << 1 << QVariant(QStringLiteral("Average"));
    QTest::newRow("2") << 2 << QVariant(QStringLiteral("Good"));
    QTest::newRow("3") << 3 << QVariant(QStringLiteral("Average"));
    QTest::newRow("4 has no cell") << 4 << QVariant();
    QTest::newRow("-1 has no cell") << -1 << QVariant();
}

void TWizardResultsTest::StatusWords() {
    QFETCH(int, status);
    QFETCH(QVariant, word);
    std::vector<TInfoForView> view = {Row(status, 10, "a.txt")};
    TFilesModel model;
    model.SetView(&view);
    QCOMPARE(model.index(0, 2).data(), word);
}

void TWizardResultsTest::EmptyViewShowsOnlyTheHeaders() {
    std::vector<TInfoForView> view;
    TFilesModel model;
    model.SetView(&view);
    QCOMPARE(model.rowCount(), 0);
    QTreeView list;
    list.setModel(&model);
    list.resize(465, 241);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QVERIFY(list.header()->isVisible());
    QCOMPARE(list.header()->count(), 3);
    model.SetView(nullptr);
    QCOMPARE(model.rowCount(), 0);
}

void TWizardResultsTest::RowsAreComputedAfreshOnEveryRequest() {
    // The list keeps no copy: what it shows is what the view array holds now.
    std::vector<TInfoForView> view = {Row(0, 2048, "one.txt")};
    TFilesModel model;
    model.SetView(&view);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("2.00 kb"));
    view[0].Size = 1'048'576;
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("1.00 Mb"));
    // Rows past the item count set on entry do not exist, whatever the array holds.
    view.push_back(Row(0, 1, "two.txt"));
    QCOMPARE(model.rowCount(), 1);
    QVERIFY(!model.index(1, 0).data().isValid());
}

void TWizardResultsTest::RowToolTipsComeFromTheWindowsFunction() {
    std::vector<TInfoForView> view = {Row(0, 10, "a.txt"), Row(1, 20, "b.txt")};
    TFilesModel model;
    model.SetView(&view);
    // None set: the name shows as its cell's tooltip, the other cells have none.
    QCOMPARE(model.index(1, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("b.txt"));
    QVERIFY(!model.index(1, 2).data(Qt::ToolTipRole).isValid());
    model.SetRowToolTip(
        [](int row) { return row == 1 ? QStringLiteral("data runs past the end") : QString(); });
    for (int column = 0; column < model.columnCount(); ++column) {
        QCOMPARE(model.index(1, column).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("data runs past the end"));
    }
    // An empty text leaves the row its own tooltips.
    QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("a.txt"));
    QVERIFY(!model.index(0, 1).data(Qt::ToolTipRole).isValid());
}

void TWizardResultsTest::IconsDependOnTheNameAlone() {
    TFileIconList& icons = TFileIconList::System();
    const int text = GetFileIconIndex(QStringLiteral("a.txt"));
    QCOMPARE(GetFileIconIndex(QStringLiteral("a.txt")), text);
    QCOMPARE(GetFileIconIndex(QStringLiteral("other/b.txt")), text);
    // No file is looked at: a name that exists as a folder is still a text.
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("x.txt")));
    QCOMPARE(GetFileIconIndex(folder.filePath(QStringLiteral("x.txt"))), text);
    const int zip = GetFileIconIndex(QStringLiteral("a.zip"));
    QVERIFY(zip != text);
    QCOMPARE(GetFileIconIndex(QStringLiteral("A.ZIP")), zip);
    const int count = icons.Count();
    for (int i = 0; i < 100; ++i) {
        GetFileIconIndex(QStringLiteral("file%1.txt").arg(i));
    }
    QCOMPARE(icons.Count(), count);
    QVERIFY(icons.Icon(count).isNull());
    QVERIFY(icons.Icon(-1).isNull());
}

void TWizardResultsTest::EveryTypeGetsAnIcon() {
    for (const char* name : {"a.txt", "a.zip", "a.jpg", "a.pdf", "a.mp3", "a.no-such-type",
                             "no-extension", "dir/", ""}) {
        const QIcon icon =
            TFileIconList::System().Icon(GetFileIconIndex(QString::fromLatin1(name)));
        QVERIFY2(!icon.isNull(), name);
        QVERIFY2(!icon.pixmap(16, 16).isNull(), name);
    }
}

void TWizardResultsTest::HundredThousandEntriesOpenAndScroll() {
    constexpr int Count = 100'000;
    QTemporaryDir folder;
    test::TZipBuilder zip;
    for (int i = 0; i < Count; ++i) {
        zip.AddStored("entry" + std::to_string(i) + (i % 3 ? ".txt" : ".jpg"),
                      std::string(static_cast<size_t>(i % 5), 'x'));
    }
    const QString input = test::WriteFile(folder.filePath("many.zip"), zip.Bytes());

    test::TDesktopStandIn desktop;
    TfmMain window({});
    window.LogFileName = folder.filePath("tessary.log").toStdString();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.btnNext->click();
    window.edInputFile->setText(input);
    QElapsedTimer timer;
    timer.start();
    window.btnNext->click();
    test::WaitForRun(window);
    QCOMPARE(window.CurrentPage(), int(TfmMain::pgResults));
    QCOMPARE(window.lvFiles->model()->rowCount(), Count);
    QTest::qWait(1);

    // Opening the page and scrolling through it costs about one screenful of
    // rows each time, not one object per entry.
    const int iconsBefore = TFileIconList::System().Count();
    window.lvFiles->scrollToBottom();
    QTest::qWait(1);
    QCOMPARE(window.lvFiles->verticalScrollBar()->value(),
             window.lvFiles->verticalScrollBar()->maximum());
    const QModelIndex last = window.lvFiles->model()->index(Count - 1, 0);
    QVERIFY(window.lvFiles->viewport()->rect().contains(window.lvFiles->visualRect(last).center()));
    QCOMPARE(last.data().toString(), QStringLiteral("entry99999.jpg"));
    QCOMPARE(window.lvFiles->model()->index(Count - 1, 1).data().toString(),
             QStringLiteral("0.00 kb"));
    for (int step = 0; step < 50; ++step) {
        window.lvFiles->verticalScrollBar()->setValue(step * (Count / 50));
        window.lvFiles->viewport()->repaint();
    }
    QVERIFY(TFileIconList::System().Count() <= iconsBefore + 2);
    QVERIFY(window.lvFiles->findChildren<QWidget*>().size() < 20);
    QVERIFY2(timer.elapsed() < 30'000, qPrintable(QString::number(timer.elapsed())));
    window.close();
}

QTEST_MAIN(TWizardResultsTest)
#include "wizard_results_test.moc"
