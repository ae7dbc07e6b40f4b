#pragma once
// One client connection: the greeting, then requests in, replies and events
// out. A connection carries one card session or one card search. Whatever a
// client sends wrong ends its own connection and nothing else.
#include "card/Card.h"
#include "protocol/LineFramer.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace cardserver {

class CardServer;

class ClientConnection : public QObject, public CardHolder {
    Q_OBJECT
public:
    static constexpr int kHeartbeatMs = 5000;
    static constexpr qint64 kMaxPendingOutput = 4 * 1024 * 1024;

    ClientConnection(QTcpSocket* socket, CardServer* server);
    ~ClientConnection() override;

    QString peer() const { return m_peer; }
    Card* heldCard() const { return m_card; }
    void sendEvent(const cardproto::Message& event) override;
    // The server ends the session: SessionEnded with this reason, then close.
    void endSession(int16_t reason, int32_t detail);

signals:
    void finished(ClientConnection* connection);

private:
    void readRequests();
    void handle(const cardproto::Message& request);
    OperationResult openCard(const cardproto::Message& request);
    void searchCards();
    void send(const cardproto::Message& message);
    void reply(qint64 id, const OperationResult& result, bool hasStatus);
    void dropWithError(const QString& why);
    void release();
    void finish();

    QTcpSocket* m_socket;
    CardServer* m_server;
    QString m_peer;
    cardproto::LineFramer m_framer{cardproto::kMaxLineBytes};
    Card* m_card = nullptr;
    QTimer m_heartbeat;
    bool m_closing = false;
    bool m_finished = false;
    bool m_handling = false;  // events wait for the reply
    QList<cardproto::Message> m_deferred;
};

}  // namespace cardserver
