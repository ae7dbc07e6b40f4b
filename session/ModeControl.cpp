// Steering the card's decoder (the Auto sequence and the panel clicks) and
// showing the status the card reports.
#include "SessionHandlers.h"

#include "DecimalText.h"
#include "cardctl/CardControl.h"
#include "platform/MousePointer.h"
#include "platform/PumpedWait.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"

using platform::Variant;

namespace session {

namespace {

constexpr int kShortWaitPasses = 6;
constexpr int kAlsWaitPasses = 201;
constexpr int kAdoptWaitPasses = 21;
constexpr int kStateTextLength = 8;
const QString kBaudot = QStringLiteral("BAUDOT");
const QString kMs = QStringLiteral("ms");

Variant unchanged() { return Variant::i2(-1); }
Variant emptyText() { return Variant::str(QString()); }

// Whatever happens inside the Auto sequence, it ends with the stream and
// the pointer given back.
class AutoSequenceScope {
public:
    explicit AutoSequenceScope(bool& modeBusy) : m_modeBusy(modeBusy)
    {
        platform::setMousePointer(platform::MousePointer::Hourglass);
        m_modeBusy = true;
    }
    ~AutoSequenceScope()
    {
        platform::setMousePointer(platform::MousePointer::Default);
        m_modeBusy = false;
    }
    AutoSequenceScope(const AutoSequenceScope&) = delete;
    AutoSequenceScope& operator=(const AutoSequenceScope&) = delete;

private:
    bool& m_modeBusy;
};

}  // namespace

void SessionHandlers::AutoClick()
{
    // The button stays enabled during the sequence; a click in one of its
    // waits must not start a second sequence inside the first.
    if (m_state.bModeBusy) return;
    runAutoSequence();
}

void SessionHandlers::runAutoSequence()
{
    cardctl::CardControl* card = m_controls.W6xXML;
    AutoSequenceScope scope(m_state.bModeBusy);
    m_controls.Text->setText(QString());

    card->SetDecoderOptions(Variant::i2(-1), Variant::i4(1), Variant::i4(-1), Variant::i2(5));
    platform::pumpedWait(kShortWaitPasses);
    card->SetMode(Variant::str(kMs), Variant::str(kBaudot), unchanged(), unchanged(), unchanged(), unchanged(),
                  Variant::boolean(false));
    platform::pumpedWait(kShortWaitPasses);
    card->SetInput(Variant::ref(&m_state.iIFInput), Variant::i2(40), Variant::ref(&m_state.lIFFreqs),
                   Variant::i2(-1));
    platform::pumpedWait(kShortWaitPasses);
    card->SetCentreShift(Variant::i2(2100), Variant::i2(850));
    platform::pumpedWait(kShortWaitPasses);

    const QString savedSpeedText = m_controls.StatusBar->panelText(kSpeedPanel);
    card->SetAls(Variant::i4(2));
    setPanel(kSpeedPanel, QStringLiteral("ALS On"));
    platform::pumpedWaitSleepFirst(kAlsWaitPasses);
    setPanel(kSpeedPanel, QStringLiteral("ALS Off"));
    card->SetAls(Variant::i4(1));
    setPanel(kSpeedPanel, savedSpeedText);

    card->SetMode(Variant::str(kMs), Variant::str(kBaudot), unchanged(), unchanged(), unchanged(), unchanged(),
                  Variant::boolean(true));
    platform::pumpedWait(kAdoptWaitPasses);
    setPanel(kModePanel, kBaudot);
}

void SessionHandlers::PanelClick(int panelNumber)
{
    if (!m_state.bSessionUp) return;
    cardctl::CardControl* card = m_controls.W6xXML;
    switch (panelNumber) {
    case kModePanel:
        setPanel(kModePanel, kBaudot);
        card->SetMode(Variant::str(kMs), Variant::str(kBaudot), unchanged(), unchanged(), unchanged(), emptyText(),
                      Variant::boolean(false));
        platform::pumpedWait(kShortWaitPasses);
        card->SetInput(Variant::ref(&m_state.iIFInput), Variant::i2(70), Variant::ref(&m_state.lIFFreqs),
                       Variant::i2(-1));
        break;
    case kSpeedPanel:
        m_state.dSpeed = m_state.dSpeed == 50 ? 75 : 50;
        card->SetMode(emptyText(), emptyText(), Variant::ref(&m_state.dSpeed), unchanged(), unchanged(),
                      emptyText(), Variant::boolean(false));
        break;
    case kShiftPanel:
        m_state.dShift = m_state.dShift == 425 ? 850 : 425;
        card->SetMode(emptyText(), emptyText(), unchanged(), Variant::ref(&m_state.dShift), unchanged(),
                      emptyText(), Variant::boolean(false));
        break;
    case kPolarPanel: {
        int16_t requested = m_state.iPolarity == 0 ? 1 : 0;
        card->SetMode(emptyText(), emptyText(), unchanged(), unchanged(), Variant::ref(&requested), emptyText(),
                      Variant::boolean(false));
        break;
    }
    default:
        break;
    }
}

void SessionHandlers::StateText(const QString& text)
{
    setPanel(kStatePanel, (text.toUpper() + QLatin1Char(' ')).left(kStateTextLength));
}

void SessionHandlers::StatusReport(const QString& modeName, double speed, double shift, int16_t polarity)
{
    setPanel(kModePanel, modeName.toUpper());
    setPanel(kSpeedPanel, decimalText(truncateToHundredths(speed)));
    setPanel(kShiftPanel, decimalText(shift));
    if (polarity == -1)
        setPanel(kPolarPanel, QStringLiteral("INV"));
    else if (polarity == 0)
        setPanel(kPolarPanel, QStringLiteral("NOR"));
    m_state.sMode = modeName;
    m_state.dSpeed = speed;
    m_state.dShift = shift;
    m_state.iPolarity = polarity;
}

void SessionHandlers::FrequencyReport(int16_t centreFrequency)
{
    setPanel(kFreqPanel, QString::number(centreFrequency));
}

}  // namespace session
