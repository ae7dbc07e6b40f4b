#include "ServerLink.h"

#include "CardControl.h"
#include "SharedSecret.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QTimer>
#include <future>
#include <thread>
#include <QTcpSocket>
#include <unistd.h>

namespace cardctl {

using cardproto::Message;

namespace {
constexpr int kPollMs = 5;
}

QString secondsText(int milliseconds)
{
    return QString::number(milliseconds / 1000.0) + QStringLiteral(" s");
}

ServerLink::ServerLink(const QString& host, quint16 port, Connector connector, QObject* parent)
    : QObject(parent), m_connector(std::move(connector)), m_socket(new QTcpSocket(this)), m_host(host), m_port(port)
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
    QDeadlineTimer deadline(timeoutMs);
    while (future.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (deadline.hasExpired()) return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return future.get();
}

}  // namespace

bool ServerLink::connectOverTcp(int connectMs, QString* text, int32_t* status)
{
    QDeadlineTimer connectDeadline(connectMs);
    const auto addresses = resolve(m_host, connectMs);
    if (!addresses) {
        *text = QStringLiteral("Card server host '%1' not found within %2").arg(m_host, secondsText(connectMs));
        *status = kHostNotFound;
        return false;
    }
    if (addresses->isEmpty()) {
        *text = QStringLiteral("Card server host '%1' not found").arg(m_host);
        *status = kHostNotFound;
        return false;
    }
    // Each address in turn, as a connection by name would.
    for (const QHostAddress& address : *addresses) {
        m_socket->abort();
        m_socket->connectToHost(address, m_port);
        while (m_socket->state() != QAbstractSocket::ConnectedState
               && m_socket->state() != QAbstractSocket::UnconnectedState && !connectDeadline.hasExpired())
            waitForSocket(int(connectDeadline.remainingTime()));
        if (m_socket->state() == QAbstractSocket::ConnectedState) break;
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
        *status = kCannotConnect;
        return false;
    }
    return true;
}

int32_t ServerLink::open(int connectMs, int greetingMs, int totalMs, QString* text)
{
    const QDeadlineTimer total(totalMs);
    int32_t status = 0;
    if (m_connector) {
        const qintptr descriptor = m_connector(m_host, m_port);
        if (descriptor < 0 || !m_socket->setSocketDescriptor(descriptor)) {
            if (descriptor >= 0) ::close(int(descriptor));
            *text = QStringLiteral("Cannot reach card server %1: connection refused").arg(endpoint());
            close();
            return kCannotConnect;
        }
    } else if (!connectOverTcp(connectMs, text, &status)) {
        return status;
    }
    greetingMs = int(std::min<qint64>(greetingMs, std::max<qint64>(total.remainingTime(), 1)));
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
    if (!greeting.challenge.isEmpty()) return authenticate(greeting.challenge, greetingMs, text);
    return 0;
}

int32_t ServerLink::authenticate(const QByteArray& challenge, int replyMs, QString* text)
{
    const QByteArray secret = readSharedSecret();
    // Without a secret the server's own refusal of search and open says why.
    if (secret.isEmpty()) return 0;
    const qint64 id = 0;  // the control numbers its requests from 1
    send(Message::request(id, QStringLiteral("Authenticate"),
                          {cardproto::WireValue::binary(answerChallenge(secret, challenge))}));
    QDeadlineTimer deadline(replyMs);
    for (;;) {
        Message reply;
        const Read read = next(&reply);
        if (read == Read::Message && reply.kind == Message::Kind::Reply && reply.id == id) {
            if (reply.status.value_or(0) == 0) return 0;
            *text = QStringLiteral("Card server %1 refused the shared secret in %2: %3")
                        .arg(endpoint(), sharedSecretPath(), reply.text);
            close();
            return *reply.status >= INT16_MIN && *reply.status <= INT16_MAX ? int32_t(*reply.status) : kStatusOutOfRange;
        }
        if (read == Read::Broken || deadline.hasExpired()) {
            *text = read == Read::Broken ? m_text
                                         : QStringLiteral("Card server %1 did not answer Authenticate within %2")
                                               .arg(endpoint(), secondsText(replyMs));
            close();
            return read == Read::Broken ? m_status : kReplyTimeout;
        }
        if (read == Read::Nothing) waitForData(int(deadline.remainingTime()));
    }
}

bool ServerLink::hasSomethingToRead() const
{
    return !isBroken()
        && (m_framer.hasLine() || m_socket->bytesAvailable() > 0
            || m_socket->state() != QAbstractSocket::ConnectedState);
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
    if (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() == 0)
        waitForSocket(qMax(0, milliseconds));
}

// The calls are synchronous, but a slow server must not freeze the window:
// the wait runs a nested event loop that repaints windows and serves
// timers and sockets, while the user's clicks and keys are held back until
// the call has returned, so that no input can start a second call inside
// this one.
void ServerLink::waitForSocket(int milliseconds)
{
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(m_socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    connect(m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
    connect(m_socket, &QTcpSocket::disconnected, &loop, &QEventLoop::quit);
    connect(m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    // A call made from an event handler may wait inside the socket's own
    // read notification, where data can be buffered without a new signal;
    // a short poll sees it too.
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (m_socket->bytesAvailable() > 0 || m_socket->state() != QAbstractSocket::ConnectedState) loop.quit();
    });
    limit.start(milliseconds);
    if (m_socket->state() == QAbstractSocket::ConnectedState) poll.start(kPollMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void ServerLink::breakWith(int32_t status, const QString& text)
{
    if (isBroken()) return;
    m_status = status;
    m_text = text;
    close();
}

}  // namespace cardctl
