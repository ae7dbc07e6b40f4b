#pragma once
// The card server: its cards and the connections to them, on one listening
// socket.
#include "card/Card.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>

class QTcpServer;

namespace cardserver {

class ClientConnection;

class CardServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxCards = 8;
    // A server that ends sessions by itself gives this reason.
    static constexpr int16_t kReasonShutdown = 1;

    explicit CardServer(QObject* parent = nullptr);
    ~CardServer() override;

    void addCard(Card* card);  // takes ownership; numbers 1..8
    QList<Card*> cards() const { return m_cards.values(); }
    Card* card(int number) const { return m_cards.value(number); }

    bool listen(const QHostAddress& address, quint16 port, QString* error);
    QHostAddress address() const;
    quint16 port() const;
    int connectionCount() const { return int(m_connections.size()); }

    // Every open connection gets SessionEnded first, then the socket closes.
    void shutdown();

private:
    void accept();

    QTcpServer* m_listener;
    QMap<int, Card*> m_cards;
    QList<ClientConnection*> m_connections;
};

}  // namespace cardserver
