// main_window_pages.cpp -- TfmMain's regions and its six pages: where each
// control sits, its text and font, the two layouts, the page headers, and
// the notes the Results and Finish pages make room for.
#include "main_window.h"

#include "entry_text.h"

#include "file_icons.h"
#include "files_model.h"
#include "fonts.h"
#include "help_button.h"

#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeView>

#include <algorithm>
#include <array>

namespace tessary {

namespace {

// Client area and the fixed regions of the window.
constexpr int ClientWidth = 492;
constexpr int ClientHeight = 377;
constexpr int TopHeight = 57;
constexpr int BottomHeight = 45;
constexpr int BevelHeight = 2;
constexpr int SideWidth = 168;
constexpr int SeparatorTop = ClientHeight - BottomHeight - BevelHeight;

// The results list, and the note under it that takes room from it.
constexpr int ResultsLeft = 16;
constexpr int ResultsTop = 16;
constexpr int ResultsWidth = 465;
constexpr int ResultsHeight = 241;
constexpr int NoteGap = 6;

// The finish summary, and the check box below it that a longer one pushes down.
constexpr int FinishTextTop = 77;
constexpr int FinishTextHeight = 60;
constexpr int FinishCheckTop = 152;

// Header texts of the pages that show the header, Selection to Saving.
constexpr std::array<const char*, 4> PageTitles = {
    "Select files",
    "Scanning the ZIP archive.",
    "Search results",
    "Creating a new ZIP file",
};
constexpr std::array<const char*, 4> PageSubTitles = {
    "Specify the corrupted file and the repaired file",
    "Wait till the wizard finds all files in the archive",
    "The list of repaired archive files",
    "Wait till the wizard creates the repaired ZIP archive",
};

QFont WindowFont() {
    return PixelFont(QStringLiteral("MS Shell Dlg 2"), 11);
}

QFont ArialFont(int pixels, bool bold = false) {
    return PixelFont(QStringLiteral("Arial"), pixels, bold);
}

// A white panel, as the header and the welcome and finish pages have. It is
// white whatever the desktop's colours are, so its text is dark whatever they
// are too: the light text of a dark palette would vanish on it.
QWidget* WhitePanel(QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    panel->setPalette(palette);
    return panel;
}

QFrame* SunkenLine(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setLineWidth(1);
    line->setFixedHeight(BevelHeight);
    return line;
}

QLabel* Label(QWidget* parent, const QString& text, int left, int top, int width, int height,
              const QFont& font) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(left, top, width, height);
    return label;
}

// A label of fixed width whose height follows its wrapped text.
QLabel* WrappedLabel(QWidget* parent, const QString& text, int left, int top, int width,
                     const QFont& font) {
    QLabel* label = Label(parent, text, left, top, width, 0, font);
    label->setWordWrap(true);
    label->setGeometry(left, top, width, label->heightForWidth(width));
    return label;
}

// Narrows a wrapped label as far as its text allows without taking another
// line, so that its lines come out of even length: a text a little too long
// for one line wraps in the middle instead of leaving its last word alone.
void BalanceLines(QLabel* label) {
    const int height = label->heightForWidth(label->width());
    int narrowest = label->width() / 2;
    int widest = label->width();
    while (narrowest < widest) {
        const int middle = (narrowest + widest) / 2;
        if (label->heightForWidth(middle) <= height) {
            widest = middle;
        } else {
            narrowest = middle + 1;
        }
    }
    label->resize(widest, height);
}

QPushButton* Button(QWidget* parent, const QString& caption, int left, int top, int width,
                    int height) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(left, top, width, height);
    return button;
}

QProgressBar* ProgressBar(QWidget* parent, int left, int top, int width, int height) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setGeometry(left, top, width, height);
    return bar;
}

// Putting into a box the text it already holds is no change: it must not run
} // namespace

// ---------------------------------------------------------------------------
// Controls

void TfmMain::CreateControls() {
    InstallFontSubstitutions();
    setFont(WindowFont());
    setFixedSize(ClientWidth, ClientHeight);
    setWindowTitle(QStringLiteral("fmMain"));

    // Side picture of the welcome layout: drawn unscaled from its top-left
    // corner, cut off by its strip.
    imWelcome = new QLabel(this);
    imWelcome->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imWelcome->setPixmap(QPixmap(QStringLiteral(":/welcome")));

    // Header.
    pnlTop = WhitePanel(this);
    lbPageTitle = Label(pnlTop, {}, 24, 8, 441, 16, PixelFont(font().family(), 11, true));
    lbPageSubTitle = Label(pnlTop, {}, 40, 24, 425, 26, font());
    imLogo = new QLabel(pnlTop);
    imLogo->setGeometry(436, 1, 54, 54);
    imLogo->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Work area: a sunken line at its top, the notebook below it.
    pnlWorkArea = new QWidget(this);
    bvWorkAreaTop = SunkenLine(pnlWorkArea);
    nbWorkArea = new QStackedWidget(pnlWorkArea);
    CreateWelcomePage();
    CreateSelectionPage();
    CreateScanPage();
    CreateResultsPage();
    CreateSavingPage();
    CreateFinishPage();

    // Separator and button bar.
    bvBottom = SunkenLine(this);
    bvBottom->setGeometry(0, SeparatorTop, ClientWidth, BevelHeight);
    pnlBottom = new QWidget(this);
    pnlBottom->setGeometry(0, ClientHeight - BottomHeight, ClientWidth, BottomHeight);
    btnHelp = new THelpButton(QStringLiteral("Help"), pnlBottom);
    btnHelp->setGeometry(10, 12, 75, 24);
    btnBack = Button(pnlBottom, QStringLiteral("< Back"), 248, 12, 75, 24);
    btnNext = Button(pnlBottom, QStringLiteral("Next >"), 323, 12, 75, 24);
    btnClose = Button(pnlBottom, QStringLiteral("Cancel"), 407, 12, 75, 24);
    btnBack->hide();
    btnNext->setDefault(true);
    CreateHelpMenu();

    // The buttons come first in the tab order, then the page's own controls.
    QWidget::setTabOrder(btnNext, btnClose);
    QWidget::setTabOrder(btnClose, btnHelp);
    QWidget::setTabOrder(btnHelp, btnBack);
    QWidget::setTabOrder(btnBack, edInputFile);
    QWidget::setTabOrder(edInputFile, btnBrowseInput);
    QWidget::setTabOrder(btnBrowseInput, edOutputFile);
    QWidget::setTabOrder(edOutputFile, btnBrowseOutput);
    QWidget::setTabOrder(btnBrowseOutput, lvFiles);
    QWidget::setTabOrder(lvFiles, cbExecAfterClose);
    btnNext->setFocus();

    connect(btnNext, &QPushButton::clicked, this, &TfmMain::btnNextClick);
    connect(btnBack, &QPushButton::clicked, this, &TfmMain::btnBackClick);
    connect(btnClose, &QPushButton::clicked, this, &TfmMain::btnCloseClick);
    connect(edInputFile, &QLineEdit::textChanged, this, &TfmMain::edInputFileChange);
    connect(btnBrowseInput, &QPushButton::clicked, this, &TfmMain::btnBrowseInputClick);
    connect(btnBrowseOutput, &QPushButton::clicked, this, &TfmMain::btnBrowseOutputClick);
    connect(btnHelp, &QPushButton::clicked, this, &TfmMain::btnHelpClick);
}

void TfmMain::CreateWelcomePage() {
    auto* page = new QWidget;
    pnlWelcome = WhitePanel(page);
    pnlWelcome->setGeometry(0, 0, ClientWidth, SeparatorTop);
    lbWelcomeTitle =
        Label(pnlWelcome, QStringLiteral("Tessary Wizard"), 16, 16, 283, 22, ArialFont(17, true));
    lbWelcomeText = WrappedLabel(
        pnlWelcome,
        QStringLiteral("This wizard will help you repair corrupted or incompletely downloaded "
                       "ZIP archives. You will not need any technical knowledge, just follow "
                       "the instructions of the user-friendly wizard."),
        16, 64, 283, font());
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateSelectionPage() {
    auto* page = new QWidget;
    const QFont captionFont = ArialFont(11);
    // Each caption is its box's label: Alt with the underlined letter puts
    // the focus in the box, and screen readers announce the box by it.
    lbInputFile = Label(page, QStringLiteral("&Corrupted file"), 16, 32, 441, 25, captionFont);
    edInputFile = new QLineEdit(page);
    edInputFile->setGeometry(16, 50, 460, 21);
    edInputFile->setAccessibleName(QStringLiteral("Corrupted file"));
    lbInputFile->setBuddy(edInputFile);
    btnBrowseInput = Button(page, QStringLiteral("Browse..."), 401, 77, 75, 25);
    btnBrowseInput->setAccessibleDescription(QStringLiteral("Choose the corrupted file"));
    lbOutputFile = Label(page, QStringLiteral("&Repaired file"), 16, 134, 441, 25, captionFont);
    edOutputFile = new QLineEdit(page);
    edOutputFile->setGeometry(16, 152, 460, 21);
    edOutputFile->setAccessibleName(QStringLiteral("Repaired file"));
    lbOutputFile->setBuddy(edOutputFile);
    btnBrowseOutput = Button(page, QStringLiteral("Browse..."), 401, 179, 75, 25);
    btnBrowseOutput->setAccessibleDescription(QStringLiteral("Choose the repaired file"));
    // The caption labels lie under the boxes; keep the boxes on top.
    edInputFile->raise();
    edOutputFile->raise();
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateScanPage() {
    auto* page = new QWidget;
    lbScanText = WrappedLabel(page,
                              QStringLiteral("The search will take some time depending on the "
                                             "size of the archive and the number of files in it."),
                              16, 16, 460, ArialFont(11));
    BalanceLines(lbScanText);
    pbTotal = ProgressBar(page, 16, 136, 460, 25);
    pbTotal->setAccessibleName(QStringLiteral("Scanning the ZIP archive."));
    lblFilesFound = Label(page, QString::fromLatin1(NothingFoundText), 16, 177, 460, 16, font());
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateResultsPage() {
    auto* page = new QWidget;
    ilSystem = &TFileIconList::System();
    FFilesModel = new TFilesModel(this);
    lvFiles = new QTreeView(page);
    lvFiles->setGeometry(ResultsLeft, ResultsTop, ResultsWidth, ResultsHeight);
    lvFiles->setAccessibleName(QStringLiteral("Search results"));
    lvFiles->setModel(FFilesModel);
    lvFiles->setRootIsDecorated(false);
    lvFiles->setItemsExpandable(false);
    lvFiles->setUniformRowHeights(true);
    lvFiles->setSortingEnabled(false);
    lvFiles->setAllColumnsShowFocus(true);
    lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvFiles->setTextElideMode(Qt::ElideRight);
    lvFiles->setIconSize(QSize(16, 16));
    QHeaderView* header = lvFiles->header();
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->resizeSection(TFilesModel::colName, 295);
    header->resizeSection(TFilesModel::colSize, 80);
    header->resizeSection(TFilesModel::colStatus, 68);
    lblScanCutShort =
        Label(page, {}, ResultsLeft, ResultsTop + ResultsHeight, ResultsWidth, 0, font());
    lblScanCutShort->setWordWrap(true);
    lblScanCutShort->hide();
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateSavingPage() {
    auto* page = new QWidget;
    lbSavingText = Label(page, QStringLiteral("Saving files"), 16, 16, 460, 16, ArialFont(11));
    pbFilesCreate = ProgressBar(page, 16, 136, 465, 25);
    pbFilesCreate->setAccessibleName(QStringLiteral("Creating a new ZIP file"));
    lbFilesCreated =
        Label(page, QString::fromLatin1(NothingRecoveredText), 16, 177, 460, 16, font());
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateFinishPage() {
    auto* page = new QWidget;
    pnlFinish = WhitePanel(page);
    pnlFinish->setGeometry(0, 0, ClientWidth, SeparatorTop);
    lbFinishTitle = Label(pnlFinish, QStringLiteral("Finishing the repair wizard"), 16, 16, 300, 22,
                          ArialFont(17, true));
    lblFinish = Label(pnlFinish, {}, 16, FinishTextTop, 283, FinishTextHeight, font());
    lblFinish->setWordWrap(true);
    cbExecAfterClose =
        new QCheckBox(QStringLiteral("Open the archive after the wizard is closed"), pnlFinish);
    cbExecAfterClose->setGeometry(16, FinishCheckTop, 313, 17);
    cbExecAfterClose->setChecked(false);
    nbWorkArea->addWidget(page);
}

// ---------------------------------------------------------------------------
// Layouts and pages

void TfmMain::ShowWelcomeLayout() {
    pnlTop->hide();
    imWelcome->setGeometry(0, 0, SideWidth, SeparatorTop);
    imWelcome->show();
    pnlWorkArea->setGeometry(SideWidth, 0, ClientWidth - SideWidth, SeparatorTop);
    bvWorkAreaTop->setGeometry(0, 0, pnlWorkArea->width(), BevelHeight);
    nbWorkArea->setGeometry(0, BevelHeight, pnlWorkArea->width(),
                            pnlWorkArea->height() - BevelHeight);
}

void TfmMain::ShowHeaderLayout() {
    imWelcome->hide();
    pnlTop->setGeometry(0, 0, ClientWidth, TopHeight);
    pnlTop->show();
    pnlWorkArea->setGeometry(0, TopHeight, ClientWidth, SeparatorTop - TopHeight);
    bvWorkAreaTop->setGeometry(0, 0, pnlWorkArea->width(), BevelHeight);
    nbWorkArea->setGeometry(0, BevelHeight, pnlWorkArea->width(),
                            pnlWorkArea->height() - BevelHeight);
}

void TfmMain::ShowPageTitles(int page) {
    if (page < pgSelection || page > pgSaving) {
        return; // no header on the Welcome and Finish pages; the labels keep their texts
    }
    lbPageTitle->setText(QString::fromLatin1(PageTitles[static_cast<size_t>(page - pgSelection)]));
    lbPageSubTitle->setText(
        QString::fromLatin1(PageSubTitles[static_cast<size_t>(page - pgSelection)]));
}

// The Results page's note of a scan cut short by a limit, under the list,
// which gives up as many lines as the note takes; no note, the whole list.
void TfmMain::ShowScanCutShort(const QString& text) {
    lblScanCutShort->setText(text);
    lblScanCutShort->setVisible(!text.isEmpty());
    const int noteHeight = text.isEmpty() ? 0 : lblScanCutShort->heightForWidth(ResultsWidth);
    const int listHeight = ResultsHeight - (text.isEmpty() ? 0 : noteHeight + NoteGap);
    lvFiles->setGeometry(ResultsLeft, ResultsTop, ResultsWidth, listHeight);
    lblScanCutShort->setGeometry(ResultsLeft, ResultsTop + listHeight + NoteGap, ResultsWidth,
                                 noteHeight);
}

// The Finish page's text, as tall as its lines; the check box stays in its
// place unless a longer text needs the room.
void TfmMain::ShowFinishText(const QString& text) {
    lblFinish->setText(text);
    const int height = std::max(FinishTextHeight, lblFinish->heightForWidth(lblFinish->width()));
    lblFinish->resize(lblFinish->width(), height);
    const int checkTop = std::max(FinishCheckTop, FinishTextTop + height + NoteGap);
    cbExecAfterClose->move(cbExecAfterClose->x(), checkTop);
}

} // namespace tessary
