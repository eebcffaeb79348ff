// about_box.cpp -- TfmAbout and its link labels.
#include "about_box.h"

#include "fonts.h"
#include "links.h"
#include "program_info.h"

#include <QBitmap>
#include <QEnterEvent>
#include <QFont>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace tessary {

namespace {

constexpr int ClientWidth = 366;
constexpr int ClientHeight = 272;
const QColor Navy(0, 0, 128);

// The maker's notice and the legal warning of the box.
const char* const NoticeText = "\u00A9 2019-2026 Quenlor. All rights reserved.";
const char* const WarningText =
    "Warning: this program is protected by copyright law. Copying or passing on "
    "the program or any part of it without the written permission of Quenlor is "
    "forbidden and will be prosecuted to the full extent of the law.";

QLabel* Label(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

QFrame* Bevel(QWidget* parent, const QRect& geometry) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setLineWidth(1);
    line->setGeometry(geometry);
    return line;
}

} // namespace

// ---------------------------------------------------------------------------
// TLinkLabel

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setCursor(Qt::PointingHandCursor);
    // The interaction flags set a focus policy of their own: this one last.
    setTextInteractionFlags(Qt::NoTextInteraction);
    setFocusPolicy(Qt::StrongFocus);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Navy);
    setPalette(colours);
}

void TLinkLabel::SetUnderlined(bool underlined) {
    QFont shown = font();
    shown.setUnderline(underlined);
    setFont(shown);
}

void TLinkLabel::enterEvent(QEnterEvent* event) {
    SetUnderlined(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent* event) {
    SetUnderlined(false);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        FPressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

// A click is a press and a release both on the link, as with a button.
void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && FPressed) {
        FPressed = false;
        event->accept();
        if (rect().contains(event->position().toPoint())) {
            emit clicked();
        }
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        event->accept();
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

// The focus is shown as a dotted frame around the text.
void TLinkLabel::paintEvent(QPaintEvent* event) {
    QLabel::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    const int textWidth = fontMetrics().horizontalAdvance(text());
    option.rect = QRect(0, 0, qMin(width(), textWidth + 2), height());
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

// ---------------------------------------------------------------------------
// The logo

QPixmap LoadTransparentLogo(const QString& resource) {
    QImage image(resource);
    if (image.isNull()) {
        return {};
    }
    // Pixels of the bottom-left pixel's colour let the background through.
    const QRgb background = image.pixel(0, image.height() - 1);
    QPixmap picture = QPixmap::fromImage(image);
    picture.setMask(QBitmap::fromImage(image.createMaskFromColor(background, Qt::MaskInColor)));
    return picture;
}

// ---------------------------------------------------------------------------
// TfmAbout

TfmAbout::TfmAbout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                         Qt::MSWindowsFixedSizeDialogHint) {
    InstallFontSubstitutions();
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);
    setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11));
    // White whatever the desktop's colours are, so the text is dark whatever
    // they are too; the OK button keeps the desktop's own colours.
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    colours.setColor(QPalette::WindowText, Qt::black);
    setPalette(colours);

    btOk = new QPushButton(QStringLiteral("&Ok"), this);
    btOk->setGeometry(275, 234, 75, 25);
    btOk->setDefault(true);

    lbProductName = Label(this, {}, QRect(17, 15, 289, 26));
    lbProductName->setFont(PixelFont(QStringLiteral("Arial"), 17, true));

    imgIcon = new QLabel(this);
    imgIcon->setGeometry(303, 15, 48, 48);
    imgIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label8 = Label(this, QString::fromUtf8(NoticeText), QRect(25, 46, 226, 13));

    const QFont linkFont = PixelFont(QStringLiteral("Tahoma"), 11, true);
    TBXLink1 = new TLinkLabel({}, this);
    TBXLink1->setGeometry(24, 63, 201, 15);
    TBXLink1->setFont(linkFont);

    Bevel1 = Bevel(this, QRect(16, 103, 335, 2));
    Bevel2 = Bevel(this, QRect(16, 165, 335, 2));

    tbxSupport = new TLinkLabel(QStringLiteral("Online support"), this);
    tbxSupport->setGeometry(24, 79, 145, 15);
    tbxSupport->setFont(linkFont);

    Label3 = Label(this, QString::fromLatin1(WarningText), QRect(16, 174, 335, 43));
    Label3->setFont(PixelFont(QStringLiteral("Tahoma"), 9));
    Label3->setWordWrap(true);

    Bevel3 = Bevel(this, QRect(16, 219, 335, 2));

    QWidget::setTabOrder(btOk, TBXLink1);
    QWidget::setTabOrder(TBXLink1, tbxSupport);
    btOk->setFocus();

    connect(btOk, &QPushButton::clicked, this, &TfmAbout::btOkClick);
    connect(TBXLink1, &TLinkLabel::clicked, this, &TfmAbout::lbWWWClick);
    connect(tbxSupport, &TLinkLabel::clicked, this, &TfmAbout::tbxSupportClick);

    for (QWidget* child : findChildren<QWidget*>()) {
        child->installEventFilter(this);
    }
    FormCreate();
}

void TfmAbout::FormCreate() {
    imgIcon->setPixmap(LoadTransparentLogo(QStringLiteral(":/logo")));
    lbProductName->setText(QString::fromStdString(GetTitle()));
    TBXLink1->setText(QString::fromLatin1(HomeLinkText));
}

void TfmAbout::btOkClick() {
    accept();
}

void TfmAbout::lbWWWClick() {
    OpenLink(static_cast<QWidget*>(this), GetLink(LinkHomeId));
}

void TfmAbout::tbxSupportClick() {
    OpenLink(static_cast<QWidget*>(this), GetLink(LinkSupportId));
}

bool TfmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && FormKeyDown(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// Escape closes the box from whichever control has the focus; every other
// key goes on to that control.
bool TfmAbout::FormKeyDown(const QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return false;
}

} // namespace tessary
