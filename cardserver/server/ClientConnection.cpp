#include "ClientConnection.h"

#include "CardServer.h"
#include "Log.h"

#include <QTcpSocket>

namespace cardserver {

using cardproto::Message;
using cardproto::WireValue;

ClientConnection::ClientConnection(QTcpSocket* socket, CardServer* server)
    : QObject(server), m_socket(socket), m_server(server)
{
    m_socket->setParent(this);
    m_peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientConnection::readRequests);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        release();
        if (!m_closing) logLine(QStringLiteral("%1 disconnected").arg(m_peer));
        m_closing = true;
        finish();
    });
    m_heartbeat.setInterval(kHeartbeatMs);
    connect(&m_heartbeat, &QTimer::timeout, this,
            [this] { send(Message::eventMessage(QStringLiteral("Heartbeat"))); });
    send(Message::greeting(int(server->cards().size())));
}

ClientConnection::~ClientConnection() { release(); }

void ClientConnection::release()
{
    if (m_card) {
        logLine(QStringLiteral("Card %1 released by %2").arg(m_card->number()).arg(m_peer));
        m_card->detach(this);
        m_card = nullptr;
    }
    m_heartbeat.stop();
}

void ClientConnection::send(const Message& message)
{
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState) return;
    if (m_socket->bytesToWrite() > kMaxPendingOutput) {
        dropWithError(QStringLiteral("it does not read what it is sent"));
        return;
    }
    m_socket->write(message.encode() + '\n');
    if (m_card) m_heartbeat.start();  // restarted: heartbeats fill silence only
}

void ClientConnection::sendEvent(const Message& event)
{
    if (m_handling) m_deferred << event;
    else send(event);
}

void ClientConnection::dropWithError(const QString& why)
{
    logLine(QStringLiteral("Closing connection from %1: %2").arg(m_peer, why));
    release();
    m_closing = true;
    m_socket->abort();
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
    if (op == QLatin1String("SearchCards")) {
        searchCards();
        reply(request.id, OperationResult::ok(), true);
        return;
    }
    if (op == QLatin1String("OpenCard")) {
        const OperationResult result = openCard(request);
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
        logLine(QStringLiteral("Card %1: %2 refused: %3").arg(m_card->number()).arg(op, result.text));
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
    m_heartbeat.start();
    logLine(QStringLiteral("Card %1 opened by %2").arg(cardNumber).arg(m_peer));
    return OperationResult::ok();
}

}  // namespace cardserver
