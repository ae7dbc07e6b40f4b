#pragma once
// One client connection: the greeting, then requests in, replies and events
// out. A connection carries one card session or one card search. Whatever a
// client sends wrong ends its own connection and nothing else.
#include "card/Card.h"
#include "protocol/LineFramer.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace cardserver {

class CardServer;

class ClientConnection : public QObject, public CardHolder, public CardObserver {
    Q_OBJECT
public:
    static constexpr int kHeartbeatMs = 5000;
    static constexpr int kKernelSendBuffer = 16 * 1024;
    static constexpr int kGoodbyeMs = 1000;  // for a connection closed to make room

    ClientConnection(QTcpSocket* socket, CardServer* server);
    ~ClientConnection() override;

    QString peer() const { return m_peer; }
    QString host() const { return m_host; }
    Card* heldCard() const { return m_card; }
    void sendEvent(const cardproto::Message& event) override;
    // Observing: spectrum frames beyond this much unsent output are dropped.
    static constexpr qint64 kFrameBacklogBytes = 32 * 1024;
    void sendFrame(const cardproto::Message& frame) override;
    int spectrumRate() const override { return m_spectrumRate; }
    // The server ends the session: SessionEnded with this reason, then close.
    void endSession(int16_t reason, int32_t detail);

    qint64 pendingOutput() const { return m_pendingCounted; }
    // Closes the connection when it has been idle or its output stalled too long.
    void checkLimits();
    void dropForOutput(const QString& why) { dropWithError(why); }

    // Fair slots: at the connection limit the connection that has gone
    // longest without a card (unproven ones first) makes room for a new one.
    bool closing() const { return m_closing; }
    bool authenticated() const { return m_authenticated; }
    qint64 msWithoutCard() const { return m_card ? -1 : m_withoutCard.elapsed(); }
    bool observing() const { return m_observed != nullptr; }
    void closeToMakeRoom(int maxConnections);

signals:
    void finished(ClientConnection* connection);

private:
    void readRequests();
    void handle(const cardproto::Message& request);
    OperationResult openCard(const cardproto::Message& request);
    void searchCards();
    OperationResult authenticate(const cardproto::Message& request);
    // ObserveCard, SetSpectrum, and what an observer may ask of its card;
    // false when the request is not an observer's.
    bool handleObserverRequest(const cardproto::Message& request);
    OperationResult observeCard(const cardproto::Message& request);
    void stopObserving();
    void countWritten(qint64 bytes);
    void send(const cardproto::Message& message);
    void reply(qint64 id, const OperationResult& result, bool hasStatus);
    void dropWithError(const QString& why);
    void release();
    void finish();
    void sendPing();
    void logAboutRequests(const QString& line, bool warning);
    bool answersPings(const cardproto::Message& request);

    QTcpSocket* m_socket;
    CardServer* m_server;
    QString m_peer;
    QString m_host;  // the peer's address: what its log lines are bounded by
    cardproto::LineFramer m_framer{cardproto::kMaxLineBytes};
    Card* m_card = nullptr;
    QTimer m_heartbeat;
    bool m_closing = false;
    bool m_finished = false;
    bool m_handling = false;  // events wait for the reply
    QList<cardproto::Message> m_deferred;
    QByteArray m_challenge;  // empty when the server has no secret
    bool m_authenticated = false;
    Card* m_observed = nullptr;
    int m_spectrumRate = 0;
    qint64 m_framesDropped = 0;
    qint64 m_pendingCounted = 0;  // this connection's share of the server's pending output
    QDeadlineTimer m_idleUntil;   // runs while the connection holds no card
    QDeadlineTimer m_stalledUntil{QDeadlineTimer::Forever};  // runs while output waits and does not move
    QElapsedTimer m_withoutCard;  // since the connection opened or last released a card
    // A holder that answers Ping proves it reads; one that stops answering
    // has stopped reading, whatever its receive buffer still takes.
    QTimer m_ping;
    qint32 m_pingsSent = 0;
    qint32 m_pingsAnswered = 0;
    bool m_answersPings = false;
    QDeadlineTimer m_pingDueBy{QDeadlineTimer::Forever};
    QElapsedTimer m_logWindow;
    int m_linesLogged = 0;
    int m_linesLeftOut = 0;
};

}  // namespace cardserver
