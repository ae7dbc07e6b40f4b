#include "RecordingCardControl.h"

#include "protocol/CardRecord.h"

namespace cardctl {

namespace {

Variant copyByValue(const Variant& v)
{
    switch (v.type()) {
    case platform::VarType::I2: return Variant::i2(v.toI2());
    case platform::VarType::I4: return Variant::i4(v.toI4());
    case platform::VarType::R8: return Variant::r8(v.toR8());
    case platform::VarType::Str: return Variant::str(v.toStr());
    case platform::VarType::Bool: return Variant::boolean(v.toBool());
    case platform::VarType::Bytes: return Variant::bytes(v.toBytes());
    case platform::VarType::Empty: break;
    }
    return {};
}

}  // namespace

QString RecordedCall::describe() const
{
    QStringList parts;
    for (int i = 0; i < values.size(); ++i)
        parts << (isRef(i) ? QStringLiteral("ref ") : QString()) + values.at(i).describe();
    return name + QLatin1Char('(') + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

RecordedCall RecordingCardControl::lastCall() const
{
    return m_calls.isEmpty() ? RecordedCall{} : m_calls.last();
}

QList<RecordedCall> RecordingCardControl::callsNamed(const QString& name) const
{
    QList<RecordedCall> named;
    for (const auto& call : m_calls)
        if (call.name == name) named << call;
    return named;
}

QStringList RecordingCardControl::callNames() const
{
    QStringList names;
    for (const auto& call : m_calls) names << call.name;
    return names;
}

QStringList RecordingCardControl::describedCalls() const
{
    QStringList described;
    for (const auto& call : m_calls) described << call.describe();
    return described;
}

void RecordingCardControl::onCall(const QString& operation, std::function<void()> action)
{
    m_actions[operation] << [action = std::move(action)](const RecordedCall&) { action(); };
}

void RecordingCardControl::onCall(const QString& operation,
                                  std::function<void(const RecordedCall&)> action)
{
    m_actions[operation] << std::move(action);
}

void RecordingCardControl::raiseCardFound(int16_t cardNumber, bool available)
{
    cardproto::CardRecord record;
    record.available = available;
    emit CardFound(cardNumber, record.encode());
}

void RecordingCardControl::record(const QString& name, QList<Variant> args)
{
    RecordedCall call{name, args, {}};
    for (const auto& arg : args) call.values << copyByValue(arg);
    m_calls << call;
    // Copied, so that an action may add further actions or clear the record.
    const auto actions = m_actions.value(name);
    for (const auto& action : actions) action(call);
}

void RecordingCardControl::SetDecoderOptions(const Variant& a1, const Variant& a2,
                                             const Variant& a3, const Variant& a4)
{
    record(QStringLiteral("SetDecoderOptions"), {a1, a2, a3, a4});
}

void RecordingCardControl::SetInput(const Variant& input, const Variant& translationMode,
                                    const Variant& ifFrequency, const Variant& a4)
{
    record(QStringLiteral("SetInput"), {input, translationMode, ifFrequency, a4});
}

void RecordingCardControl::SetAls(const Variant& command)
{
    record(QStringLiteral("SetAls"), {command});
}

void RecordingCardControl::SetMode(const Variant& a1, const Variant& modeName,
                                   const Variant& speed, const Variant& shift,
                                   const Variant& polarity, const Variant& a6,
                                   const Variant& adoptMeasured)
{
    record(QStringLiteral("SetMode"), {a1, modeName, speed, shift, polarity, a6, adoptMeasured});
}

void RecordingCardControl::SetCentreShift(const Variant& centre, const Variant& shift)
{
    record(QStringLiteral("SetCentreShift"), {centre, shift});
}

int32_t RecordingCardControl::SearchCards(const Variant& host, const Variant& port)
{
    record(QStringLiteral("SearchCards"), {host, port});
    return m_results.value(QStringLiteral("SearchCards"), 0);
}

int32_t RecordingCardControl::OpenCard(const Variant& host, const Variant& port,
                                       const Variant& card)
{
    record(QStringLiteral("OpenCard"), {host, port, card});
    return m_results.value(QStringLiteral("OpenCard"), 0);
}

QString RecordingCardControl::GetErrorText(const Variant& status)
{
    record(QStringLiteral("GetErrorText"), {status});
    return m_errorTexts.value(status.toI4());
}

void RecordingCardControl::CloseCard() { record(QStringLiteral("CloseCard"), {}); }

}  // namespace cardctl
