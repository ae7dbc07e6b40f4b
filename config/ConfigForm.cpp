#include "ConfigForm.h"

#include "platform/Twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QElapsedTimer>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace config {

namespace {

// Places are in twips, relative to the parent's top-left corner (a frame's
// caption included).
template <typename W>
W* placed(W* widget, int left, int top, int width, int height)
{
    widget->setGeometry(platform::twipsRect(left, top, width, height));
    return widget;
}

QRadioButton* optionButton(QWidget* frame, const QString& caption, const QString& tip, int left,
                           int top, int width)
{
    auto* button = placed(new QRadioButton(caption, frame), left, top, width, 255);
    button->setToolTip(tip);
    return button;
}

QPushButton* commandButton(QWidget* dialog, const QString& caption, const QString& tip, int top)
{
    auto* button = placed(new QPushButton(caption, dialog), 2400, top, 975, 320);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    return button;
}

}  // namespace

ConfigForm::ConfigForm(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Configuration"));
    // A small tool window: close box only, no minimise or maximise, no
    // taskbar entry, no size grip.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setFixedSize(platform::twipsToPixels(kWidthTwips), platform::twipsToPixels(kHeightTwips));
    setSizeGripEnabled(false);

    buildHostFrame();
    buildCardTypeFrame();
    buildCardsFrame();
    buildCommandButtons();
    buildParametersFrame();
    buildNotice();
    setTabOrder();
    fitFontToPlaces();
    drawFramesAroundTheirPlaces();
    giveTheNoticeItsLineHeight();
}

// The notice's design height (13 pixels) is less than a line of most
// fonts, which would cut its letters off: it grows upwards into the free
// room below the last frame, its bottom edge staying where it was.
void ConfigForm::giveTheNoticeItsLineHeight()
{
    const QRect design = notify->geometry();
    const int height = std::max(design.height(), notify->fontMetrics().height() + 2);
    const int bottom = std::min(design.bottom(), this->height() - 1);
    notify->setGeometry(design.left(), std::max(frame[3]->geometry().bottom() + 1, bottom - height + 1), design.width(),
                        height);
}

// The places count from a frame's top-left corner with its caption on the
// frame's top line, as the design's frames drew it. The style's own group
// box puts the caption above the line and the line lower, where the
// fields placed near the top would straddle it: draw the line through the
// caption's middle instead.
void ConfigForm::drawFramesAroundTheirPlaces()
{
    const int captionHalf = fontMetrics().height() / 2;
    for (QGroupBox* box : frame)
        box->setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                                          " margin-top: %1px; }"
                                          "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
                                          " left: 6px; padding: 0 2px; }")
                               .arg(captionHalf));
}

// The places were laid out for a small 8-point font; the system's font is
// often larger or wider, which would cut "Card N°8" down to "Card N°". Keep
// the system's family and step its size down until every caption fits its
// place (or the smallest readable size is reached).
void ConfigForm::fitFontToPlaces()
{
    QFont fitted = font();
    if (fitted.pointSizeF() <= 0) return;  // a pixel-sized font is left as it is
    while (!captionsFit() && fitted.pointSizeF() > kSmallestPointSize) {
        fitted.setPointSizeF(std::max(kSmallestPointSize, fitted.pointSizeF() - 0.25));
        setFont(fitted);
    }
}

bool ConfigForm::captionsFit() const
{
    const auto textFits = [](const QWidget* widget, const QString& text, int room) {
        return widget->fontMetrics().horizontalAdvance(QString(text).remove(u'&')) <= room;
    };
    const int indicator = style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth)
                          + style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing);
    QList<const QRadioButton*> buttons{vCardTyp[0]};
    for (auto* button : vCardNum) buttons << button;
    for (auto* button : vIFInp) buttons << button;
    for (const QRadioButton* button : buttons)
        if (!textFits(button, button->text(), button->width() - indicator)) return false;
    for (const QLabel* label : lbl)
        if (!textFits(label, label->text(), label->width())) return false;
    if (!textFits(notify, kSearchNotice, notify->width())) return false;
    // The widest port, inside the box's frame and text margins.
    constexpr int kLineEditPadding = 8;
    return textFits(vHostSvc, QStringLiteral("65535"), vHostSvc->width() - kLineEditPadding);
}

void ConfigForm::buildHostFrame()
{
    frame[0] = placed(new QGroupBox(QStringLiteral("&Host"), this), 0, 0, 3375, 555);
    lbl[0] = placed(new QLabel(QStringLiteral("Name/Address"), frame[0]), 80, 240, 1095, 255);
    vHostNam = placed(new QLineEdit(QStringLiteral("127.0.0.1"), frame[0]), 1200, 200, 1335, 285);
    vHostNam->setToolTip(QStringLiteral("Host name or IP address"));
    vHostSvc = placed(new QLineEdit(QStringLiteral("33234"), frame[0]), 2640, 200, 615, 285);
    vHostSvc->setToolTip(QStringLiteral("Host port"));
}

void ConfigForm::buildCardTypeFrame()
{
    frame[1] = placed(new QGroupBox(QStringLiteral("&Card type"), this), 0, 600, 3375, 660);
    vCardTyp[0] = optionButton(frame[1], QStringLiteral("W6&1PC"), QStringLiteral("W61PC (Tested)"),
                               120, 280, 855);
}

void ConfigForm::buildCardsFrame()
{
    // Two columns of four: card 1 top left, card 2 top right, card 8 bottom right.
    frame[2] = placed(new QGroupBox(QStringLiteral("Cards"), this), 0, 1320, 2295, 1245);
    for (int i = 0; i < int(vCardNum.size()); ++i) {
        const QString number = QString::number(i + 1);
        vCardNum[i] = optionButton(frame[2], QStringLiteral("Card N\u00B0") + number,
                                   QStringLiteral("Select Card ") + number, i % 2 == 0 ? 120 : 1200,
                                   240 + 240 * (i / 2), 975);
    }
}

void ConfigForm::buildCommandButtons()
{
    searchButton = commandButton(this, QStringLiteral("&Search"), QStringLiteral("Search for cards"), 1440);
    // Enter starts a search; OK and Cancel are only ever pressed on purpose.
    searchButton->setDefault(true);
    okButton = commandButton(this, QStringLiteral("&OK"), QStringLiteral("Save select configuration"), 1840);
    cancelButton = commandButton(this, QStringLiteral("&Cancel"),
                                 QStringLiteral("Exit without changing configuration"), 2240);
}

void ConfigForm::buildParametersFrame()
{
    frame[3] = placed(new QGroupBox(QStringLiteral("&Parameters"), this), 0, 2600, 3375, 780);
    for (int i = 0; i < int(vIFInp.size()); ++i) {
        const QString number = QString::number(i + 1);
        vIFInp[i] = optionButton(frame[3], QStringLiteral("IF&") + number,
                                 QStringLiteral("Select IF input ") + number, i % 2 == 0 ? 240 : 960,
                                 i < 2 ? 240 : 480, 615);
    }
    lbl[1] = placed(new QLabel(QStringLiteral("&Freq. translation"), frame[3]), 1920, 120, 1335, 255);
    vIFFrq = placed(new QLineEdit(frame[3]), 1920, 360, 855, 285);
    vIFFrq->setMaxLength(kFrequencyMaxLength);
    vIFFrq->setToolTip(QStringLiteral("IF Translation in HZ"));
    lbl[1]->setBuddy(vIFFrq);
}

void ConfigForm::buildNotice()
{
    notify = placed(new QLabel(this), 285, 3465, 3120, 195);
    QPalette palette = notify->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    notify->setPalette(palette);
}

void ConfigForm::setTabOrder()
{
    // The frequency box comes first, so it has the focus when the form opens.
    QList<QWidget*> order{vIFFrq};
    for (int i = int(vIFInp.size()) - 1; i >= 0; --i) order << vIFInp[i];
    for (int i = int(vCardNum.size()) - 1; i >= 0; --i) order << vCardNum[i];
    order << okButton << cancelButton << searchButton << vCardTyp[0] << vHostSvc << vHostNam;
    for (int i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void ConfigForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_activated) return;
    m_activated = true;
    emit activated();
    vIFFrq->setFocus(Qt::ActiveWindowFocusReason);
}

void ConfigForm::placeOuterCornerAt(QPoint corner)
{
    move(corner);
    // A window being shown has no frame yet: the move above places its
    // inner corner. Once a window manager has framed it (which raises no
    // move of the inner corner), the frame is put right; the user's own
    // moves afterwards are left alone.
    auto* framing = new QTimer(this);
    framing->setInterval(kFramingCheckMs);
    QElapsedTimer since;
    since.start();
    connect(framing, &QTimer::timeout, this, [this, framing, corner, since] {
        const bool framed = frameGeometry() != geometry();
        if (framed && frameGeometry().topLeft() != corner) move(corner);
        if ((framed && frameGeometry().topLeft() == corner) || since.elapsed() > kFramingTimeMs) framing->deleteLater();
    });
    framing->start();
}

void ConfigForm::reject()
{
    if (!m_closingBlocked) QDialog::reject();
}

}  // namespace config
