// main_window.cpp -- TfmMain: the window's regions and pages, the page flow
// with its two engine runs, and the program's log.
#include "main_window.h"

#include "engine_error.h"
#include "error_report.h"
#include "file_icons.h"
#include "file_streams.h"
#include "files_model.h"
#include "fonts.h"
#include "help_button.h"
#include "help_topics.h"
#include "output_target.h"
#include "paths.h"
#include "program_info.h"
#include "program_path.h"
#include "ui_services.h"
#include "wizard_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTreeView>

#include <array>
#include <exception>
#include <utility>

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

// Help context of each page as a move to it completes.
constexpr int HelpWelcome = HelpContextWelcome;
constexpr int HelpSelection = HelpContextSelection;
constexpr int HelpResults = HelpContextResults;
constexpr int HelpFinish = HelpContextFinish;

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
// the box's change handler.
void SetEditText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) {
        edit->setText(text);
    }
}

// The Save dialog's name with the archive's extension: added when the chosen
// name does not end in it already, in any case.
QString WithZipExtension(const QString& name) {
    const QString extension = QStringLiteral(".zip");
    return name.endsWith(extension, Qt::CaseInsensitive) ? name : name + extension;
}

// The repaired archive's folder can be created, or exists already. A name
// without a folder part lies in the current folder.
bool CanCreateFolderOf(const QString& fileName) {
    const QString folder = FolderPart(fileName);
    return folder.isEmpty() || QDir().mkpath(folder);
}

// The name of a file as the error display and the questions show it.
QString FullPath(const QString& fileName) {
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

// The error display's text for a failure: the engine's file errors name the
// file and the system's reason; anything else shows its own message.
QString FailureText(const std::exception& error) {
    if (const auto* engineError = dynamic_cast<const EArcsalveError*>(&error)) {
        return EngineErrorText(*engineError);
    }
    return WithFullStop(QString::fromLocal8Bit(error.what()));
}

} // namespace

TfmMain::TfmMain(QStringList arguments, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      LogFileName(ProgramLogFile()), FArguments(std::move(arguments)) {
    FEngineOptions.CreateOutput = FileOutputFactory();
    CreateControls();
    FormCreate();
    // F1 is seen before the focused control can take it (see eventFilter).
    QCoreApplication::instance()->installEventFilter(this);
}

TfmMain::~TfmMain() {
    QCoreApplication::instance()->removeEventFilter(this);
    FormDestroy();
}

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
    lblFilesFound = Label(page, QStringLiteral("Nothing is found"), 16, 177, 460, 16, font());
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateResultsPage() {
    auto* page = new QWidget;
    ilSystem = &TFileIconList::System();
    FFilesModel = new TFilesModel(this);
    lvFiles = new QTreeView(page);
    lvFiles->setGeometry(16, 16, 465, 241);
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
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateSavingPage() {
    auto* page = new QWidget;
    lbSavingText = Label(page, QStringLiteral("Saving files"), 16, 16, 460, 16, ArialFont(11));
    pbFilesCreate = ProgressBar(page, 16, 136, 465, 25);
    pbFilesCreate->setAccessibleName(QStringLiteral("Creating a new ZIP file"));
    lbFilesCreated = Label(page, QStringLiteral("Nothing is recovered"), 16, 177, 460, 16, font());
    nbWorkArea->addWidget(page);
}

void TfmMain::CreateFinishPage() {
    auto* page = new QWidget;
    pnlFinish = WhitePanel(page);
    pnlFinish->setGeometry(0, 0, ClientWidth, SeparatorTop);
    lbFinishTitle = Label(pnlFinish, QStringLiteral("Finishing the repair wizard"), 16, 16, 300, 22,
                          ArialFont(17, true));
    lblFinish = Label(pnlFinish, {}, 16, 77, 283, 60, font());
    lblFinish->setWordWrap(true);
    cbExecAfterClose =
        new QCheckBox(QStringLiteral("Open the archive after the wizard is closed"), pnlFinish);
    cbExecAfterClose->setGeometry(16, 152, 313, 17);
    cbExecAfterClose->setChecked(false);
    nbWorkArea->addWidget(page);
}

// ---------------------------------------------------------------------------
// Creation, activation, destruction

void TfmMain::FormCreate() {
    HelpFolderName = QString::fromStdString(HelpFolder(ExtractFilePath(ProgramFilePath())));
    FStopped = true;
    FScanning = true;
    nbWorkArea->setCurrentIndex(pgWelcome);
    FHelpContext = HelpWelcome;
    ShowWelcomeLayout();
    imLogo->setPixmap(QPixmap(QStringLiteral(":/logo")));
    setWindowIcon(QIcon(imLogo->pixmap()));
    // The caption is also what the task bar shows. No application display
    // name is set: the desktop would append it to the caption of every
    // message box and of the About box.
    setWindowTitle(QString::fromStdString(GetTitle()));
    FLog = std::make_unique<TLog>();
    SetErrorSink([this](const std::string& text, int32_t kind) { return LogSink(text, kind); });
}

void TfmMain::FormActivate() {
    if (FArguments.isEmpty()) {
        return;
    }
    // Once a scan has begun, the names belong to it: replacing them now would
    // write this archive's repair under a name made for another one, and
    // enable Next in the middle of a run.
    if (CurrentPage() != pgWelcome && CurrentPage() != pgSelection) {
        return;
    }
    SetEditText(edInputFile, FArguments.first());
    btnNext->setEnabled(true);
    if (CurrentPage() == pgWelcome) {
        FocusPage(); // the input rule may have taken the focus from Next
    }
}

void TfmMain::FormDestroy() {
    FFilesModel->SetView(nullptr);
    FEngine.reset();
    // Reports after this point have no log to go to; they must not reach a
    // window that is being destroyed.
    SetErrorSink({});
    if (FLog) {
        try {
            FLog->SaveToFile(LogFileName, true);
        } catch (...) {
            // The program ends normally whatever became of the log file.
        }
        FLog.reset();
    }
}

bool TfmMain::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::WindowActivate:
        // The window becomes the program's active window: when first shown,
        // and when another window of the program (not one of its own message
        // boxes or file dialogs) hands the focus back.
        if (!FActivatedBefore || FFocusWentToOwnWindow) {
            FActivatedBefore = true;
            FFocusWentToOwnWindow = false;
            Guarded([this] { FormActivate(); });
        }
        break;
    case QEvent::WindowDeactivate: {
        const QWidget* active = QApplication::activeWindow();
        FFocusWentToOwnWindow = active != nullptr && active != this && FOwnModalDepth == 0;
        break;
    }
    default:
        break;
    }
    return QWidget::event(event);
}

void TfmMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!FCentred) {
        FCentred = true;
        if (const QScreen* where = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(where->availableGeometry().center());
            move(frame.topLeft());
        }
    }
}

// Enter presses the focused button, or else the default button Next.
void TfmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused ? focused : btnNext;
        if (target->isVisible() && target->isEnabled()) {
            target->click();
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
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

int TfmMain::CurrentPage() const {
    return nbWorkArea->currentIndex();
}

void TfmMain::ShowPage(int page) {
    nbWorkArea->setCurrentIndex(page);
    ShowPageTitles(page);
    FocusPage();
}

// Where the focus goes on each page: the input box on Selection, with its
// text selected so that typing replaces it; the page itself during a run;
// Next elsewhere while it is enabled. Never Cancel: Enter would quit.
void TfmMain::FocusPage() {
    QWidget* target = nbWorkArea->currentWidget();
    if (CurrentPage() == pgSelection) {
        target = edInputFile;
    } else if (CurrentPage() != pgScan && CurrentPage() != pgSaving && btnNext->isEnabled()) {
        target = btnNext;
    }
    target->setFocus(Qt::OtherFocusReason);
    if (target == edInputFile) {
        edInputFile->selectAll();
    }
}

// A button that is disabled while it has the focus hands it on to the next
// one in the tab order, Cancel, where the next Enter would quit: the page
// takes it back instead.
void TfmMain::SetButtonEnabled(QPushButton* button, bool enabled) {
    if (!enabled && focusWidget() == button) {
        QWidget* page = CurrentPage() == pgSelection ? static_cast<QWidget*>(edInputFile)
                                                     : nbWorkArea->currentWidget();
        page->setFocus(Qt::OtherFocusReason);
    }
    button->setEnabled(enabled);
}

void TfmMain::ShowPageTitles(int page) {
    if (page < pgSelection || page > pgSaving) {
        return; // no header on the Welcome and Finish pages; the labels keep their texts
    }
    lbPageTitle->setText(QString::fromLatin1(PageTitles[static_cast<size_t>(page - pgSelection)]));
    lbPageSubTitle->setText(
        QString::fromLatin1(PageSubTitles[static_cast<size_t>(page - pgSelection)]));
}

void TfmMain::SetRunButtonsEnabled(bool enabled) {
    SetButtonEnabled(btnNext, enabled);
    SetButtonEnabled(btnBack, enabled);
}

// ---------------------------------------------------------------------------
// Buttons

void TfmMain::btnNextClick() {
    Guarded([this] {
        // During a run Next is disabled and the run moves on by itself; a
        // click that arrives anyway must not start a second run inside it.
        if (!FStopped) {
            return;
        }
        switch (CurrentPage()) {
        case pgWelcome:
            btnBack->show();
            ShowHeaderLayout();
            ShowPage(pgSelection);
            edInputFileChange();
            FHelpContext = HelpSelection;
            break;
        case pgSelection:
            ScanSelection();
            break;
        case pgResults:
            RebuildArchive();
            break;
        case pgFinish:
            // Without a repaired archive there is nothing to open.
            if (cbExecAfterClose->isChecked() && FEngine && FEngine->WrittenEntries() > 0) {
                OpenDocument(this, edOutputFile->text());
            }
            close();
            break;
        default:
            break;
        }
    });
}

void TfmMain::btnBackClick() {
    Guarded([this] {
        if (!FStopped) {
            return;
        }
        switch (CurrentPage()) {
        case pgSelection:
            btnBack->hide();
            ShowWelcomeLayout();
            btnNext->setEnabled(true);
            ShowPage(pgWelcome);
            FHelpContext = HelpWelcome;
            break;
        case pgResults:
        case pgFinish:
            ReturnToSelection();
            break;
        default:
            break;
        }
    });
}

void TfmMain::btnCloseClick() {
    Guarded([this] {
        if (FStopped) {
            close();
            return;
        }
        if (AskToStop()) {
            FStopped = true;
        }
    });
}

bool TfmMain::AskToStop() {
    return Ask(QStringLiteral("Do you realy want to stop process?"), QStringLiteral("Warning"),
               TMessageIcon::Question, TMessageButtons::OkCancel) == TMessageResult::Ok;
}

// The close box during a run asks the stop question; on OK the run stops at
// its next report and the window closes once it has returned, so nothing
// runs on unseen and the repaired archive is either complete or absent.
void TfmMain::closeEvent(QCloseEvent* event) {
    if (FStopped) {
        QWidget::closeEvent(event);
        return;
    }
    event->ignore();
    if (!FCloseAfterRun && AskToStop()) {
        FCloseAfterRun = true;
        FStopped = true;
    }
}

// Input that arrived in the run's last stretch, between its last report and
// its end (a Cancel click as the bar reaches its end), is handled while the
// run still counts as active: Cancel then asks to stop instead of quitting.
void TfmMain::EndRun() {
    if (!FStopped) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    FStopped = true;
}

// ---------------------------------------------------------------------------
// Selection page

void TfmMain::edInputFileChange() {
    const QString input = edInputFile->text();
    if (QFileInfo(input).isFile()) {
        btnNext->setEnabled(true);
        SetEditText(edOutputFile, DefaultRepairedName(input));
    } else {
        SetButtonEnabled(btnNext, false);
    }
}

void TfmMain::btnBrowseInputClick() {
    Guarded([this] {
        ++FOwnModalDepth;
        const auto chosen = FileDialog(this, TFileDialogKind::Open, QStringLiteral("ZIP (*.zip)"),
                                       edInputFile->text());
        --FOwnModalDepth;
        if (!chosen) {
            return;
        }
        SetEditText(edInputFile, *chosen);
        SetEditText(edOutputFile, DefaultRepairedName(edInputFile->text()));
    });
}

void TfmMain::btnBrowseOutputClick() {
    Guarded([this] {
        ++FOwnModalDepth;
        const auto chosen = FileDialog(this, TFileDialogKind::Save, QStringLiteral("ZIP (*.zip)"),
                                       edOutputFile->text());
        --FOwnModalDepth;
        if (!chosen) {
            return;
        }
        SetEditText(edOutputFile, WithZipExtension(*chosen));
    });
}

// Linux has no drive letters: the path is sound when its folder exists or can
// be created now, before the scan, and takes a new file (a temporary one is
// created and removed there), so that an unwritable folder is known before
// the whole archive has been read. Also finds what the name holds already.
bool TfmMain::CheckOutputPath(TOutputTarget& target) const {
    const QString output = edOutputFile->text();
    if (output.isEmpty()) {
        return true; // nothing to examine; the empty name keeps the wizard here
    }
    const bool folderMade = CanCreateFolderOf(output);
    target = CheckOutputTarget(ToNativePath(output), true);
    return folderMade && target.Problem != TOutputProblem::FolderNotWritable &&
           target.Problem != TOutputProblem::BadPath;
}

// An existing file under the repaired name is replaced only when the user
// says so. The damaged archive itself, a read-only file and anything that is
// not a regular file are refused at once through the error display, instead
// of after the whole scan.
bool TfmMain::MayReplaceOutput(const TOutputTarget& target, const TInputStream& input) {
    if (!target.Exists) {
        return true;
    }
    if (input.IsSameFile(target.Path)) {
        throw EArcsalveError(TErrorKind::OutputIsInput, target.Path,
                             "The repaired archive cannot replace the damaged one");
    }
    if (target.Problem == TOutputProblem::ReadOnly ||
        target.Problem == TOutputProblem::NotRegular) {
        throw EArcsalveError(TErrorKind::CreateOutput, target.Path, target.Reason);
    }
    const QString question = QStringLiteral("The file \"%1\" already exists. Do you want to "
                                            "replace it?")
                                 .arg(FullPath(edOutputFile->text()));
    if (Ask(question, QStringLiteral("Warning"), TMessageIcon::Question, TMessageButtons::YesNo) ==
        TMessageResult::Yes) {
        return true;
    }
    // Back to the repaired name, ready for another one to be typed.
    edOutputFile->setFocus(Qt::OtherFocusReason);
    edOutputFile->selectAll();
    return false;
}

// ---------------------------------------------------------------------------
// The two engine runs

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
    lblFilesFound->setText(QStringLiteral("Nothing is found"));

    // A damaged archive that cannot be opened leaves the previous engine and
    // its results as they were.
    std::unique_ptr<TInputStream> stream = OpenInputFile(ToNativePath(input));
    if (!MayReplaceOutput(target, *stream)) {
        return;
    }
    // Only the file the user agreed to replace, while it stays unchanged; a
    // file that appears under the name after the question is not replaced.
    TOutputFileOptions fileOptions;
    fileOptions.ReplaceAllowed = target.Exists;
    if (target.Exists) {
        fileOptions.Replaces = target.Identity;
    }
    FEngineOptions.CreateOutput = FileOutputFactory(fileOptions);
    DiscardEngine();
    FEngine = std::make_unique<TArcsalve>(
        std::move(stream),
        [this](int32_t percent, const char* text) { return EngineProgress(percent, text); },
        FEngineOptions);

    ShowPage(pgScan);
    SetRunButtonsEnabled(false);
    FStopped = false;
    try {
        FEngine->BeginScanFile();
    } catch (const std::exception& error) {
        FStopped = true;
        FScanning = false;
        SetRunButtonsEnabled(true);
        ShowError(FailureText(error));
        ReturnToSelection();
        if (FCloseAfterRun) {
            close();
        }
        return;
    }
    EndRun();
    FScanning = false;
    SetRunButtonsEnabled(true);
    if (FCloseAfterRun) {
        close();
        return;
    }

    ShowPage(pgResults);
    FFilesModel->SetView(&FEngine->FView);
    FHelpContext = HelpResults;
}

void TfmMain::RebuildArchive() {
    if (!FEngine) {
        return;
    }
    ShowPage(pgSaving);
    pbFilesCreate->setValue(0);
    lbFilesCreated->setText(QStringLiteral("Nothing is recovered"));
    SetRunButtonsEnabled(false);
    FStopped = false;
    try {
        FEngine->GetRecovered(ToNativePath(edOutputFile->text()));
    } catch (const std::exception& error) {
        // Nothing was left under the chosen name and the damaged archive is
        // untouched: show why, then offer the Selection page again, where
        // Next scans anew with a new engine.
        FStopped = true;
        SetRunButtonsEnabled(true);
        ShowError(FailureText(error));
        ReturnToSelection();
        if (FCloseAfterRun) {
            close();
        }
        return;
    }
    EndRun();
    SetRunButtonsEnabled(true);
    if (FCloseAfterRun) {
        close();
        return;
    }
    EnterFinishPage();
    FHelpContext = HelpFinish;
}

void TfmMain::ReturnToSelection() {
    btnNext->setEnabled(true);
    btnNext->setText(QStringLiteral("Next >"));
    ShowHeaderLayout();
    ShowPage(pgSelection);
    FHelpContext = HelpSelection;
}

// The summary counts the entries the repaired archive holds: all of them
// after a whole rebuild, those written before a stop, and says so plainly
// when nothing was found and so no archive was written.
void TfmMain::EnterFinishPage() {
    ShowWelcomeLayout();
    ShowPage(pgFinish);
    const QString input = edInputFile->text();
    if (!FEngine || FEngine->FView.empty()) {
        lblFinish->setText(QStringLiteral("Nothing was found in the archive ") +
                           FileNamePart(input) +
                           QStringLiteral(", so no repaired archive has been written"));
    } else {
        lblFinish->setText(FinishSummary(static_cast<qsizetype>(FEngine->WrittenEntries()), input));
    }
    btnNext->setText(QStringLiteral("Finish"));
}

void TfmMain::DiscardEngine() {
    // The list must let go of the rows before the engine that holds them goes.
    FFilesModel->SetView(nullptr);
    FEngine.reset();
}

bool TfmMain::EngineProgress(int32_t percent, const char* text) {
    if (percent > 100) {
        percent = 100;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const QString count = QString::fromLatin1(text ? text : "");
    if (FScanning) {
        pbTotal->setValue(percent);
        lblFilesFound->setText(count + QStringLiteral(" files have been found"));
    } else {
        pbFilesCreate->setValue(percent);
        lbFilesCreated->setText(count + QStringLiteral(" files have been repaired"));
    }
    return !FStopped;
}

// ---------------------------------------------------------------------------
// Log, messages and errors

int32_t TfmMain::LogSink(const std::string& text, int32_t kind) {
    AddLogLine(text, kind);
    return 0;
}

void TfmMain::AddLogLine(const std::string& text, int32_t kind) {
    if (FLog) {
        FLog->Add(static_cast<uint8_t>(kind), text.c_str());
    }
}

TMessageResult TfmMain::Ask(const QString& text, const QString& caption, TMessageIcon icon,
                            TMessageButtons buttons) {
    ++FOwnModalDepth;
    const TMessageResult result = MessageBox(this, text, caption, icon, buttons);
    --FOwnModalDepth;
    return result;
}

// The error display: the program's title as caption, an error icon, OK.
void TfmMain::ShowError(const QString& text) {
    Ask(text, QString::fromStdString(GetTitle()), TMessageIcon::Error, TMessageButtons::Ok);
}

// Runs a handler; a failure that escapes it goes to the error display, and
// the window goes on with the next event.
template <typename Handler> void TfmMain::Guarded(Handler&& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ShowError(FailureText(error));
    }
}

} // namespace tessary
