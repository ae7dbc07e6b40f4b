#include "RawClient.h"

#include <QDeadlineTimer>

using cardproto::Message;
using cardproto::WireValue;

bool RawClient::connectTo(const QString& host, quint16 port)
{
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(5000)) return false;
    m_greeting = next();
    return m_greeting && m_greeting->kind == Message::Kind::Greeting;
}

void RawClient::sendLine(const QByteArray& line)
{
    socket.write(line + '\n');
    socket.flush();
}

qint64 RawClient::request(const QString& op, QList<WireValue> args)
{
    const qint64 id = ++m_nextId;
    sendLine(Message::request(id, op, std::move(args)).encode());
    return id;
}

std::optional<Message> RawClient::next(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n');
        if (lf >= 0) {
            const QByteArray line = m_buffer.left(lf);
            m_buffer.remove(0, lf + 1);
            QString error;
            auto message = Message::parse(line, &error);
            if (message) seen << *message;
            if (message && answerPings && message->event == QLatin1String("Ping"))
                request(QStringLiteral("Pong"), {message->args.value(0)});
            return message;
        }
        if (deadline.hasExpired()) return std::nullopt;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            if (socket.bytesAvailable() == 0) return std::nullopt;
        m_buffer += socket.readAll();
    }
}

std::optional<Message> RawClient::reply(qint64 id, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (auto message = next(int(deadline.remainingTime())))
        if (message->kind == Message::Kind::Reply && message->id == id) return message;
    return std::nullopt;
}

std::optional<Message> RawClient::event(const QString& name, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (auto message = next(int(deadline.remainingTime())))
        if (message->kind == Message::Kind::Event && message->event == name) return message;
    return std::nullopt;
}

QString RawClient::collectText(int milliseconds, int enough)
{
    QString text;
    QDeadlineTimer deadline(milliseconds);
    while (text.size() < enough && !deadline.hasExpired()) {
        const auto message = next(int(deadline.remainingTime()));
        if (!message) continue;
        if (message->kind == Message::Kind::Event && message->event == QLatin1String("DataText"))
            text += message->args.value(4).text;
    }
    return text;
}

QString RawClient::collectTextUntil(const QString& wanted, int timeoutMs)
{
    QString text;
    QDeadlineTimer deadline(timeoutMs);
    while (!text.contains(wanted) && !deadline.hasExpired()) {
        const auto message = next(int(deadline.remainingTime()));
        if (!message) continue;
        if (message->kind == Message::Kind::Event && message->event == QLatin1String("DataText"))
            text += message->args.value(4).text;
    }
    return text;
}

bool RawClient::waitForClose(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(int(qMin<qint64>(100, deadline.remainingTime())));
        m_buffer += socket.readAll();
    }
    return socket.state() != QAbstractSocket::ConnectedState;
}

QList<WireValue> openArgs(int card)
{
    return {WireValue::str(QStringLiteral("127.0.0.1"), true), WireValue::i4(33234, true),
            WireValue::i2(int16_t(card), true)};
}
