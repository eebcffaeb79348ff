// about_box.h -- TfmAbout, the About box: the program's title and logo, the
// maker's notice, the links to its home and support pages and a legal
// warning. Modal; OK, Escape or the close box close it.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPixmap>

class QFrame;
class QKeyEvent;
class QPushButton;

namespace tessary {

// A label that acts as a web link: hand cursor, reachable with Tab, opened
// by a click or by the space bar while it has the focus. Underlined while
// the mouse is over it.
class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetUnderlined(bool underlined);
    bool FPressed = false;
};

// The logo by its resource name, with the colour of its bottom-left pixel
// made transparent; an empty picture when the resource is missing.
QPixmap LoadTransparentLogo(const QString& resource);

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    // `owner` is the main window: the box is centred over it and blocks it
    // while shown.
    explicit TfmAbout(QWidget* owner);

    QPushButton* btOk;
    QLabel* lbProductName;
    QLabel* imgIcon;
    QLabel* Label8;
    TLinkLabel* TBXLink1;
    QFrame* Bevel1;
    QFrame* Bevel2;
    TLinkLabel* tbxSupport;
    QLabel* Label3;
    QFrame* Bevel3;

public slots:
    void btOkClick();
    void lbWWWClick();
    void tbxSupportClick();

protected:
    // Key preview: the box sees every key before the focused control does.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    bool FormKeyDown(const QKeyEvent* event);
};

} // namespace tessary
