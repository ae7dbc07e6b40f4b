#pragma once
// One TCP connection to a card server: connect, read the greeting, then send
// requests and read messages one by one. A link that breaks (drop, garbage,
// oversized line) keeps the status and text that say why.
#include "protocol/LineFramer.h"
#include "protocol/Message.h"

#include <QObject>
#include <QString>
#include <functional>

class QTcpSocket;

namespace cardctl {

// Well above the longest line the protocol allows.
constexpr qint64 kReadBufferBytes = 1 << 20;

// Makes the connection for host:port instead of TCP: the descriptor of a
// connected stream socket (taken over by the link), or -1 when refused.
// In-process peers (a socket pair) serve the control without a network.
using Connector = std::function<qintptr(const QString& host, quint16 port)>;

class ServerLink : public QObject {
    Q_OBJECT
public:
    ServerLink(const QString& host, quint16 port, Connector connector = {}, QObject* parent = nullptr);
    ~ServerLink() override;

    // Connects and checks the greeting, each within its limit and both
    // within totalMs. 0, or a ControlStatus with *text.
    int32_t open(int connectMs, int greetingMs, int totalMs, QString* text);

    enum class Read { Message, Nothing, Broken };
    // The next complete message, if the socket holds one.
    Read next(cardproto::Message* message);
    bool hasBufferedLine() const { return m_framer.hasLine(); }
    // A message, data or a drop waits to be read.
    bool hasSomethingToRead() const;
    void send(const cardproto::Message& message);
    // Returns when data arrives, the connection drops or the time is up;
    // windows are repainted meanwhile, user input waits.
    void waitForData(int milliseconds);

    void breakWith(int32_t status, const QString& text);
    bool isBroken() const { return m_status != 0; }
    int32_t status() const { return m_status; }
    QString statusText() const { return m_text; }
    // Set once the owner has acted on the break, so that it acts only once.
    bool breakReported = false;
    // A share of its messages waits for the event loop's next turn.
    bool drainScheduled = false;

    QString endpoint() const;  // "host:port", as the texts name it
    void close();

signals:
    void dataArrived();
    void dropped();

private:
    void waitForSocket(int milliseconds);
    // Answers a server's challenge with the shared secret, if there is one.
    int32_t authenticate(const QByteArray& challenge, int replyMs, QString* text);
    bool connectOverTcp(int connectMs, QString* text, int32_t* status);

    Connector m_connector;

    QTcpSocket* m_socket;
    QString m_host;
    quint16 m_port;
    cardproto::LineFramer m_framer{cardproto::kMaxLineBytes};
    int32_t m_status = 0;
    QString m_text;
};

QString secondsText(int milliseconds);  // "10 s", "0.2 s"

}  // namespace cardctl
