// wizard_test_util.cpp -- the desktop stand-in and the test archives.
#include "wizard_test_util.h"

#include "desktop_links.h"
#include "program_info.h"
#include "zip_builder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tessary::test {

TDesktopStandIn::TDesktopStandIn() {
    FOldMessageBox = SetMessageBoxFunction([this](const TMessageRequest& request) {
        const TRecordedMessage message{request.Text, request.Caption, request.Icon,
                                       request.Buttons};
        Messages.append(message);
        if (WhileShowing) {
            WhileShowing(message);
        }
        return Answers.isEmpty() ? TMessageResult::Ok : Answers.takeFirst();
    });
    FOldFileDialog = SetFileDialogFunction([this](const TFileDialogRequest& request) {
        Dialogs.append(request);
        return DialogAnswers.isEmpty() ? std::nullopt : DialogAnswers.takeFirst();
    });
    FOldOpenDocument = SetOpenDocumentFunction([this](QWidget* owner, const QString& target) {
        Opened.append(target);
        OpenedFor.append(owner);
    });
    FOldOpenLink = SetOpenLinkFunction({});
    UseDesktopForLinks();
}

TDesktopStandIn::~TDesktopStandIn() {
    SetMessageBoxFunction(std::move(FOldMessageBox));
    SetFileDialogFunction(std::move(FOldFileDialog));
    SetOpenDocumentFunction(std::move(FOldOpenDocument));
    SetOpenLinkFunction(std::move(FOldOpenLink));
}

void PrepareWizardProgram() {
    QApplication::setQuitOnLastWindowClosed(false);
    SelectProduct();
    ReadFileVersion();
}

struct TEngineClock::TState {
    std::mutex Mutex;
    std::condition_variable Released;
    bool EveryStep = false;
    std::chrono::microseconds Pause{0};
    bool Armed = false;
    bool Held = false;
    uint32_t Tick = 0;

    uint32_t Look() {
        std::unique_lock lock(Mutex);
        if (Pause.count() > 0) {
            const auto pause = Pause;
            lock.unlock();
            std::this_thread::sleep_for(pause);
            lock.lock();
        }
        if (Armed) {
            Armed = false;
            Held = true;
            // Never for ever: a test that fails while it holds the engine
            // must still end.
            Released.wait_for(lock, std::chrono::seconds(30), [this] { return !Held; });
            Held = false;
        }
        return EveryStep ? Tick += 1000 : SteadyTickCount();
    }
};

TEngineClock::TEngineClock() : FState(std::make_shared<TState>()) {
    FPoll.setInterval(0);
    QObject::connect(&FPoll, &QTimer::timeout, [this] {
        {
            std::lock_guard lock(FState->Mutex);
            if (!FState->Held) {
                return;
            }
        }
        FPoll.stop();
        const std::function<void()> during = std::move(FDuring);
        FDuring = nullptr;
        during();
        Release();
    });
}

TEngineClock::~TEngineClock() {
    Release();
}

void TEngineClock::Install(TArcsalveOptions& options) {
    options.TickCount = [state = FState] { return state->Look(); };
}

void TEngineClock::ReportAtEveryStep(TArcsalveOptions& options) {
    options.BufferSize = 256;
    std::lock_guard lock(FState->Mutex);
    FState->EveryStep = true;
}

void TEngineClock::SleepAtEveryLook(std::chrono::microseconds pause) {
    std::lock_guard lock(FState->Mutex);
    FState->Pause = pause;
}

void TEngineClock::During(std::function<void()> during) {
    FDuring = std::move(during);
    {
        std::lock_guard lock(FState->Mutex);
        FState->Armed = true;
    }
    FPoll.start();
}

void TEngineClock::Release() {
    FPoll.stop();
    FDuring = nullptr;
    {
        std::lock_guard lock(FState->Mutex);
        FState->Armed = false;
        FState->Held = false;
    }
    FState->Released.notify_all();
}

void WaitForRun(TfmMain& window) {
    QTRY_VERIFY_WITH_TIMEOUT(!window.RunInProgress(), 60'000);
}

TWizard::TWizard(QStringList arguments) : Window(std::make_unique<TfmMain>(std::move(arguments))) {
    Window->LogFileName = Path(QStringLiteral("log/tessary.log")).toStdString();
    Clock.Install(Window->FEngineOptions);
}

TWizard::~TWizard() {
    // The window waits for a run still going; a held one could not end.
    Clock.Release();
    Window.reset();
}

void TWizard::ShowActive() {
    Window->show();
    Window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(Window.get()));
}

void TWizard::Select(const QString& input, const QString& output) {
    if (Window->CurrentPage() == TfmMain::pgWelcome) {
        Window->btnNext->click();
    }
    Window->edInputFile->setText(input);
    Window->edOutputFile->setText(output);
}

void TWizard::Next() {
    Window->btnNext->click();
    WaitForRun(*Window);
}

void TWizard::Scan(const QString& input, const QString& output) {
    Select(input, output);
    Next();
}

QString WriteFile(const QString& path, const std::string& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size())) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    return path;
}

std::string ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

std::string DamagedArchive(int count, const std::string& firstName) {
    TZipBuilder zip;
    for (int i = 0; i < count; ++i) {
        const std::string name =
            i == 0 && !firstName.empty() ? firstName : "file" + std::to_string(i) + ".txt";
        zip.AddDeflated(
            name, TestBytes(200 + static_cast<size_t>(i) * 37, static_cast<uint32_t>(i + 1), true));
    }
    return zip.Bytes(); // no central directory, no end record
}

} // namespace tessary::test
