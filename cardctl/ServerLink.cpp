#include "ServerLink.h"

#include "CardControl.h"

#include <QDeadlineTimer>
#include <QHostInfo>
#include <future>
#include <thread>
#include <QTcpSocket>

namespace cardctl {

using cardproto::Message;

QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0) + QStringLiteral(" s");
}

ServerLink::ServerLink(const QString& host, quint16 port, QObject* parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_host(host), m_port(port)
{
    // What the window has not taken yet waits in the kernel, not here: a
    // server that sends faster than the window reads is held back by TCP.
    m_socket->setReadBufferSize(kReadBufferBytes);
    connect(m_socket, &QTcpSocket::readyRead, this, &ServerLink::dataArrived);
    connect(m_socket, &QTcpSocket::disconnected, this, &ServerLink::dropped);
}

ServerLink::~ServerLink() { close(); }

QString ServerLink::endpoint() const { return m_host + QLatin1Char(':') + QString::number(m_port); }

void ServerLink::close()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

namespace {

// The system resolver may take long when no name server answers; the call
// must not wait longer than its limit, so the lookup runs on a thread of its
// own that is left to finish alone when the time is up.
std::optional<QList<QHostAddress>> resolve(const QString& host, int timeoutMs)
{
    if (QHostAddress literal; literal.setAddress(host)) return QList<QHostAddress>{literal};
    auto result = std::make_shared<std::promise<QList<QHostAddress>>>();
    auto future = result->get_future();
    std::thread([host, result] { result->set_value(QHostInfo::fromName(host).addresses()); }).detach();
    if (future.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) return std::nullopt;
    return future.get();
}

}  // namespace

int32_t ServerLink::open(int connectMs, int greetingMs, QString* text)
{
    QDeadlineTimer connectDeadline(connectMs);
    const auto addresses = resolve(m_host, connectMs);
    if (!addresses) {
        *text = QStringLiteral("Card server host '%1' not found within %2").arg(m_host, secondsText(connectMs));
        return kHostNotFound;
    }
    if (addresses->isEmpty()) {
        *text = QStringLiteral("Card server host '%1' not found").arg(m_host);
        return kHostNotFound;
    }
    // Each address in turn, as a connection by name would.
    for (const QHostAddress& address : *addresses) {
        m_socket->abort();
        m_socket->connectToHost(address, m_port);
        if (m_socket->waitForConnected(int(connectDeadline.remainingTime()))) break;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        const auto error = m_socket->error();
        if (error == QAbstractSocket::ConnectionRefusedError) {
            *text = QStringLiteral("Cannot reach card server %1: connection refused").arg(endpoint());
        } else if (error == QAbstractSocket::SocketTimeoutError || connectDeadline.hasExpired()) {
            *text = QStringLiteral("Cannot reach card server %1: no answer within %2")
                        .arg(endpoint(), secondsText(connectMs));
        } else {
            *text = QStringLiteral("Cannot reach card server %1: %2")
                        .arg(endpoint(), m_socket->errorString());
        }
        close();
        return kCannotConnect;
    }
    QDeadlineTimer deadline(greetingMs);
    Message greeting;
    for (;;) {
        const Read read = next(&greeting);
        if (read == Read::Message) break;
        if (read == Read::Broken || deadline.hasExpired()) {
            *text = QStringLiteral("Card server %1 sent no greeting within %2")
                        .arg(endpoint(), secondsText(greetingMs));
            if (read == Read::Broken) *text += QStringLiteral(" (%1)").arg(m_text);
            close();
            return kNoGreeting;
        }
        waitForData(int(deadline.remainingTime()));
    }
    if (greeting.kind != Message::Kind::Greeting) {
        *text = QStringLiteral("Card server %1 sent no greeting: is it a card server?").arg(endpoint());
        close();
        return kNoGreeting;
    }
    if (greeting.protocol != cardproto::kProtocolVersion) {
        *text = QStringLiteral("Card server %1 speaks protocol %2; this control speaks protocol %3")
                    .arg(endpoint())
                    .arg(greeting.protocol)
                    .arg(cardproto::kProtocolVersion);
        close();
        return kWrongProtocol;
    }
    return 0;
}

ServerLink::Read ServerLink::next(Message* message)
{
    if (isBroken()) return Read::Broken;
    if (!m_framer.hasLine()) {
        const QByteArray bytes = m_socket->readAll();
        if (!bytes.isEmpty() && !m_framer.append(bytes)) {
            breakWith(kProtocolError,
                      QStringLiteral("Card server %1 broke the protocol: a line longer than %2 bytes")
                          .arg(endpoint())
                          .arg(cardproto::kMaxLineBytes));
            return Read::Broken;
        }
    }
    const auto line = m_framer.takeLine();
    if (!line) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            breakWith(kConnectionLost, QStringLiteral("Connection to card server %1 lost").arg(endpoint()));
            return Read::Broken;
        }
        return Read::Nothing;
    }
    QString why;
    auto parsed = Message::parse(*line, &why);
    if (!parsed) {
        breakWith(kProtocolError,
                  QStringLiteral("Card server %1 broke the protocol: %2").arg(endpoint(), why));
        return Read::Broken;
    }
    *message = std::move(*parsed);
    return Read::Message;
}

void ServerLink::send(const Message& message)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) return;
    m_socket->write(message.encode() + '\n');
    m_socket->flush();
}

void ServerLink::waitForData(int milliseconds)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForReadyRead(qMax(0, milliseconds));
}

void ServerLink::breakWith(int32_t status, const QString& text)
{
    if (isBroken()) return;
    m_status = status;
    m_text = text;
    close();
}

}  // namespace cardctl
