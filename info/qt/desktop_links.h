// desktop_links.h -- links opened by the desktop: the link opener of the
// program information, routed through the replaceable document opener of the
// Qt platform layer (which tests stand in for).
#pragma once

namespace tessary {

// Installs the desktop as the opener of OpenLink; the owner passed to
// OpenLink is then a QWidget (or none).
void UseDesktopForLinks();

} // namespace tessary
