// help_button.h -- the Help button of the button bar: its caption with a small
// black down-pointing triangle to its right, the sign that it drops a menu.
#pragma once

#include <QPixmap>
#include <QPushButton>

namespace tessary {

class THelpButton : public QPushButton {
    Q_OBJECT
public:
    explicit THelpButton(const QString& caption, QWidget* parent = nullptr);

    // The 9 x 4 glyph: a triangle 7 pixels wide and 4 high in its middle,
    // the rest transparent.
    static QPixmap DownArrowGlyph();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap FGlyph;
};

} // namespace tessary
