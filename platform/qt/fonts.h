// fonts.h -- the Windows font families the windows ask for, on Linux.
#pragma once

#include <QFont>
#include <QString>

namespace tessary {

// Maps "MS Shell Dlg 2", "MS Sans Serif", "Tahoma" and "Arial" to
// metric-compatible free fonts, so that texts fit the places laid out for
// them. Safe to call more than once.
void InstallFontSubstitutions();

// A font of `family` whose characters are `pixels` high.
QFont PixelFont(const QString& family, int pixels, bool bold = false);

} // namespace tessary
