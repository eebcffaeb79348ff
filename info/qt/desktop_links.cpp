// desktop_links.cpp -- OpenLink through the desktop's document opener.
#include "desktop_links.h"

#include "links.h"
#include "ui_services.h"

#include <QString>
#include <QWidget>

namespace tessary {

void UseDesktopForLinks() {
    SetOpenLinkFunction([](TLinkOwner owner, const std::string& address) {
        OpenDocument(static_cast<QWidget*>(owner), QString::fromStdString(address));
    });
}

} // namespace tessary
