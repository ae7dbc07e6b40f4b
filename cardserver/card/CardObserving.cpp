// What a card tells its observers beyond the holder's events: who holds it,
// what the line search found, the signal level and the spectrum.
#include "Card.h"

#include <cmath>

namespace cardserver {

using cardproto::Message;
using cardproto::WireValue;

namespace {
constexpr double kLevelEverySeconds = 1.0;  // the signal level once a second at most
}

void Card::addObserver(CardObserver* observer, bool mayTune)
{
    m_observers.add(observer);
    m_observerMayTune.insert(observer, mayTune);
    m_timer.start();
    auto tell = [observer](const QString& event, Args args) {
        observer->sendEvent(Message::eventMessage(event, std::move(args)));
    };
    tell(QStringLiteral("ObservedCard"),
         {WireValue::i2(int16_t(m_number)), WireValue::boolean(isHeld()), WireValue::boolean(mayTune)});
    const DecodingChannel* channel = selectedChannel();
    tell(QStringLiteral("StatusReport"),
         {WireValue::i2(int16_t(m_number)), WireValue::str(modeName()), WireValue::r8(m_receiver.baud),
          WireValue::r8(m_receiver.shift), WireValue::i2(m_receiver.inverted ? -1 : 0), WireValue::i4(0)});
    tell(QStringLiteral("FrequencyReport"),
         {WireValue::i2(int16_t(std::lround(m_receiver.centre))), WireValue::i2(int16_t(channel ? channel->level() : 0))});
    tell(QStringLiteral("StateText"), {WireValue::str(m_stateText.isEmpty() ? currentStateText() : m_stateText)});
    observer->sendEvent(tuningEvent());
    if (m_measured) tell(QStringLiteral("LineSearch"), measurementArgs(channel ? channel->level() : 0));
}

void Card::removeObserver(CardObserver* observer)
{
    m_observers.remove(observer);
    m_observerMayTune.remove(observer);
    if (isRunning()) return;
    m_timer.stop();
    // A search an observer started ends with the last one watching.
    if (m_als == Als::Listening) measuredLine(true);
    m_als = Als::Off;
}

void Card::sendToObservers(const QString& event, Args args)
{
    if (isObserved()) m_observers.send(Message::eventMessage(event, std::move(args)));
}

Card::Args Card::measurementArgs(int level) const
{
    return {WireValue::boolean(true), WireValue::r8(m_measured->centre), WireValue::r8(m_measured->shift),
            WireValue::r8(m_measured->baud), WireValue::i2(m_measured->inverted ? -1 : 0), WireValue::i2(int16_t(level)),
            WireValue::str(QString())};
}

Message Card::tuningEvent() const
{
    return Message::eventMessage(QStringLiteral("Tuning"),
                                 {WireValue::r8(m_receiver.centre), WireValue::r8(m_receiver.shift),
                                  WireValue::r8(m_receiver.baud), WireValue::i2(m_receiver.inverted ? -1 : 0),
                                  WireValue::i4(m_translationHz)});
}

void Card::reportTuning()
{
    if (isObserved()) m_observers.send(tuningEvent());
}

void Card::reportHeld()
{
    if (!isObserved()) return;
    const auto observers = m_observerMayTune;
    for (auto it = observers.cbegin(); it != observers.cend(); ++it)
        it.key()->sendEvent(Message::eventMessage(
            QStringLiteral("ObservedCard"),
            {WireValue::i2(int16_t(m_number)), WireValue::boolean(isHeld()), WireValue::boolean(it.value())}));
}

void Card::reportLineSearch(const DecodingChannel& channel)
{
    sendToObservers(QStringLiteral("LineSearch"), measurementArgs(channel.level()));
}

void Card::reportNoLine(const QString& heard)
{
    sendToObservers(QStringLiteral("LineSearch"),
                    {WireValue::boolean(false), WireValue::r8(0), WireValue::r8(0), WireValue::r8(0), WireValue::i2(0),
                     WireValue::i2(0), WireValue::str(heard.isEmpty() ? QStringLiteral("no line") : heard)});
}

void Card::reportToObservers(const DecodingChannel* channel)
{
    if (!isObserved()) return;
    m_observers.endOfStretch(tickSeconds(), m_translationHz);
    if (++m_ticksSinceLevel < int(std::lround(kLevelEverySeconds / tickSeconds()))) return;
    m_ticksSinceLevel = 0;
    const int level = channel ? channel->level() : 0;
    if (level == m_reportedLevel) return;
    m_reportedLevel = level;
    sendToObservers(QStringLiteral("SignalLevel"), {WireValue::i2(int16_t(level))});
}

}  // namespace cardserver
