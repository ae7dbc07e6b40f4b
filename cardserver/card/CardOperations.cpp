// The mode operations: what each typed argument means to the card. Every
// operation checks all its arguments before it changes anything.
#include "Card.h"
#include "Log.h"

namespace cardserver {

using cardproto::WireType;
using cardproto::WireValue;

namespace {

OperationResult badRequest(const QString& text) { return {kBadRequest, text}; }
OperationResult unsupported(const QString& text) { return {kUnsupportedValue, text}; }

// 16- or 32-bit -1, or empty text: leave the setting as it is.
bool leavesUnchanged(const WireValue& v)
{
    return (v.isInteger() && v.integer == -1) || (v.type == WireType::Str && v.text.isEmpty());
}

std::optional<double> numeric(const WireValue& v)
{
    if (v.type == WireType::Str || v.type == WireType::Bytes || v.type == WireType::Bool) return std::nullopt;
    return v.number();
}

// An optional numeric setting: nullopt result = leave unchanged; error text set
// when the value is not acceptable.
std::optional<double> setting(const WireValue& v, const QString& what, double low, double high,
                              const QString& unit, OperationResult* error)
{
    if (leavesUnchanged(v)) return std::nullopt;
    const auto value = numeric(v);
    if (!value) {
        *error = badRequest(QStringLiteral("%1 must be a number or 16-bit -1").arg(what));
        return std::nullopt;
    }
    if (*value < low || *value > high) {
        *error = unsupported(QStringLiteral("%1 %2 %3 is outside %4..%5 %3")
                                 .arg(what).arg(*value).arg(unit).arg(low).arg(high));
        return std::nullopt;
    }
    return value;
}

bool needArgs(const Card::Args& args, int count, const char* operation, OperationResult* error)
{
    if (args.size() == count) return true;
    *error = badRequest(QStringLiteral("%1 takes %2 arguments, not %3")
                            .arg(QLatin1String(operation)).arg(count).arg(args.size()));
    return false;
}

}  // namespace

OperationResult Card::setMode(const Args& args)
{
    OperationResult error;
    if (!needArgs(args, 7, "SetMode", &error)) return error;
    const WireValue& command = args[0];
    const WireValue& mode = args[1];
    if (command.type != WireType::Str || mode.type != WireType::Str)
        return badRequest(QStringLiteral("SetMode: command and mode name must be text"));
    if (!command.text.isEmpty() && command.text.compare(QLatin1String("ms"), Qt::CaseInsensitive) != 0)
        return badRequest(QStringLiteral("SetMode: unknown command \"%1\"").arg(command.text));
    std::optional<bool> baudot;
    if (mode.text.compare(QLatin1String("BAUDOT"), Qt::CaseInsensitive) == 0) baudot = true;
    else if (mode.text.compare(QLatin1String("NO-MODE"), Qt::CaseInsensitive) == 0) baudot = false;
    else if (!mode.text.isEmpty())
        return unsupported(QStringLiteral("Mode %1 is not available on card %2").arg(mode.text).arg(m_number));

    const auto speed = setting(args[2], QStringLiteral("Speed"), 10, 300, QStringLiteral("Bd"), &error);
    const auto shift = setting(args[3], QStringLiteral("Shift"), 20, 2000, QStringLiteral("Hz"), &error);
    const auto polarity = setting(args[4], QStringLiteral("Polarity"), 0, 1, QString(), &error);
    if (error.status) return error;
    if (polarity && *polarity != 0 && *polarity != 1)
        return unsupported(QStringLiteral("Polarity must be 0 (normal) or 1 (inverted)"));
    const WireValue& adopt = args[6];
    if (adopt.type != WireType::Bool && !adopt.isInteger())
        return badRequest(QStringLiteral("SetMode: the last argument must be a Boolean"));

    LineParameters receiver = m_receiver;
    if (speed) receiver.baud = *speed;
    if (shift) receiver.shift = *shift;
    if (polarity) receiver.inverted = *polarity == 1;
    const bool adopting = adopt.integer != 0;
    if (adopting && m_als == Als::Listening) {
        // The search is still on: its latest measurement.
        if (const auto latest = measuredLine(false)) noteMeasured(*latest);
    }
    if (adopting && m_measured) receiver = *m_measured;
    // A search that found nothing leaves the settings, and keeps saying so.
    const bool foundNothing = adopting && !m_measured && m_alsFoundNothing;
    if (const OperationResult tuned = retuneTo(receiver, m_options); tuned.status) return tuned;
    m_alsFoundNothing = foundNothing;
    if (baudot) m_baudot = *baudot;
    reportSettings();
    setStateText(currentStateText());
    return OperationResult::ok();
}

OperationResult Card::retuneTo(const LineParameters& receiver, const ReceiverOptions& options)
{
    // The decoder on the selected input may accept less than the card's
    // ranges (an audio decoder needs both tones inside its band).
    const QString problem = refusalAtInput(m_input, receiver, options, m_translationHz);
    if (!problem.isEmpty()) return unsupported(problem);
    m_receiver = receiver;
    m_options = options;
    retune();
    return OperationResult::ok();
}

OperationResult Card::setAls(const Args& args)
{
    OperationResult error;
    if (!needArgs(args, 1, "SetAls", &error)) return error;
    if (!args[0].isInteger()) return badRequest(QStringLiteral("SetAls takes a 32-bit command"));
    DecodingChannel* channel = selectedChannel();
    if (args[0].integer == 2) {
        m_als = Als::Listening;
        m_measured.reset();
        m_alsFoundNothing = false;
        if (channel) channel->startLineSearch();
    } else if (args[0].integer == 1) {
        if (m_als == Als::Listening && channel) {
            // What it heard since its last look counts too.
            const std::optional<LineParameters> latest = measuredLine(true);
            if (latest && latest != m_measured) {
                noteMeasured(*latest);
                reportMeasurement(*channel);
            }
            m_alsFoundNothing = !m_measured;
            if (!m_measured) {
                const QString finding = channel->lineSearchFinding();
                reportNoLine(finding);
                logLine(QStringLiteral("Card %1: the line search found no line on input %2%3")
                            .arg(m_number).arg(m_input).arg(finding.isEmpty() ? QString() : QStringLiteral(": ") + finding));
            }
        }
        m_als = Als::Off;
        m_sinceRetune = 0;
    } else {
        return unsupported(QStringLiteral("SetAls: %1 is neither 2 (start) nor 1 (stop)").arg(args[0].integer));
    }
    setStateText(currentStateText());
    return OperationResult::ok();
}

OperationResult Card::setCentreShift(const Args& args)
{
    OperationResult error;
    if (!needArgs(args, 2, "SetCentreShift", &error)) return error;
    const auto centre = setting(args[0], QStringLiteral("Centre frequency"), 100, 4000, QStringLiteral("Hz"), &error);
    const auto shift = setting(args[1], QStringLiteral("Shift"), 20, 2000, QStringLiteral("Hz"), &error);
    if (error.status) return error;
    LineParameters receiver = m_receiver;
    if (centre) receiver.centre = *centre;
    if (shift) receiver.shift = *shift;
    if (const OperationResult tuned = retuneTo(receiver, m_options); tuned.status) return tuned;
    reportSettings();
    return OperationResult::ok();
}

OperationResult Card::setDecoderOptions(const Args& args)
{
    OperationResult error;
    if (!needArgs(args, 4, "SetDecoderOptions", &error)) return error;
    for (const auto& arg : args)
        if (!arg.isInteger() && arg.type != WireType::Bool)
            return badRequest(QStringLiteral("SetDecoderOptions takes four integers"));
    static constexpr double kStopBits[] = {1, 1.5, 2};
    if (args[1].integer < 0 || args[1].integer > 2)
        return unsupported(QStringLiteral("Stop-bit code %1 is not 0 (1 bit), 1 (1.5) or 2 (2 bits)")
                               .arg(args[1].integer));
    if (args[3].integer != 5)
        return unsupported(QStringLiteral("%1 data bits: this card decodes 5-bit ITA2 only").arg(args[3].integer));
    ReceiverOptions options = m_options;
    options.unshiftOnSpace = args[0].integer != 0;
    options.stopBits = kStopBits[args[1].integer];
    options.passFramingErrors = args[2].integer != 0;
    return retuneTo(m_receiver, options);
}

OperationResult Card::setInput(const Args& args)
{
    OperationResult error;
    if (!needArgs(args, 4, "SetInput", &error)) return error;
    for (const auto& arg : args)
        if (!arg.isInteger()) return badRequest(QStringLiteral("SetInput takes four integers"));
    if (args[0].integer < 1 || args[0].integer > kInputs)
        return unsupported(QStringLiteral("Card %1 has no IF input %2").arg(m_number).arg(args[0].integer));
    if (args[1].integer != 40 && args[1].integer != 70)
        return unsupported(QStringLiteral("SetInput: %1 is neither 40 (keep decoding) nor 70 (restart)")
                               .arg(args[1].integer));
    if (args[2].integer < 0 || args[2].integer > 21500000)
        return unsupported(QStringLiteral("IF translation %1 Hz is outside 0..21500000 Hz").arg(args[2].integer));
    const int input = int(args[0].integer);
    const auto translation = int32_t(args[2].integer);
    if (const QString problem = refusalAtInput(input, m_receiver, m_options, translation); !problem.isEmpty())
        return unsupported(problem);
    const bool inputChanged = m_input != input;
    const bool translationChanged = m_translationHz != translation;
    if (inputChanged && m_als == Als::Listening) measuredLine(true);  // the old input's search ends
    m_input = input;
    m_translationHz = translation;
    if (args[1].integer == 70 || inputChanged || translationChanged) retune();
    if (inputChanged && m_als == Als::Listening) {
        // The search listens to the input now selected.
        m_measured.reset();
        if (DecodingChannel* channel = selectedChannel()) channel->startLineSearch();
    }
    reportSettings();
    setStateText(currentStateText());
    return OperationResult::ok();
}

}  // namespace cardserver
