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

#include <stdexcept>

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

TWizard::TWizard(QStringList arguments) : Window(std::make_unique<TfmMain>(std::move(arguments))) {
    Window->LogFileName = Path(QStringLiteral("log/tessary.log")).toStdString();
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

void TWizard::Scan(const QString& input, const QString& output) {
    Select(input, output);
    Window->btnNext->click();
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

void ReportAtEveryStep(TArcsalveOptions& options) {
    options.BufferSize = 256;
    options.TickCount = [tick = uint32_t{0}]() mutable { return tick += 1000; };
}

} // namespace tessary::test
