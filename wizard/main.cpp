// main.cpp -- the wizard program: start the modules, run the window, stop
// the modules.
#include "command_line.h"
#include "desktop_links.h"
#include "error_report.h"
#include "main_window.h"
#include "modules.h"
#include "program_info.h"
#include "ui_services.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    // Answered before Qt starts, so they work without a display, and before the
    // modules start, so they leave no settings file behind.
    // A text that could not be written (a closed or full output) is a failure.
    switch (tessary::WizardActionFor(argc, argv)) {
    case tessary::TWizardAction::Help:
        std::fputs(tessary::WizardUsageText, stdout);
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case tessary::TWizardAction::Version:
        tessary::SelectProduct();
        tessary::ReadFileVersion();
        std::printf("tessary (%s)\n", tessary::GetTitle().c_str());
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case tessary::TWizardAction::Run:
        break;
    }
    tessary::StartModules(argc, argv);
    int result = 0;
    {
        QApplication application(argc, argv);
        // The desktop entry that started the program names its icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("tessary"));
        tessary::UseDesktopForLinks();
        // Reports made while no window collects them show in a message box.
        tessary::SetMessageBoxHandler([](const std::string& caption, const std::string& text) {
            tessary::MessageBox(nullptr, QString::fromLocal8Bit(text),
                                QString::fromLocal8Bit(caption), tessary::TMessageIcon::None,
                                tessary::TMessageButtons::Ok);
        });
        {
            QStringList arguments = QCoreApplication::arguments().mid(1);
            if (!arguments.isEmpty() && arguments.first() == QStringLiteral("--"))
                arguments.removeFirst();
            tessary::TfmMain window(arguments);
            window.show();
            // Without a window manager nothing else would make it the active window.
            window.activateWindow();
            result = QApplication::exec();
        }
        tessary::SetMessageBoxHandler({});
    }
    tessary::StopModules();
    return result;
}
