// main_window.h -- TfmMain, the wizard window: its pages, the moves between
// them, the scan and the rebuild through the engine, and the program's log.
// The window's code is spread by concern: main_window.cpp (the flow between
// the pages), main_window_pages.cpp (the regions and the six pages),
// main_window_run.cpp (the two engine runs), main_window_output.cpp (the two
// file names), main_window_help.cpp (help and the About box).
#pragma once

#include "arcsalve.h"
#include "engine_run.h"
#include "tlog.h"

#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;
class QTreeView;

namespace tessary {

class TFileIconList;
class TFilesModel;
class TInputStream;
struct TOutputTarget;
enum class TMessageIcon;
enum class TMessageButtons;
enum class TMessageResult;

class TfmMain : public QWidget {
    Q_OBJECT
    // F1 looks for the first non-zero help context from the focused control
    // up; of the main window's widgets only the window itself carries one.
    Q_PROPERTY(int HelpContext READ HelpContext)
public:
    // The pages of nbWorkArea, in their order.
    enum TPage { pgWelcome, pgSelection, pgScan, pgResults, pgSaving, pgFinish, PageCount };

    // `arguments` are the command-line arguments after the program's name; the
    // first one, if any, is a damaged archive to put into the input box.
    explicit TfmMain(QStringList arguments, QWidget* parent = nullptr);
    ~TfmMain() override;

    int CurrentPage() const;
    int HelpContext() const { return FHelpContext; }

    // The engine's progress event, called on the run's worker thread: posts
    // the report to the window and answers whether the run may go on.
    bool EngineProgress(int32_t percent, const char* text);
    // Shows a progress report on the page of the running stage.
    void ShowProgress(int percent, const QString& count);

    // A scan or a rebuild is running, or has just ended and its page's
    // buttons are not yet enabled again (see main_window_run.cpp).
    bool RunInProgress() const { return FRunState != TRunState::Idle; }

    void ShowWelcomeLayout();
    void ShowHeaderLayout();

    // The error reporter's sink: every report becomes a line of the log.
    int32_t LogSink(const std::string& text, int32_t kind);
    void AddLogLine(const std::string& text, int32_t kind);

    // Where the log goes at exit; beside the program file unless changed.
    std::string LogFileName;

    // The folder of the help pages, with a trailing "/": beside the program
    // file, or the installed help (set when the window is created).
    QString HelpFolderName;

    // The help context that F1 finds from `focused`: the first non-zero one
    // from that widget up through its parents, not beyond its window; 0 when
    // there is none.
    static int HelpContextOf(const QWidget* focused);
    // Opens the help page of `context` with the desktop's viewer.
    void ShowHelp(int context);

    // The options every new engine is built with. Writes the repaired archive
    // to real files; tests pace the progress reports through it.
    TArcsalveOptions FEngineOptions;

    // Controls, by region. The window owns them all.
    QWidget* pnlTop;
    QLabel* lbPageTitle;
    QLabel* lbPageSubTitle;
    QLabel* imLogo;
    QLabel* imWelcome;
    QWidget* pnlWorkArea;
    QFrame* bvWorkAreaTop;
    QStackedWidget* nbWorkArea;
    QFrame* bvBottom;
    QWidget* pnlBottom;
    QPushButton* btnHelp;
    QPushButton* btnBack;
    QPushButton* btnNext;
    QPushButton* btnClose;

    // The help menu that drops down under btnHelp, and its entries.
    QMenu* ppHelp;
    QAction* Helptopic1;
    QAction* OnlineSupport1;
    QAction* N1;
    QAction* About1;

    // Welcome page.
    QWidget* pnlWelcome;
    QLabel* lbWelcomeTitle;
    QLabel* lbWelcomeText;

    // Selection page.
    QLabel* lbInputFile;
    QLineEdit* edInputFile;
    QPushButton* btnBrowseInput;
    QLabel* lbOutputFile;
    QLineEdit* edOutputFile;
    QPushButton* btnBrowseOutput;

    // Scan page.
    QLabel* lbScanText;
    QProgressBar* pbTotal;
    QLabel* lblFilesFound;

    // Results page. lblScanCutShort, under the list, shows only when the
    // scan was cut short by a limit.
    QTreeView* lvFiles;
    QLabel* lblScanCutShort;
    TFilesModel* FFilesModel;
    TFileIconList* ilSystem;

    // Saving page.
    QLabel* lbSavingText;
    QProgressBar* pbFilesCreate;
    QLabel* lbFilesCreated;

    // Finish page.
    QWidget* pnlFinish;
    QLabel* lbFinishTitle;
    QLabel* lblFinish;
    QCheckBox* cbExecAfterClose;

    // The engine of the latest scan and the program's log, both owned.
    std::unique_ptr<TArcsalve> FEngine;
    std::unique_ptr<TLog> FLog;
    // The worker that runs FEngine's scan or rebuild, and its stop flag.
    TEngineRun FRun;
    // Which page's progress the engine's reports go to: the scan or the rebuild.
    bool FScanning = true;

public slots:
    void btnNextClick();
    void btnBackClick();
    void btnCloseClick();
    void edInputFileChange();
    void btnBrowseInputClick();
    void btnBrowseOutputClick();
    void btnHelpClick();
    void Helptopic1Click();
    void OnlineSupport1Click();
    void About1Click();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void CreateWelcomePage();
    void CreateSelectionPage();
    void CreateScanPage();
    void CreateResultsPage();
    void CreateSavingPage();
    void CreateFinishPage();
    void CreateHelpMenu();

    void FormCreate();
    void FormActivate();
    void FormDestroy();

    void ShowPage(int page);
    void ShowPageTitles(int page);
    void FocusPage();
    void SetButtonEnabled(QPushButton* button, bool enabled);
    void SetRunButtonsEnabled(bool enabled);
    void ReturnToSelection();
    void ShowScanCutShort(const QString& text);
    void ShowFinishText(const QString& text);

    // The two engine runs (main_window_run.cpp).
    enum class TRunState { Idle, Running, Settling };
    void PrepareRuns();
    void ScanSelection();
    void RebuildArchive();
    void StartRun(std::function<void()> work);
    void RunFinished();
    void EndRun();
    void EndSettling();
    bool AskToStop(bool closing);
    void EnterResultsPage();
    void EnterFinishPage();
    void DiscardEngine();

    // The two file names (main_window_output.cpp).
    static void SetEditText(QLineEdit* edit, const QString& text);
    bool CheckOutputPath(TOutputTarget& target) const;
    bool MayReplaceOutput(const TOutputTarget& target, const TInputStream& input);

    // The window's own message boxes and the error display. Activation that
    // returns from them is not a return from another window of the program.
    TMessageResult Ask(const QString& text, const QString& caption, TMessageIcon icon,
                       TMessageButtons buttons);
    void ShowError(const QString& text);
    void Guarded(const std::function<void()>& handler);

    QStringList FArguments;
    int FHelpContext = 0;
    int FOwnModalDepth = 0;
    bool FActivatedBefore = false;
    bool FFocusWentToOwnWindow = false;
    bool FCentred = false;
    // The run's state as the window shows it (main_window_run.cpp).
    TRunState FRunState = TRunState::Idle;
    // The stop question is showing.
    bool FAskingToStop = false;
    // The run ended while the stop question was showing.
    bool FEndPending = false;
    // The close box was answered OK during a run: close once it has ended.
    bool FCloseAfterRun = false;
    // Ends the settling after a run.
    QTimer* FSettleTimer = nullptr;
};

} // namespace tessary
