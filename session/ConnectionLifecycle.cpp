// Opening and closing the card session, and keeping the buttons and the
// State panel in line with it.
#include "SessionHandlers.h"

#include "cardctl/CardControl.h"
#include "platform/MessageBox.h"
#include "platform/MousePointer.h"
#include "platform/PumpedWait.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"

#include <QPushButton>

using platform::Variant;

namespace session {

namespace {
constexpr int kSessionStartedWaitPasses = 6;
constexpr int16_t kTranslationOnSessionStart = 70;
const QString kSettingInput = QStringLiteral("Setting Input");
}  // namespace

SessionHandlers::SessionHandlers(MainWindowState& state, const MainWindowControls& controls, SynopHooks synop,
                                 QObject* parent)
    : QObject(parent), m_state(state), m_controls(controls), m_synop(std::move(synop))
{
    connectControlEvents();
}

void SessionHandlers::connectControlEvents()
{
    cardctl::CardControl* control = m_controls.W6xXML;
    connect(control, &cardctl::CardControl::SessionStarted, this, &SessionHandlers::SessionStarted);
    connect(control, &cardctl::CardControl::SessionEnded, this,
            [this](int16_t reason, int32_t) { SessionEnded(reason); });
    connect(control, &cardctl::CardControl::StateText, this, &SessionHandlers::StateText);
    connect(control, &cardctl::CardControl::StatusReport, this,
            [this](int16_t, const QString& mode, double speed, double shift, int16_t polarity, int32_t) {
                StatusReport(mode, speed, shift, polarity);
            });
    connect(control, &cardctl::CardControl::FrequencyReport, this,
            [this](int16_t frequency, int16_t) { FrequencyReport(frequency); });
    connect(control, &cardctl::CardControl::DataText, this,
            [this](int16_t, int16_t, int32_t, int32_t, const QString& text) { DataText(text); });
    connect(m_controls.Connect, &QPushButton::clicked, this, &SessionHandlers::ConnectClick);
    connect(m_controls.Auto, &QPushButton::clicked, this, &SessionHandlers::AutoClick);
    connect(m_controls.StatusBar, &platform::StatusPanels::PanelClick, this, &SessionHandlers::PanelClick);
}

void SessionHandlers::setPanel(int number, const QString& text) { m_controls.StatusBar->setPanelText(number, text); }

void SessionHandlers::ConnectClick()
{
    platform::setMousePointer(platform::MousePointer::ArrowHourglass);
    m_controls.Config->setEnabled(false);
    m_controls.Connect->setEnabled(false);
    m_state.bConnected = SetSession(!m_state.bConnected);
    platform::setMousePointer(platform::MousePointer::Default);
    if (m_state.bConnected) {
        if (m_synop.start) m_synop.start();
        return;
    }
    m_state.bSessionUp = false;
    UpdateControls();
    if (m_synop.stop) m_synop.stop();
}

bool SessionHandlers::SetSession(bool bOpen)
{
    if (!bOpen) {
        m_controls.W6xXML->CloseCard();
        return false;
    }
    const int32_t status = m_controls.W6xXML->OpenCard(
        Variant::ref(&m_state.sHostName), Variant::ref(&m_state.lHostPort), Variant::ref(&m_state.iCardNumber));
    if (status == 0) return true;
    // The status is shown in full even when it does not fit 16 bits, and
    // only 0 counts as success.
    const QString text = QStringLiteral("Err:%1 - %2")
                             .arg(status)
                             .arg(m_controls.W6xXML->GetErrorText(Variant::i4(status)));
    platform::showMessage(text, m_state.sAppName, m_controls.window);
    return false;
}

void SessionHandlers::UpdateControls()
{
    m_controls.Connect->setEnabled(m_state.bCanConnect);
    if (m_state.bSessionUp) {
        m_controls.Connect->setText(QStringLiteral("&Disconnect"));
        m_controls.Auto->setEnabled(true);
        m_controls.Config->setEnabled(false);
        m_controls.Text->setText(QString());
    } else {
        m_controls.Connect->setText(QStringLiteral("&Connect"));
        m_controls.Auto->setEnabled(false);
        m_controls.Config->setEnabled(true);
        setPanel(kStatePanel, QString());
    }
}

void SessionHandlers::SessionStarted()
{
    m_state.bSessionUp = true;
    if (m_state.sMode != QLatin1String("no-mode")) {
        setPanel(kFreqPanel, kSettingInput);
        m_controls.W6xXML->SetInput(Variant::ref(&m_state.iIFInput), Variant::i2(kTranslationOnSessionStart),
                                    Variant::ref(&m_state.lIFFreqs), Variant::i2(-1));
        platform::pumpedWait(kSessionStartedWaitPasses);
        if (!m_state.bSessionUp) {
            // The session ended inside the wait: SessionEnded has refreshed
            // and shown why; a refresh here would wipe the reason, and the
            // notice no longer stands for anything.
            if (m_controls.StatusBar->panelText(kFreqPanel) == kSettingInput) setPanel(kFreqPanel, QString());
            return;
        }
    }
    UpdateControls();
}

void SessionHandlers::SessionEnded(int16_t reason)
{
    m_state.bSessionUp = false;
    UpdateControls();
    setPanel(kStatePanel, reason != 0 ? QStringLiteral("QUIT: Server") : QStringLiteral("QUIT: Error"));
}

}  // namespace session
