#include "NetworkCardControl.h"
#include "ServerLink.h"

#include "protocol/Message.h"

#include <cmath>

namespace cardctl {

using cardproto::WireType;
using cardproto::WireValue;

namespace {

// Event arguments are read by kind: a whole number where an integer is due
// (i2 or i4, within range), any number where a real is due.
class EventArgs {
public:
    explicit EventArgs(const QList<WireValue>& args) : m_args(args) {}

    bool hasCount(qsizetype count) const { return m_args.size() >= count; }
    std::optional<qint64> integer(int index, qint64 low, qint64 high) const
    {
        if (index >= m_args.size() || !m_args.at(index).isInteger()) return std::nullopt;
        const qint64 value = m_args.at(index).integer;
        if (value < low || value > high) return std::nullopt;
        return value;
    }
    std::optional<int16_t> i2(int index) const
    {
        const auto v = integer(index, INT16_MIN, INT16_MAX);
        return v ? std::optional<int16_t>(int16_t(*v)) : std::nullopt;
    }
    std::optional<int32_t> i4(int index) const
    {
        const auto v = integer(index, INT32_MIN, INT32_MAX);
        return v ? std::optional<int32_t>(int32_t(*v)) : std::nullopt;
    }
    std::optional<double> r8(int index) const
    {
        if (index >= m_args.size()) return std::nullopt;
        const auto v = m_args.at(index).number();
        return v && std::isfinite(*v) ? v : std::nullopt;
    }
    std::optional<QString> str(int index) const
    {
        if (index >= m_args.size() || m_args.at(index).type != WireType::Str) return std::nullopt;
        return m_args.at(index).text;
    }
    std::optional<QByteArray> bytes(int index) const
    {
        if (index >= m_args.size() || m_args.at(index).type != WireType::Bytes) return std::nullopt;
        return m_args.at(index).bytes;
    }

private:
    const QList<WireValue>& m_args;
};

}  // namespace

bool NetworkCardControl::dispatchEvent(const Link& link, const cardproto::Message& message)
{
    const EventArgs a(message.args);
    const QString& name = message.event;
    if (name == QLatin1String("Heartbeat")) return true;
    if (name == QLatin1String("Ping")) {
        // The answer tells the server this session still reads what it is
        // sent. A Ping of another shape is some other server's: ignored.
        if (const auto number = a.i4(0); number && *number > 0)
            link->send(cardproto::Message::request(++m_nextId, QStringLiteral("Pong"), {WireValue::i4(*number)}));
        return true;
    }
    if (name == QLatin1String("CardFound")) {
        const auto card = a.i2(0);
        const auto record = a.bytes(1);
        if (!card || !record) return false;
        emit CardFound(*card, *record);
    } else if (name == QLatin1String("SessionStarted")) {
        emit SessionStarted();
    } else if (name == QLatin1String("SessionEnded")) {
        const auto reason = a.i2(0);
        const auto detail = a.i4(1);
        if (!reason || !detail) return false;
        // The server closes the connection next; that drop is no second end.
        if (link == m_session) dropSession();
        if (link == m_search) link->breakWith(kConnectionLost,
                                              QStringLiteral("Card server %1 ended the search")
                                                  .arg(link->endpoint()));
        emit SessionEnded(*reason, *detail);
    } else if (name == QLatin1String("ErrorReport")) {
        const auto code = a.i4(0);
        const auto text = a.str(1);
        if (!code || !text) return false;
        // A server at its connection limit says so before it closes: that,
        // not the drop that follows, is why the search or the open failed.
        if (*code == kServerFull && !(link == m_session && m_sessionOpen)) {
            link->breakWith(kServerFull, *text);
            return true;
        }
        emit ErrorReport(*code, *text);
    } else if (name == QLatin1String("StateText")) {
        const auto text = a.str(0);
        if (!text) return false;
        emit StateText(*text);
    } else if (name == QLatin1String("StatusReport")) {
        const auto card = a.i2(0);
        const auto mode = a.str(1);
        const auto speed = a.r8(2);
        const auto shift = a.r8(3);
        const auto polarity = a.i2(4);
        const auto flags = a.i4(5);
        if (!card || !mode || !speed || !shift || !polarity || !flags) return false;
        emit StatusReport(*card, *mode, *speed, *shift, *polarity, *flags);
    } else if (name == QLatin1String("FrequencyReport")) {
        const auto centre = a.i2(0);
        const auto level = a.i2(1);
        if (!centre || !level) return false;
        emit FrequencyReport(*centre, *level);
    } else if (name == QLatin1String("DataText")) {
        const auto card = a.i2(0);
        const auto input = a.i2(1);
        const auto sequence = a.i4(2);
        const auto flags = a.i4(3);
        const auto text = a.str(4);
        if (!card || !input || !sequence || !flags || !text) return false;
        emit DataText(*card, *input, *sequence, *flags, *text);
    }
    // Events of a later protocol revision are not ours to raise.
    return true;
}

}  // namespace cardctl
