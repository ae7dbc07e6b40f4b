#include "CardServer.h"

#include "ClientConnection.h"
#include "Log.h"

#include <QTcpServer>
#include <QTcpSocket>

namespace cardserver {

CardServer::CardServer(QObject* parent) : QObject(parent), m_listener(new QTcpServer(this))
{
    connect(m_listener, &QTcpServer::newConnection, this, &CardServer::accept);
}

CardServer::~CardServer()
{
    // Connections first: they detach from the cards they hold.
    qDeleteAll(m_connections);
    m_connections.clear();
}

void CardServer::addCard(Card* card)
{
    Q_ASSERT(card->number() >= 1 && card->number() <= kMaxCards && !m_cards.contains(card->number()));
    card->setParent(this);
    m_cards.insert(card->number(), card);
}

bool CardServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (m_listener->listen(address, port)) return true;
    *error = m_listener->errorString();
    return false;
}

QHostAddress CardServer::address() const { return m_listener->serverAddress(); }
quint16 CardServer::port() const { return m_listener->serverPort(); }

void CardServer::accept()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        auto* connection = new ClientConnection(socket, this);
        m_connections << connection;
        logLine(QStringLiteral("Connection from %1").arg(connection->peer()));
        connect(connection, &ClientConnection::finished, this, [this](ClientConnection* done) {
            m_connections.removeOne(done);
            done->deleteLater();
        });
    }
}

void CardServer::shutdown()
{
    m_listener->close();
    const auto connections = m_connections;
    for (ClientConnection* connection : connections) connection->endSession(kReasonShutdown, 0);
    logLine(QStringLiteral("Stopped; %1 connection(s) told").arg(connections.size()));
}

}  // namespace cardserver
