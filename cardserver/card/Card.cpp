#include "Card.h"

#include <cmath>

namespace cardserver {

using cardproto::Message;
using cardproto::WireValue;

Card::Card(int number, double timeScale, QObject* parent)
    : QObject(parent), m_number(number), m_timeScale(timeScale)
{
    m_timer.setInterval(int(tickSeconds() * 1000));
    connect(&m_timer, &QTimer::timeout, this, &Card::tick);
}

Card::~Card() = default;

void Card::setChannel(int input, std::unique_ptr<DecodingChannel> channel)
{
    m_channels.at(input - 1) = std::move(channel);
    if (m_channels.at(input - 1)) m_channels.at(input - 1)->setSampleTap(&m_observers);
    retune();
}

QString Card::describeInputs() const
{
    QStringList inputs;
    for (int i = 0; i < kInputs; ++i)
        inputs << (m_channels[i] ? m_channels[i]->describe() : QStringLiteral("no signal"));
    if (inputs.count(inputs.first()) == kInputs) return QStringLiteral("inputs 1-4: %1").arg(inputs.first());
    for (int i = 0; i < kInputs; ++i) inputs[i] = QStringLiteral("input %1: %2").arg(i + 1).arg(inputs[i]);
    return inputs.join(QStringLiteral("; "));
}

cardproto::CardRecord Card::record() const
{
    cardproto::CardRecord record;
    record.serial = 610000 + uint32_t(m_number);
    record.firmware = 0x0104;
    record.available = !isHeld();
    return record;
}

bool Card::attach(CardHolder* holder)
{
    if (m_holder && m_holder != holder) return false;
    m_holder = holder;
    m_sequence = 0;
    m_stateText.clear();
    m_timer.start();
    reportHeld();
    return true;
}

void Card::detach(CardHolder* holder)
{
    if (m_holder != holder) return;
    m_holder = nullptr;
    if (!isObserved()) m_timer.stop();
    reportHeld();
    // A search left on would go on listening whenever the input is decoded.
    if (m_als == Als::Listening) measuredLine(true);
    m_als = Als::Off;
}

DecodingChannel* Card::selectedChannel() const { return m_channels.at(m_input - 1).get(); }

LineParameters Card::atInput(const LineParameters& receiver, int32_t translationHz) const
{
    LineParameters line = receiver;
    line.centre += translationHz;
    return line;
}

QString Card::refusalAtInput(int input, const LineParameters& receiver, const ReceiverOptions& options,
                             int32_t translationHz) const
{
    const DecodingChannel* channel = m_channels.at(input - 1).get();
    if (!channel) return {};
    const LineParameters line = atInput(receiver, translationHz);
    const QString problem = channel->problemWith(line, options);
    if (problem.isEmpty()) return {};
    if (translationHz == 0)
        return QStringLiteral("Card %1 cannot decode input %2 so: %3").arg(m_number).arg(input).arg(problem);
    return QStringLiteral("Card %1 cannot decode input %2 so: with the IF translation of %3 Hz its tones would be at "
                          "%4 and %5 Hz: %6")
        .arg(m_number).arg(input).arg(translationHz)
        .arg(line.centre - line.shift / 2).arg(line.centre + line.shift / 2).arg(problem);
}

// The line search's latest measurement, brought back from the input's
// frequencies to the receiver's.
std::optional<LineParameters> Card::measuredLine(bool finish)
{
    DecodingChannel* channel = selectedChannel();
    if (!channel) return std::nullopt;
    std::optional<LineParameters> line = channel->lineSearchResult(finish);
    if (line) line->centre -= m_translationHz;
    return line;
}

void Card::noteMeasured(const LineParameters& line)
{
    m_measured = line;
    m_measuredInput = m_input;
    m_measuredTranslationHz = m_translationHz;
}

void Card::retune()
{
    const LineParameters line = atInput(m_receiver, m_translationHz);
    for (auto& channel : m_channels)
        if (channel) channel->tune(line, m_options);
    // Tuned to what the line search measured on the selected input (Auto
    // adopted it): that input's text need not wait for the line check.
    if (DecodingChannel* channel = selectedChannel(); channel && m_measured && *m_measured == m_receiver
                                                           && m_measuredInput == m_input && m_measuredTranslationHz == m_translationHz)
        channel->lineMeasured();
    m_sinceRetune = 0;
    m_alsFoundNothing = false;
}

void Card::send(const QString& event, Args args)
{
    const Message message = Message::eventMessage(event, std::move(args));
    if (m_holder) m_holder->sendEvent(message);
    m_observers.send(message);
}

void Card::reportSettings()
{
    send(QStringLiteral("StatusReport"),
         {WireValue::i2(int16_t(m_number)), WireValue::str(modeName()), WireValue::r8(m_receiver.baud),
          WireValue::r8(m_receiver.shift), WireValue::i2(m_receiver.inverted ? -1 : 0),
          WireValue::i4(0)});
    const DecodingChannel* channel = selectedChannel();
    send(QStringLiteral("FrequencyReport"),
         {WireValue::i2(int16_t(std::lround(m_receiver.centre))),
          WireValue::i2(int16_t(channel ? channel->level() : 0))});
    reportTuning();
}

void Card::reportMeasurement(const DecodingChannel& channel)
{
    send(QStringLiteral("FrequencyReport"),
         {WireValue::i2(int16_t(std::lround(m_measured->centre))), WireValue::i2(int16_t(channel.level()))});
    reportLineSearch(channel);
}

void Card::sendCurrentState()
{
    reportSettings();
    m_stateText.clear();
    setStateText(currentStateText());
}

void Card::setStateText(const QString& text)
{
    if (text == m_stateText) return;
    m_stateText = text;
    send(QStringLiteral("StateText"), {WireValue::str(text)});
}

QString Card::currentStateText() const
{
    if (m_als == Als::Listening) return QStringLiteral("ALS");
    const DecodingChannel* channel = selectedChannel();
    if (!m_baudot || !channel) return QStringLiteral("IDLE");
    // Said until new settings, or until the input decodes traffic after all.
    if (m_alsFoundNothing && channel->state() != ChannelState::Traffic) return QStringLiteral("NOSIGNAL");
    if (m_sinceRetune < 1) return QStringLiteral("SYNC");
    switch (channel->state()) {
    case ChannelState::Idle: return QStringLiteral("IDLE");
    case ChannelState::Search: return QStringLiteral("SEARCH");
    case ChannelState::Traffic: return QStringLiteral("TRAFFIC");
    case ChannelState::Mistuned: return QStringLiteral("MISTUNED");
    }
    return {};
}

void Card::tick()
{
    if (!isRunning()) return;
    const double seconds = tickSeconds() * m_timeScale;
    DecodingChannel* channel = selectedChannel();
    if (channel && (m_baudot || m_als == Als::Listening)) {
        const QString text = channel->advance(seconds);
        m_sinceRetune += seconds;
        if (m_als == Als::Listening) {
            // The search listens, and does not print; each new measurement is reported.
            const std::optional<LineParameters> latest = measuredLine(false);
            if (latest && latest != m_measured) {
                noteMeasured(*latest);
                reportMeasurement(*channel);
            }
        } else if (!text.isEmpty()) {
            send(QStringLiteral("DataText"),
                 {WireValue::i2(int16_t(m_number)), WireValue::i2(int16_t(m_input)),
                  WireValue::i4(++m_sequence), WireValue::i4(0), WireValue::str(text)});
        }
    }
    setStateText(currentStateText());
    reportToObservers(channel);
}

}  // namespace cardserver
