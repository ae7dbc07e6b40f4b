#pragma once
// A protocol client written from the contract alone, on a plain QTcpSocket,
// for testing the real server from outside.
#include "protocol/Message.h"

#include <QTcpSocket>
#include <optional>

// Waits are bounded by what they wait for, not by the machine: the defaults
// are generous, so that a loaded machine only makes a passing test slower.
constexpr int kEventWaitMs = 30000;

class RawClient {
public:
    bool connectTo(const QString& host, quint16 port);
    std::optional<cardproto::Message> greeting() const { return m_greeting; }

    void sendLine(const QByteArray& line);
    qint64 request(const QString& op, QList<cardproto::WireValue> args = {});
    // The next message within the time, or nullopt (timeout, close, garbage).
    std::optional<cardproto::Message> next(int timeoutMs = kEventWaitMs);
    // Skips events until the reply with this id; events seen are kept.
    std::optional<cardproto::Message> reply(qint64 id, int timeoutMs = kEventWaitMs);
    // Skips messages until this event.
    std::optional<cardproto::Message> event(const QString& name, int timeoutMs = kEventWaitMs);
    // DataText gathered over the time (stops early at `enough` characters).
    QString collectText(int milliseconds, int enough = 1 << 30);
    // DataText gathered until it holds `wanted` or the time is up.
    QString collectTextUntil(const QString& wanted, int timeoutMs = kEventWaitMs);
    bool waitForClose(int timeoutMs = 5000);

    QList<cardproto::Message> seen;  // every message read, in order
    bool answerPings = false;        // as the card control does: Pong for every Ping read
    QTcpSocket socket;

private:
    std::optional<cardproto::Message> m_greeting;
    QByteArray m_buffer;
    qint64 m_nextId = 0;
};

QList<cardproto::WireValue> openArgs(int card);
