#include "Message.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace cardproto {

Message Message::greeting(int cards)
{
    Message m;
    m.kind = Kind::Greeting;
    m.serverName = QString::fromLatin1(kServerName);
    m.protocol = kProtocolVersion;
    m.cards = cards;
    return m;
}

Message Message::request(qint64 id, const QString& operation, QList<WireValue> args)
{
    Message m;
    m.kind = Kind::Request;
    m.id = id;
    m.operation = operation;
    m.args = std::move(args);
    return m;
}

Message Message::reply(qint64 id, std::optional<int> status, const QString& text)
{
    Message m;
    m.kind = Kind::Reply;
    m.id = id;
    if (status) m.status = *status;
    m.text = text;
    return m;
}

Message Message::eventMessage(const QString& name, QList<WireValue> args)
{
    Message m;
    m.kind = Kind::Event;
    m.event = name;
    m.args = std::move(args);
    return m;
}

namespace {

QJsonArray argsToJson(const QList<WireValue>& args)
{
    QJsonArray array;
    for (const auto& arg : args) array.append(arg.toJson());
    return array;
}

bool argsFromJson(const QJsonObject& object, QList<WireValue>* args, QString* error)
{
    const QJsonValue value = object.value(QStringLiteral("args"));
    if (value.isUndefined()) return true;
    if (!value.isArray()) {
        *error = QStringLiteral("\"args\" must be an array");
        return false;
    }
    const QJsonArray array = value.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        QString why;
        auto arg = WireValue::fromJson(array.at(i), &why);
        if (!arg) {
            *error = QStringLiteral("argument %1: %2").arg(i + 1).arg(why);
            return false;
        }
        args->append(*arg);
    }
    return true;
}

constexpr double kMaxExactInteger = 9007199254740992.0;  // 2^53

std::optional<qint64> wholeNumber(const QJsonValue& value)
{
    if (!value.isDouble()) return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > kMaxExactInteger)
        return std::nullopt;
    return qint64(d);
}

// A status may be i2 or i4 and is read at any size, so that a number outside
// 16 bits reaches the reader whole instead of failing as a type error.
std::optional<qint64> statusFrom(const QJsonValue& value)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || object.size() != 1) return std::nullopt;
    const QString key = object.begin().key();
    if (key != QLatin1String("i2") && key != QLatin1String("i4")) return std::nullopt;
    return wholeNumber(object.begin().value());
}

}  // namespace

QByteArray Message::encode() const
{
    QJsonObject object;
    switch (kind) {
    case Kind::Greeting:
        object.insert(QStringLiteral("hello"), serverName);
        object.insert(QStringLiteral("protocol"), protocol);
        object.insert(QStringLiteral("cards"), cards);
        if (!challenge.isEmpty())
            object.insert(QStringLiteral("challenge"), QString::fromLatin1(challenge.toBase64()));
        break;
    case Kind::Request:
        object.insert(QStringLiteral("id"), id);
        object.insert(QStringLiteral("op"), operation);
        object.insert(QStringLiteral("args"), argsToJson(args));
        break;
    case Kind::Reply:
        object.insert(QStringLiteral("id"), id);
        if (status) {
            const bool fits16 = *status >= INT16_MIN && *status <= INT16_MAX;
            QJsonObject typed;
            typed.insert(fits16 ? QStringLiteral("i2") : QStringLiteral("i4"), *status);
            object.insert(QStringLiteral("status"), typed);
        }
        if (!text.isEmpty()) object.insert(QStringLiteral("text"), text);
        break;
    case Kind::Event:
        object.insert(QStringLiteral("event"), event);
        object.insert(QStringLiteral("args"), argsToJson(args));
        break;
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<Message> Message::parse(const QByteArray& line, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return std::optional<Message>();
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
    if (document.isNull())
        return fail(QStringLiteral("not JSON (%1)").arg(parseError.errorString()));
    if (!document.isObject()) return fail(QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();

    Message m;
    QString why;
    if (object.contains(QStringLiteral("hello"))) {
        m.kind = Kind::Greeting;
        m.serverName = object.value(QStringLiteral("hello")).toString();
        const auto protocol = wholeNumber(object.value(QStringLiteral("protocol")));
        const auto cards = wholeNumber(object.value(QStringLiteral("cards")));
        if (!protocol || !cards || *protocol < 0 || *protocol > INT32_MAX || *cards < 0
            || *cards > INT32_MAX)
            return fail(QStringLiteral("greeting without a protocol number or card count"));
        m.protocol = int(*protocol);
        m.cards = int(*cards);
        const QJsonValue challenge = object.value(QStringLiteral("challenge"));
        if (!challenge.isUndefined()) {
            const auto decoded = QByteArray::fromBase64Encoding(challenge.toString().toLatin1(),
                                                                QByteArray::AbortOnBase64DecodingErrors);
            if (!challenge.isString() || !decoded || decoded.decoded.isEmpty())
                return fail(QStringLiteral("greeting with a challenge that is not base64 text"));
            m.challenge = decoded.decoded;
        }
        return m;
    }
    if (object.contains(QStringLiteral("event"))) {
        m.kind = Kind::Event;
        const QJsonValue name = object.value(QStringLiteral("event"));
        if (!name.isString() || name.toString().isEmpty())
            return fail(QStringLiteral("event name must be text"));
        m.event = name.toString();
        if (!argsFromJson(object, &m.args, &why)) return fail(why);
        return m;
    }
    const auto id = wholeNumber(object.value(QStringLiteral("id")));
    if (!id) return fail(QStringLiteral("message is neither greeting, event, request nor reply"));
    m.id = *id;
    if (object.contains(QStringLiteral("op"))) {
        m.kind = Kind::Request;
        const QJsonValue op = object.value(QStringLiteral("op"));
        if (!op.isString() || op.toString().isEmpty())
            return fail(QStringLiteral("operation name must be text"));
        m.operation = op.toString();
        if (!argsFromJson(object, &m.args, &why)) return fail(why);
        return m;
    }
    m.kind = Kind::Reply;
    if (object.contains(QStringLiteral("status"))) {
        m.status = statusFrom(object.value(QStringLiteral("status")));
        if (!m.status) return fail(QStringLiteral("status must be a typed whole number"));
    }
    const QJsonValue text = object.value(QStringLiteral("text"));
    if (!text.isUndefined() && !text.isString()) return fail(QStringLiteral("text must be text"));
    m.text = text.toString();
    return m;
}

}  // namespace cardproto
