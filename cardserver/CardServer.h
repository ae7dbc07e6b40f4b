#pragma once
// The card server: its cards and the connections to them, on one listening
// socket.
#include "ClientLog.h"
#include "ServerLimits.h"
#include "card/Card.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

class QTcpServer;
class QTcpSocket;

namespace cardserver {

class ClientConnection;

class CardServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxCards = 8;
    // A server that ends sessions by itself gives this reason.
    static constexpr int16_t kReasonShutdown = 1;
    // Descriptors kept free of connections, for card sources and for telling
    // a refused client why.
    static constexpr int kReservedDescriptors = 32;

    explicit CardServer(QObject* parent = nullptr);
    ~CardServer() override;

    void addCard(Card* card);  // takes ownership; numbers 1..8
    QList<Card*> cards() const { return m_cards.values(); }
    Card* card(int number) const { return m_cards.value(number); }

    void setLimits(const ServerLimits& limits);
    const ServerLimits& limits() const { return m_limits; }
    // Where lines about what a client does are written, bounded per host.
    ClientLog& clientLog() { return m_clientLog; }
    // The connection limit after the process's descriptor limit has had its say.
    int effectiveMaxConnections() const { return m_maxConnections; }
    // Non-empty: clients prove they know it before they may search or open a card.
    void setSecret(const QByteArray& secret) { m_secret = secret; }
    QByteArray secret() const { return m_secret; }
    // Observers may retune a card (centre, shift, mode, line search), not only watch it.
    void setObserversMayTune(bool may) { m_observersMayTune = may; }
    bool observersMayTune() const { return m_observersMayTune; }

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const;
    quint16 port() const;
    int connectionCount() const { return int(m_connections.size()); }

    // Output written to the sockets and not yet taken by the system, over all connections.
    qint64 pendingOutput() const { return m_pendingOutput; }
    void addPendingOutput(qint64 bytes) { m_pendingOutput += bytes; }

    // Every open connection gets SessionEnded first, then the socket closes.
    void shutdown();

private:
    void accept();
    bool makeRoom();
    void refuse(QTcpSocket* socket);
    void pauseAccepting();
    void checkConnections();

    QTcpServer* m_listener;
    QMap<int, Card*> m_cards;
    QList<ClientConnection*> m_connections;
    ServerLimits m_limits;
    ClientLog m_clientLog;
    int m_maxConnections = 0;
    QByteArray m_secret;
    bool m_observersMayTune = false;
    qint64 m_pendingOutput = 0;
    int m_refusing = 0;  // refused sockets still saying goodbye
    QTimer m_resumeAccepting;
    QTimer m_sweep;
    bool m_stopping = false;
};

}  // namespace cardserver
