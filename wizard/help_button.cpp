// help_button.cpp -- THelpButton: a push button whose caption and glyph are
// centred together, the glyph right of the caption.
#include "help_button.h"

#include <QImage>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace tessary {

namespace {
constexpr int GlyphWidth = 9;
constexpr int GlyphHeight = 4;
constexpr int GlyphSpacing = 4; // between the caption and the glyph
} // namespace

QPixmap THelpButton::DownArrowGlyph() {
    QImage image(GlyphWidth, GlyphHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    // Row r is black from column 1 + r to column 7 - r: 7, 5, 3 and 1 pixels,
    // with one transparent column on either side.
    for (int row = 0; row < GlyphHeight; ++row) {
        for (int column = 1 + row; column <= 7 - row; ++column) {
            image.setPixel(column, row, qRgb(0, 0, 0));
        }
    }
    return QPixmap::fromImage(image);
}

THelpButton::THelpButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), FGlyph(DownArrowGlyph()) {}

void THelpButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    // The frame (and the focus frame) as the style draws any button...
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    // ...then caption and glyph, centred as one, shifted while pressed.
    const QRect contents = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    const int textWidth =
        option.fontMetrics.horizontalAdvance(QString(caption).remove(QLatin1Char('&')));
    int left = contents.left() + (contents.width() - textWidth - GlyphSpacing - GlyphWidth) / 2;
    int top = contents.top();
    if (option.state & (QStyle::State_Sunken | QStyle::State_On)) {
        left += style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this);
        top += style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this);
    }
    const QRect textRect(left, top, textWidth, contents.height());
    painter.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                         option.palette, isEnabled(), caption, QPalette::ButtonText);
    const int glyphTop = top + (contents.height() - GlyphHeight) / 2;
    painter.drawPixmap(textRect.right() + 1 + GlyphSpacing, glyphTop, FGlyph);
}

} // namespace tessary
