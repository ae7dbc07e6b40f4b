#include "CardServer.h"

#include "ClientConnection.h"
#include "Log.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>

#include <tuple>
#include <sys/resource.h>

namespace cardserver {

namespace {

constexpr int kAcceptPauseMs = 500;
constexpr int kSweepMs = 250;
constexpr int kRefusalGoodbyeMs = 1000;

int openDescriptors() { return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size()); }

// Connections the process can hold beside what it has open already.
int descriptorRoom()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return INT_MAX;
    return int(qMin<rlim_t>(limit.rlim_cur, INT_MAX)) - openDescriptors() - CardServer::kReservedDescriptors;
}

}  // namespace

CardServer::CardServer(QObject* parent) : QObject(parent), m_listener(new QTcpServer(this))
{
    connect(m_listener, &QTcpServer::newConnection, this, &CardServer::accept);
    // Out of descriptors, accept() fails at once every time it is tried: stop
    // watching the listening socket for a while and go on serving the others.
    connect(m_listener, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        logWarning(QStringLiteral("Cannot accept a connection: %1; pausing for %2 ms")
                    .arg(m_listener->errorString())
                    .arg(kAcceptPauseMs));
        pauseAccepting();
    });
    m_resumeAccepting.setSingleShot(true);
    m_resumeAccepting.setInterval(kAcceptPauseMs);
    connect(&m_resumeAccepting, &QTimer::timeout, this, [this] {
        if (!m_stopping) m_listener->resumeAccepting();
    });
    m_sweep.setInterval(kSweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &CardServer::checkConnections);
    setLimits(m_limits);
}

CardServer::~CardServer()
{
    // Connections first, those saying goodbye included: they detach from
    // the cards they hold.
    m_connections.clear();
    qDeleteAll(findChildren<ClientConnection*>(Qt::FindDirectChildrenOnly));
}

void CardServer::addCard(Card* card)
{
    Q_ASSERT(card->number() >= 1 && card->number() <= kMaxCards && !m_cards.contains(card->number()));
    card->setParent(this);
    m_cards.insert(card->number(), card);
}

void CardServer::setLimits(const ServerLimits& limits)
{
    m_limits = limits;
    m_maxConnections = qMax(1, qMin(limits.maxConnections, descriptorRoom() + connectionCount()));
}

bool CardServer::listen(const QHostAddress& address, quint16 port, QString* error)
{
    if (!m_listener->listen(address, port)) {
        *error = m_listener->errorString();
        return false;
    }
    setLimits(m_limits);  // the listening socket took a descriptor
    m_sweep.start();
    return true;
}

QHostAddress CardServer::address() const { return m_listener->serverAddress(); }
quint16 CardServer::port() const { return m_listener->serverPort(); }

void CardServer::pauseAccepting()
{
    m_listener->pauseAccepting();
    m_resumeAccepting.start();
}

void CardServer::accept()
{
    while (QTcpSocket* socket = m_listener->nextPendingConnection()) {
        if (connectionCount() >= m_maxConnections && !makeRoom()) {
            refuse(socket);
            continue;
        }
        auto* connection = new ClientConnection(socket, this);
        m_connections << connection;
        m_clientLog.line(connection->host(), QStringLiteral("Connection from %1").arg(connection->peer()));
        connect(connection, &ClientConnection::finished, this, [this](ClientConnection* done) {
            m_connections.removeOne(done);
            done->deleteLater();
        });
    }
}

// Sessions keep their slots; of the others, one that has not proven the
// secret goes first, then one that watches no card, then the one that has
// gone longest without a card. A crowd that connects and sits, searches
// again and again, or watches, cannot keep a new client out: the new client
// takes its slot and opens a card.
bool CardServer::makeRoom()
{
    ClientConnection* oldest = nullptr;
    const auto rank = [](const ClientConnection* c) {
        return std::tuple(!c->authenticated(), !c->observing(), c->msWithoutCard());
    };
    for (ClientConnection* connection : std::as_const(m_connections))
        if (!connection->closing() && connection->msWithoutCard() >= 0 && (!oldest || rank(connection) > rank(oldest)))
            oldest = connection;
    if (!oldest) return false;
    m_connections.removeOne(oldest);  // its slot is the new client's; it goes once its goodbye has left
    oldest->closeToMakeRoom(m_maxConnections);
    return true;
}

void CardServer::refuse(QTcpSocket* socket)
{
    const QString peer = QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
    const QString why = QStringLiteral("Card server is at its limit of %1 connections; try again later")
                            .arg(m_maxConnections);
    m_clientLog.line(socket->peerAddress().toString(),
                     QStringLiteral("Refused connection from %1: at the limit of %2 connections").arg(peer).arg(m_maxConnections));
    // A refused client learns why in the protocol's own words, unless so many
    // are being refused that their goodbyes would use the spare descriptors.
    if (m_refusing >= kReservedDescriptors / 2) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_refusing;
    socket->write(cardproto::Message::greeting(int(m_cards.size())).encode() + '\n');
    socket->write(cardproto::Message::eventMessage(QStringLiteral("ErrorReport"),
                                                   {cardproto::WireValue::i4(kServerBusy),
                                                    cardproto::WireValue::str(why)})
                      .encode()
                  + '\n');
    auto* goodbye = new QTimer(socket);
    goodbye->setSingleShot(true);
    connect(goodbye, &QTimer::timeout, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this] { --m_refusing; });
    goodbye->start(kRefusalGoodbyeMs);
    socket->disconnectFromHost();
}

void CardServer::checkConnections()
{
    const auto connections = m_connections;
    for (ClientConnection* connection : connections) connection->checkLimits();
    if (m_pendingOutput <= m_limits.maxPendingTotal) return;
    for (ClientConnection* connection : connections)
        if (connection->pendingOutput() > ServerLimits::kFairPendingBytes)
            connection->dropForOutput(QStringLiteral("the server's output limit is reached and it does not read"));
}

void CardServer::shutdown()
{
    m_stopping = true;
    m_sweep.stop();
    m_listener->close();
    const auto connections = m_connections;
    for (ClientConnection* connection : connections) connection->endSession(kReasonShutdown, 0);
    logLine(QStringLiteral("Stopped; %1 connection(s) told").arg(connections.size()));
}

}  // namespace cardserver
