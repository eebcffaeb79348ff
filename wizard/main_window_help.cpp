// main_window_help.cpp -- TfmMain's help: the menu under the Help button, help
// by context number on F1, the online support page and the About box.
#include "main_window.h"

#include "about_box.h"
#include "help_topics.h"
#include "links.h"
#include "ui_services.h"
#include "wizard_text.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVariant>

#include <exception>

namespace tessary {

void TfmMain::CreateHelpMenu() {
    // The menu belongs to the window but to no control: it takes no keyboard
    // shortcuts, so "F1" beside "Help Topics" is only shown, and a press of
    // F1 goes to the window's own F1 handling instead of this entry.
    ppHelp = new QMenu(this);
    ppHelp->setObjectName(QStringLiteral("ppHelp"));
    Helptopic1 = ppHelp->addAction(QStringLiteral("Help Topics\tF1"));
    OnlineSupport1 = ppHelp->addAction(QStringLiteral("Online support"));
    N1 = ppHelp->addSeparator();
    About1 = ppHelp->addAction(QStringLiteral("About ..."));
    connect(Helptopic1, &QAction::triggered, this, &TfmMain::Helptopic1Click);
    connect(OnlineSupport1, &QAction::triggered, this, &TfmMain::OnlineSupport1Click);
    connect(About1, &QAction::triggered, this, &TfmMain::About1Click);
}

// The menu hangs from the button's bottom-left corner, wherever the window is.
void TfmMain::btnHelpClick() {
    const QRect button = btnHelp->geometry();
    const QPoint corner(button.left(), button.top() + button.height());
    ppHelp->popup(pnlBottom->mapToGlobal(corner));
}

// "Help Topics" presses F1 for the user: once the menu has closed and the
// focus is back, the focused control receives an F1 key press as if the user
// had pressed it, and the F1 handling below opens the topic.
void TfmMain::Helptopic1Click() {
    QTimer::singleShot(0, this, [] {
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            target = QApplication::activeWindow();
        }
        if (target != nullptr) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
        }
    });
}

void TfmMain::OnlineSupport1Click() {
    CallOnlineSupport(static_cast<QWidget*>(this));
}

// A new box each time, destroyed when its modal run ends, also when showing
// it fails; such a failure goes to the error display.
void TfmMain::About1Click() {
    try {
        TfmAbout box(this);
        box.exec();
    } catch (const std::exception& error) {
        ShowError(WithFullStop(QString::fromLocal8Bit(error.what())));
    }
}

int TfmMain::HelpContextOf(const QWidget* focused) {
    for (const QWidget* widget = focused; widget != nullptr; widget = widget->parentWidget()) {
        const int context = widget->property("HelpContext").toInt();
        if (context != 0) {
            return context;
        }
        if (widget->isWindow()) {
            break; // a box's owner is not its parent for help
        }
    }
    return 0;
}

void TfmMain::ShowHelp(int context) {
    OpenDocument(this,
                 QString::fromStdString(HelpTopicPath(HelpFolderName.toStdString(), context)));
}

// F1 on any control of this window, pressed or sent by "Help Topics", opens
// the help of the context found from that control. Keys for other windows
// (the About box, message boxes, the menu) pass on untouched.
bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (key->key() == Qt::Key_F1 &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && widget != nullptr &&
            widget->window() == this) {
            if (const int context = HelpContextOf(widget)) {
                ShowHelp(context);
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tessary
