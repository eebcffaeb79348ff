// fonts.cpp -- font substitutions and pixel-sized fonts.
#include "fonts.h"

#include <QStringList>

namespace tessary {

void InstallFontSubstitutions() {
    static const bool installed = [] {
        const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                  QStringLiteral("DejaVu Sans")};
        QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg 2"),
                                   QStringList{QStringLiteral("Tahoma")} + sans);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
        QFont::insertSubstitutions(QStringLiteral("Tahoma"), sans);
        QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
        return true;
    }();
    (void)installed;
}

QFont PixelFont(const QString& family, int pixels, bool bold) {
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

} // namespace tessary
