// The controls of the main window, their captions, tooltips and places.
#include "MainWindow.h"

#include "cardctl/CardControl.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"
#include "platform/Twips.h"

#include <QIcon>
#include <QPushButton>

using platform::twipsRect;
using platform::twipsToPixels;

namespace app {

namespace {

constexpr int kDesignWidthTwips = 4635;
constexpr int kDesignHeightTwips = 1350;
constexpr int kTextTopTwips = 320;
constexpr int kTextHeightTwips = 795;
constexpr int kStatusBarHeightTwips = 255;

QPushButton* makeButton(QWidget* parent, const QString& caption, const QString& toolTip, QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setToolTip(toolTip);
    button->setGeometry(place);
    return button;
}

}  // namespace

void MainWindow::buildControls()
{
    setWindowTitle(QStringLiteral("Pluvane"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/pluvane-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/pluvane-16.png"), QSize(16, 16));
    setWindowIcon(icon);

    m_controls.window = this;
    m_controls.Connect = makeButton(this, QStringLiteral("&Connect"), QStringLiteral("Connect to the Wavecom card"),
                                    twipsRect(260, 10, 1120, 280));
    QFont bold(QStringLiteral("MS Sans Serif"));
    bold.setPointSizeF(8.25);
    bold.setWeight(QFont::Bold);
    m_controls.Connect->setFont(bold);
    m_controls.Auto = makeButton(this, QStringLiteral("&Auto"), QStringLiteral("Force BAUDOT mode with ALS"),
                                 twipsRect(1400, 10, 660, 280));
    m_controls.Config = makeButton(this, QStringLiteral("Confi&g."), QStringLiteral("Configure connexion parameters"),
                                   twipsRect(3160, 10, 765, 280));
    m_controls.Cancel = makeButton(this, QStringLiteral("&Quit"), QStringLiteral("Quit the application"),
                                   twipsRect(3960, 10, 645, 280));

    m_controls.Text = new platform::TextBox(this);
    m_controls.Text->setToolTip(QStringLiteral("Data stream decoded by the Wavecom card"));
    QPalette palette = m_controls.Text->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 192));
    palette.setColor(QPalette::Text, Qt::black);
    m_controls.Text->setPalette(palette);

    // Each panel lists the longest texts the session writes into it: the
    // card's mode names, its state texts (8 characters at most), the notices
    // and numbers as wide as the card reports them.
    m_controls.StatusBar = new platform::StatusPanels(
        {
            {QStringLiteral("Mode"), QStringLiteral("Mode. Force to BAUDOT if clicked"), 820,
             {QStringLiteral("NO-MODE"), QStringLiteral("BAUDOT")}},
            {QStringLiteral("Speed"), QStringLiteral("Speed. Set to either 50 or 75 if clicked "), 680,
             {QStringLiteral("ALS Off"), QStringLiteral("ALS On"), QStringLiteral("300.55")}},
            {QStringLiteral("Shift"), QStringLiteral("Shift: Set to either 425 or 850 if clicked "), 680,
             {QStringLiteral("1000.5")}},
            {QStringLiteral("Polar"), QStringLiteral("Polarity: Set to either Norm or Inv  if clicked "), 600,
             {QStringLiteral("NOR"), QStringLiteral("INV")}},
            {QStringLiteral("Freq"), QStringLiteral("Center frequency"), 620,
             {QStringLiteral("Setting Input"), QStringLiteral("-32768")}},
            {QStringLiteral("State"), QStringLiteral("Decoding state"), 1440,
             {QStringLiteral("QUIT: Server"), QStringLiteral("QUIT: Error"), QStringLiteral("NOSIGNAL"),
              QStringLiteral("TRAFFIC "), QStringLiteral("SEARCH ")}},
        },
        this);
    m_controls.W6xXML = m_cardControl.get();

    // The design's tab order: Config, Quit, Connect, status bar, text, Auto.
    m_tabOrder = {m_controls.Config, m_controls.Cancel, m_controls.Connect, m_controls.StatusBar, m_controls.Text,
                  m_controls.Auto};
    applyTabOrder();

    // The design width is widened where the panels need more room for their
    // texts in the font at hand (the design font was narrower).
    const int width = std::max(twipsToPixels(kDesignWidthTwips), m_controls.StatusBar->widthNeeded());
    setMinimumSize(width, twipsToPixels(kDesignHeightTwips));
    resize(width, twipsToPixels(kDesignHeightTwips));
    layoutControls();
}

// The text area and the status bar follow the window's size; at the design
// size they stand exactly where the design puts them.
void MainWindow::layoutControls()
{
    if (!m_controls.StatusBar) return;
    const int barHeight = twipsToPixels(kStatusBarHeightTwips);
    const int textTop = twipsToPixels(kTextTopTwips);
    const int extraHeight = std::max(0, height() - twipsToPixels(kDesignHeightTwips));
    m_controls.Text->setGeometry(0, textTop, width(), twipsToPixels(kTextHeightTwips) + extraHeight);
    m_controls.StatusBar->setGeometry(0, height() - barHeight, width(), barHeight);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void MainWindow::moveToFrontOfTabOrder(QWidget* widget)
{
    std::erase(m_tabOrder, widget);
    m_tabOrder.insert(m_tabOrder.begin(), widget);
    applyTabOrder();
}

void MainWindow::applyTabOrder()
{
    for (size_t i = 0; i + 1 < m_tabOrder.size(); ++i) setTabOrder(m_tabOrder[i], m_tabOrder[i + 1]);
}

}  // namespace app
