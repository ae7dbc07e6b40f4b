// Start-up and shutdown of the main window.
#include "MainWindow.h"

#include "cardctl/NetworkCardControl.h"
#include "config/ConfigDialog.h"
#include "config/NumberText.h"
#include "platform/Rounding.h"
#include "platform/StatusPanels.h"
#include "platform/Twips.h"
#include "session/SessionHandlers.h"
#include "settings/SettingsStore.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

using settings::ReadSettings;
using settings::SettingValue;
using settings::WriteSettings;

namespace app {

namespace {

constexpr int kSynopGapTwips = 120;

// A 16-bit setting: a stored value that does not fit counts as missing.
int16_t toInt16Or(const SettingValue& value, const SettingValue& defaultValue)
{
    if (auto number = settings::settingToInt16(value)) return *number;
    if (auto fallback = settings::settingToInt16(defaultValue)) return *fallback;
    return 0;
}

// A position: REG_DWORD holds 32 bits, and so does the variable.
int32_t toInt32Or(const SettingValue& value, const SettingValue& defaultValue)
{
    if (auto number = settings::settingToInt32(value)) return *number;
    if (auto fallback = settings::settingToInt32(defaultValue)) return *fallback;
    return 0;
}

}  // namespace

MainWindowParts networkParts()
{
    MainWindowParts parts;
    parts.cardControl = std::make_unique<cardctl::NetworkCardControl>();
    parts.configCardControls = config::ConfigDialog::networkCardControls();
    parts.synopComponents = synop::libraryComponentFactory();
    return parts;
}

MainWindow::MainWindow(MainWindowParts parts, QWidget* parent)
    : QWidget(parent),
      m_cardControl(std::move(parts.cardControl)),
      m_configCardControls(std::move(parts.configCardControls)),
      m_synop(parts.synopComponents ? std::move(parts.synopComponents) : synop::libraryComponentFactory())
{
    buildControls();
    session::SynopHooks hooks;
    hooks.start = [this] {
        takeFrameIntoSynopDefault();
        m_synop.Start(m_state.sAppName, m_state.lXSynop, m_state.lYSynop);
    };
    hooks.stop = [this] { m_synop.Stop(m_state.lXSynop, m_state.lYSynop); };
    hooks.feed = [this](const QString& chunk) { m_synop.Feed(chunk); };
    m_handlers = std::make_unique<session::SessionHandlers>(m_state, m_controls, std::move(hooks));
    connect(m_controls.Config, &QPushButton::clicked, this, &MainWindow::ConfigClick);
    connect(m_controls.Cancel, &QPushButton::clicked, this, &MainWindow::close);
}

MainWindow::~MainWindow() = default;

double MainWindow::leftTwips() const { return platform::pixelsToTwips(pos().x()); }
double MainWindow::topTwips() const { return platform::pixelsToTwips(pos().y()); }

double MainWindow::outerHeightTwips() const
{
    // Before the window first appears it has no frame yet; count the title
    // bar and borders the style would give it.
    int height = frameGeometry().height();
    if (!isVisible() || height == geometry().height()) {
        const int frame = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, this);
        height = geometry().height() + style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this) + 2 * frame;
    }
    return platform::pixelsToTwips(height);
}

void MainWindow::Load()
{
    m_state.bCanConnect = m_state.bConnected = m_state.bSessionUp = m_state.bModeBusy = false;
    m_state.sAppName = QStringLiteral("Pluvane");

    // Where the window stands while loading is its place when nothing is stored.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    readSettings();
    placeAtStoredPosition();

    setWindowTitle(QStringLiteral("%1 V%2.%3.%4")
                       .arg(m_state.sAppName)
                       .arg(PLUVANE_VERSION_MAJOR)
                       .arg(PLUVANE_VERSION_MINOR)
                       .arg(PLUVANE_VERSION_PATCH));

    if (m_state.iCardNumber >= 1 && m_state.iCardNumber <= 8) {
        m_state.bCanConnect = true;
        moveToFrontOfTabOrder(m_controls.Connect);
    } else {
        moveToFrontOfTabOrder(m_controls.Config);
        ConfigClick();
    }
    m_handlers->UpdateControls();
    m_tabOrder.front()->setFocus();
}

void MainWindow::readSettings()
{
    const QString& app = m_state.sAppName;
    const float left = static_cast<float>(leftTwips());
    const float top = static_cast<float>(topTwips());
    const float synopTop = static_cast<float>(topTwips() + outerHeightTwips() + kSynopGapTwips);

    // Each group as it is saved, in one read: a start at the moment another
    // front end saves takes that save's card or place whole, or the one before.
    const std::vector<settings::NamedSetting> cardDefaults{{"HostName", QString()},     {"HostPort", int32_t{33234}},
                                                           {"CardType", int16_t{-1}},   {"CardNumber", int16_t{-1}},
                                                           {"IF-Input", int16_t{1}},    {"IF-Freqs", int16_t{0}}};
    const auto card = ReadSettings(app, cardDefaults);
    m_state.sHostName = settings::settingToText(card[0]);
    m_state.lHostPort = settings::settingToInt32(card[1]).value_or(33234);
    m_state.iCardType = toInt16Or(card[2], cardDefaults[2].second);
    m_state.iCardNumber = toInt16Or(card[3], cardDefaults[3].second);
    m_state.iIFInput = toInt16Or(card[4], cardDefaults[4].second);
    m_state.lIFFreqs = settings::settingToInt32(card[5]).value_or(0);
    const std::vector<settings::NamedSetting> placeDefaults{
        {"X", left}, {"Y", top}, {"X-Synop", left}, {"Y-Synop", synopTop}};
    const auto place = ReadSettings(app, placeDefaults);
    m_state.lX = toInt32Or(place[0], placeDefaults[0].second);
    m_state.lY = toInt32Or(place[1], placeDefaults[1].second);
    m_state.lXSynop = toInt32Or(place[2], placeDefaults[2].second);
    const SettingValue& storedSynopTop = place[3];
    m_state.lYSynop = settings::settingToInt32(storedSynopTop).value_or(0);
    // Nothing stored: the default counted a guessed frame (the window has
    // none yet); the real one is put in once the window is framed.
    if (std::holds_alternative<float>(storedSynopTop)) m_synopDefaultOuterHeightTwips = outerHeightTwips();
}

// A stored place is taken only if some of the title bar would be on a
// screen, so that the window can always be grabbed and moved.
void MainWindow::placeAtStoredPosition()
{
    const QPoint stored(platform::twipsToPixels(m_state.lX), platform::twipsToPixels(m_state.lY));
    const int titleHeight = std::max(1, style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
    const QRect titleBar(stored, QSize(frameGeometry().width(), titleHeight));
    bool reachable = false;
    for (QScreen* screen : QGuiApplication::screens()) reachable = reachable || screen->geometry().intersects(titleBar);
    if (!reachable) return;
    move(pos().x(), stored.y());
    move(stored.x(), pos().y());
}

// The SYNOP window's default place is 120 twips below the main window's
// outer bottom edge; the outer height counted at load time was a guess, as
// the window had no frame yet. Once it has one, the guess is replaced, so
// that the place set is an outer one as the place read back is.
void MainWindow::takeFrameIntoSynopDefault()
{
    if (!m_synopDefaultOuterHeightTwips || !isVisible() || frameGeometry() == geometry()) return;
    const double realHeight = platform::pixelsToTwips(frameGeometry().height());
    if (const auto corrected = platform::toInt32(m_state.lYSynop + realHeight - *m_synopDefaultOuterHeightTwips))
        m_state.lYSynop = *corrected;
    m_synopDefaultOuterHeightTwips.reset();
}

void MainWindow::ConfigClick()
{
    if (!m_config) {
        m_config = std::make_unique<config::ConfigDialog>(m_configCardControls);
        emit configDialogCreated(m_config.get());
    }
    config::ConfigDialog& dialog = *m_config;
    dialog.setHostNam(m_state.sHostName);
    dialog.setHostSvc(QString::number(m_state.lHostPort));
    dialog.setCardTyp(m_state.iCardType);
    dialog.setCardNum(m_state.iCardNumber);
    dialog.setIFInput(m_state.iIFInput);
    dialog.setIFTFreq(m_state.lIFFreqs);
    dialog.ShowModal(this);
    if (dialog.CardNum() <= 0) return;

    m_state.bCanConnect = true;
    m_state.sHostName = dialog.HostNam();
    m_state.lHostPort = config::portNumberFromText(dialog.HostSvc());
    m_state.iCardType = dialog.CardTyp();
    m_state.iCardNumber = dialog.CardNum();
    m_state.iIFInput = dialog.IFInput();
    m_state.lIFFreqs = dialog.IFTFreq();

    // One card's host, port and input together, whatever another front end saves meanwhile.
    WriteSettings(m_state.sAppName, {{"HostName", m_state.sHostName},
                                     {"HostPort", m_state.lHostPort},
                                     {"CardType", m_state.iCardType},
                                     {"CardNumber", m_state.iCardNumber},
                                     {"IF-Input", m_state.iIFInput},
                                     {"IF-Freqs", m_state.lIFFreqs}});

    // A confirmed card makes Connect usable at once, not only after a restart.
    if (!m_state.bConnected) m_controls.Connect->setEnabled(true);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    Unload();
    event->accept();
}

// Shutdown: every step runs whatever became of the one before.
void MainWindow::Unload()
{
    if (m_unloaded) return;
    m_unloaded = true;
    takeFrameIntoSynopDefault();
    m_synop.ShutdownReadPosition(m_state.lXSynop, m_state.lYSynop);
    if (m_config) m_config->Unload();

    // Both windows' places as one save: two front ends closing at once
    // leave one of them whole, never one's X beside the other's Y.
    WriteSettings(m_state.sAppName, {{"X", static_cast<float>(leftTwips())},
                                     {"Y", static_cast<float>(topTwips())},
                                     {"X-Synop", m_state.lXSynop},
                                     {"Y-Synop", m_state.lYSynop}});

    if (m_state.bConnected) {
        m_handlers->SetSession(false);
        m_synop.ShutdownClose();
    }
    emit unloaded();
}

}  // namespace app
