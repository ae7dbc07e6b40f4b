#include "ClientConnection.h"

#include "CardServer.h"
#include "Log.h"

#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <algorithm>

namespace cardserver {

using cardproto::Message;
using cardproto::WireValue;

ClientConnection::ClientConnection(QTcpSocket* socket, CardServer* server)
    : QObject(server), m_socket(socket), m_server(server)
{
    m_socket->setParent(this);
    // A small kernel buffer lets a peer that stopped reading show as pending
    // output here within seconds, rather than after megabytes.
    m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, kKernelSendBuffer);
    // Requests wait in the kernel, not here, while this connection handles them.
    m_socket->setReadBufferSize(2 * cardproto::kMaxLineBytes);
    m_host = socket->peerAddress().toString();
    m_peer = QStringLiteral("%1:%2").arg(m_host).arg(socket->peerPort());
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::readRequests);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ClientConnection::countWritten);
    m_idleUntil.setRemainingTime(server->limits().idleMs);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        release();
        if (!m_closing) m_server->clientLog().line(m_host, QStringLiteral("%1 disconnected").arg(m_peer));
        m_closing = true;
        finish();
    });
    m_withoutCard.start();
    m_ping.setInterval(std::clamp(server->limits().stallMs / 6, 100, kHeartbeatMs));
    connect(&m_ping, &QTimer::timeout, this, &ClientConnection::sendPing);
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this,
            [this] { send(Message::eventMessage(QStringLiteral("Heartbeat"))); });
    Message greeting = Message::greeting(int(server->cards().size()));
    if (!server->secret().isEmpty()) {
        m_challenge.resize(32);
        QRandomGenerator::system()->generate(m_challenge.begin(), m_challenge.end());
        greeting.challenge = m_challenge;
    }
    m_authenticated = m_challenge.isEmpty();
    send(greeting);
}

ClientConnection::~ClientConnection()
{
    release();
    m_server->addPendingOutput(-m_pendingCounted);
}

void ClientConnection::countWritten(qint64 bytes)
{
    const qint64 taken = qMin(bytes, m_pendingCounted);
    m_pendingCounted -= taken;
    m_server->addPendingOutput(-taken);
    m_stalledUntil = m_socket->bytesToWrite() > 0 ? QDeadlineTimer(m_server->limits().stallMs)
                                                  : QDeadlineTimer(QDeadlineTimer::Forever);
}

void ClientConnection::checkLimits()
{
    if (m_closing) return;
    if (!m_card && !m_observed && m_idleUntil.hasExpired()) {
        m_server->clientLog().line(m_host, QStringLiteral("Closing connection from %1: idle for %2 s without a card or a search")
                    .arg(m_peer)
                    .arg(m_server->limits().idleMs / 1000.0));
        m_closing = true;
        release();
        m_socket->disconnectFromHost();
        if (m_socket->state() == QAbstractSocket::UnconnectedState) finish();
        return;
    }
    if (m_stalledUntil.hasExpired())
        dropWithError(QStringLiteral("it has read nothing of what it was sent for %1 s")
                          .arg(m_server->limits().stallMs / 1000.0));
    else if (m_card && m_pingDueBy.hasExpired())
        dropWithError(QStringLiteral("it has answered no Ping for %1 s: it reads nothing of what it is sent")
                          .arg(m_server->limits().stallMs / 1000.0));
}

void ClientConnection::closeToMakeRoom(int maxConnections)
{
    if (m_closing) return;
    m_server->clientLog().line(m_host, QStringLiteral("Closing connection from %1 to make room: %2 s without a card%3")
                .arg(m_peer)
                .arg(m_withoutCard.elapsed() / 1000.0, 0, 'f', 1)
                .arg(m_authenticated ? QString() : QStringLiteral(" or a proven secret")));
    send(Message::eventMessage(
        QStringLiteral("ErrorReport"),
        {WireValue::i4(kServerBusy),
         WireValue::str(QStringLiteral("Card server is full (%1 connections): this connection held no card longest "
                                       "and was closed to make room for a new one")
                            .arg(maxConnections))}));
    m_socket->flush();
    release();
    m_closing = true;
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        finish();
        return;
    }
    // It no longer counts against the limit; one that does not read its
    // goodbye must not keep a descriptor for long either.
    QTimer::singleShot(kGoodbyeMs, this, [this] {
        m_socket->abort();
        finish();
    });
}

// One client's requests cannot fill the log: so many lines about them in
// any 10 s, then one line saying how many more were left out.
void ClientConnection::logAboutRequests(const QString& line, bool warning)
{
    constexpr int kLinesPerWindow = 20;
    constexpr qint64 kWindowMs = 10000;
    if (!m_logWindow.isValid() || m_logWindow.hasExpired(kWindowMs)) {
        if (m_linesLeftOut > 0)
            m_server->clientLog().line(m_host, QStringLiteral("%1: %2 more lines about its requests were left out").arg(m_peer).arg(m_linesLeftOut));
        m_logWindow.start();
        m_linesLogged = 0;
        m_linesLeftOut = 0;
    }
    if (m_linesLogged >= kLinesPerWindow) {
        ++m_linesLeftOut;
        return;
    }
    if (warning) m_server->clientLog().warning(m_host, line);
    else m_server->clientLog().line(m_host, line);
    if (++m_linesLogged == kLinesPerWindow)
        m_server->clientLog().line(m_host, QStringLiteral("%1: further lines about its requests are left out for %2 s").arg(m_peer).arg(kWindowMs / 1000));
}

void ClientConnection::sendPing()
{
    if (!m_card) return;
    // Heartbeats go on as the contract has them: a Ping is no news of the card.
    const int heartbeatDue = m_heartbeat.remainingTime();
    send(Message::eventMessage(QStringLiteral("Ping"), {WireValue::i4(++m_pingsSent)}));
    if (heartbeatDue >= 0) m_heartbeat.start(heartbeatDue);
    // The deadline runs from the oldest Ping not answered.
    if (m_answersPings && m_pingDueBy.isForever()) m_pingDueBy.setRemainingTime(m_server->limits().stallMs);
}

// Pong(n) says every message up to Ping n has been read.
bool ClientConnection::answersPings(const Message& request)
{
    const auto number = request.args.value(0).number();
    if (request.args.size() != 1 || !request.args[0].isInteger() || !number || *number < 1 || *number > m_pingsSent)
        return false;
    m_answersPings = true;
    m_pingsAnswered = qMax(m_pingsAnswered, qint32(*number));
    m_pingDueBy = m_pingsAnswered == m_pingsSent ? QDeadlineTimer(QDeadlineTimer::Forever)
                                                 : QDeadlineTimer(m_server->limits().stallMs);
    return true;
}

void ClientConnection::release()
{
    if (m_card) {
        logAboutRequests(QStringLiteral("Card %1 released by %2").arg(m_card->number()).arg(m_peer), false);
        m_card->detach(this);
        m_card = nullptr;
        m_idleUntil.setRemainingTime(m_server->limits().idleMs);
        m_withoutCard.start();
    }
    stopObserving();
    m_heartbeat.stop();
    m_ping.stop();
    m_pingDueBy = QDeadlineTimer(QDeadlineTimer::Forever);
}

void ClientConnection::send(const Message& message)
{
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState) return;
    if (m_socket->bytesToWrite() > m_server->limits().maxPendingPerConnection) {
        dropWithError(QStringLiteral("it does not read what it is sent"));
        return;
    }
    if (m_server->pendingOutput() > m_server->limits().maxPendingTotal
        && m_pendingCounted > ServerLimits::kFairPendingBytes) {
        dropWithError(QStringLiteral("the server's output limit is reached and it does not read"));
        return;
    }
    const QByteArray line = message.encode() + '\n';
    if (m_socket->bytesToWrite() == 0) m_stalledUntil.setRemainingTime(m_server->limits().stallMs);
    m_socket->write(line);
    m_pendingCounted += line.size();
    m_server->addPendingOutput(line.size());
    if (m_card || m_observed) m_heartbeat.start(kHeartbeatMs);  // restarted: heartbeats fill silence only
}

void ClientConnection::sendEvent(const Message& event)
{
    if (m_handling) m_deferred << event;
    else send(event);
}

void ClientConnection::dropWithError(const QString& why)
{
    m_server->clientLog().warning(m_host, QStringLiteral("Closing connection from %1: %2").arg(m_peer, why));
    release();
    m_closing = true;
    m_socket->abort();
    m_server->addPendingOutput(-m_pendingCounted);
    m_pendingCounted = 0;
    finish();
}

void ClientConnection::finish()
{
    if (m_finished) return;
    m_finished = true;
    emit finished(this);
}

void ClientConnection::endSession(int16_t reason, int32_t detail)
{
    if (m_closing) return;
    send(Message::eventMessage(QStringLiteral("SessionEnded"),
                               {WireValue::i2(reason), WireValue::i4(detail)}));
    m_socket->flush();
    release();
    m_closing = true;
    m_socket->disconnectFromHost();
}

void ClientConnection::readRequests()
{
    if (m_closing) return;
    if (!m_framer.append(m_socket->readAll())) {
        dropWithError(QStringLiteral("protocol error: a line longer than %1 bytes").arg(cardproto::kMaxLineBytes));
        return;
    }
    while (auto line = m_framer.takeLine()) {
        if (line->trimmed().isEmpty()) continue;
        QString why;
        const auto message = Message::parse(*line, &why);
        if (!message) {
            dropWithError(QStringLiteral("protocol error: %1").arg(why));
            return;
        }
        if (message->kind != Message::Kind::Request) {
            dropWithError(QStringLiteral("protocol error: a client sends requests only"));
            return;
        }
        logDetail(QStringLiteral("%1: %2").arg(m_peer, QString::fromUtf8(*line).trimmed().left(200)));
        handle(*message);
        if (m_closing) return;
    }
}

void ClientConnection::reply(qint64 id, const OperationResult& result, bool hasStatus)
{
    if (result.status != 0) send(Message::reply(id, result.status, result.text));
    else send(hasStatus ? Message::reply(id, 0) : Message::reply(id));
}

void ClientConnection::handle(const Message& request)
{
    const QString& op = request.operation;
    if (op == QLatin1String("Authenticate")) {
        const OperationResult result = authenticate(request);
        reply(request.id, result, true);
        if (result.status != 0) {
            m_server->clientLog().line(m_host, QStringLiteral("Closing connection from %1: %2").arg(m_peer, result.text));
            m_closing = true;
            m_socket->disconnectFromHost();
        }
        return;
    }
    const bool wantsSecret = op == QLatin1String("SearchCards") || op == QLatin1String("OpenCard")
                             || op == QLatin1String("ObserveCard");
    if (wantsSecret && !m_authenticated) {
        const QString why = QStringLiteral("%1: this card server wants its shared secret first (see the secret file)").arg(op);
        logAboutRequests(QStringLiteral("%1 by %2 refused: no shared secret proven").arg(op, m_peer), true);
        reply(request.id, {kNotAuthenticated, why}, true);
        return;
    }
    if (op == QLatin1String("Pong")) {
        if (answersPings(request)) reply(request.id, OperationResult::ok(), false);
        else reply(request.id, {kBadRequest, QStringLiteral("Pong takes the number of a Ping sent on this session")}, false);
        return;
    }
    if (handleObserverRequest(request)) return;
    // A search does not restart the idle clock: searching again and again
    // keeps no connection, and no slot, for ever.
    if (op == QLatin1String("SearchCards")) {
        searchCards();
        reply(request.id, OperationResult::ok(), true);
        return;
    }
    if (op == QLatin1String("OpenCard")) {
        const OperationResult result = openCard(request);
        if (result.status != 0) logAboutRequests(QStringLiteral("OpenCard by %1 refused: %2").arg(m_peer, result.text), true);
        reply(request.id, result, true);
        if (result.status == 0) {
            send(Message::eventMessage(QStringLiteral("SessionStarted")));
            m_card->sendCurrentState();
        }
        return;
    }
    if (op == QLatin1String("CloseCard")) {
        release();
        reply(request.id, OperationResult::ok(), false);
        return;
    }
    using Operation = OperationResult (Card::*)(const Card::Args&);
    static const QHash<QString, Operation> modeOperations = {
        {QStringLiteral("SetMode"), &Card::setMode},
        {QStringLiteral("SetAls"), &Card::setAls},
        {QStringLiteral("SetCentreShift"), &Card::setCentreShift},
        {QStringLiteral("SetDecoderOptions"), &Card::setDecoderOptions},
        {QStringLiteral("SetInput"), &Card::setInput},
    };
    const auto operation = modeOperations.constFind(op);
    if (operation == modeOperations.cend()) {
        reply(request.id, {kBadRequest, QStringLiteral("Unknown operation %1").arg(op)}, false);
        return;
    }
    if (!m_card) {
        reply(request.id, {kNoCardOpen, QStringLiteral("%1: no card is open on this connection").arg(op)}, false);
        return;
    }
    // The reply goes first; the reports the change caused follow it.
    m_handling = true;
    const OperationResult result = (m_card->**operation)(request.args);
    m_handling = false;
    if (result.status != 0)
        logAboutRequests(QStringLiteral("Card %1: %2 refused: %3").arg(m_card->number()).arg(op, result.text), true);
    reply(request.id, result, false);
    for (const Message& event : std::exchange(m_deferred, {})) send(event);
}

void ClientConnection::searchCards()
{
    for (Card* card : m_server->cards())
        send(Message::eventMessage(QStringLiteral("CardFound"),
                                   {WireValue::i2(int16_t(card->number())),
                                    WireValue::binary(card->record().encode())}));
}

OperationResult ClientConnection::authenticate(const Message& request)
{
    if (m_challenge.isEmpty()) return OperationResult::ok();  // nothing to prove
    if (request.args.size() != 1 || request.args[0].type != cardproto::WireType::Bytes)
        return {kBadRequest, QStringLiteral("Authenticate takes one binary argument, HMAC-SHA256 of the challenge")};
    const QByteArray expected =
        QMessageAuthenticationCode::hash(m_challenge, m_server->secret(), QCryptographicHash::Sha256);
    const QByteArray& given = request.args[0].bytes;
    // Compared in constant time: how long a refusal takes tells nothing.
    unsigned char differs = given.size() == expected.size() ? 0 : 1;
    for (qsizetype i = 0; i < qMin(given.size(), expected.size()); ++i) differs |= given[i] ^ expected[i];
    if (differs) return {kNotAuthenticated, QStringLiteral("Authenticate: the shared secret does not match")};
    m_authenticated = true;
    m_challenge.clear();
    return OperationResult::ok();
}

OperationResult ClientConnection::openCard(const Message& request)
{
    if (request.args.size() != 3)
        return {kBadRequest, QStringLiteral("OpenCard takes host, port and card number")};
    const auto number = request.args[2].number();
    if (!request.args[2].isInteger() || !number)
        return {kBadRequest, QStringLiteral("OpenCard: the card number must be an integer")};
    const int cardNumber = int(*number);
    if (m_card)
        return {kCardInUse, QStringLiteral("This connection already holds card %1").arg(m_card->number())};
    Card* card = m_server->card(cardNumber);
    if (!card) return {kCardNotInstalled, QStringLiteral("Card %1 is not installed").arg(cardNumber)};
    if (!card->attach(this))
        return {kCardInUse, QStringLiteral("Card %1 is in use by another session").arg(cardNumber)};
    m_card = card;
    m_heartbeat.start(kHeartbeatMs);
    m_ping.start();
    logAboutRequests(QStringLiteral("Card %1 opened by %2").arg(cardNumber).arg(m_peer), false);
    return OperationResult::ok();
}

}  // namespace cardserver
