// main.cpp -- the wizard program: start the modules, run the window, stop
// the modules.
#include "desktop_links.h"
#include "error_report.h"
#include "main_window.h"
#include "modules.h"
#include "ui_services.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv) {
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
            tessary::TfmMain window(QCoreApplication::arguments().mid(1));
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
