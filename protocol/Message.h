#pragma once
// The protocol's messages, one JSON object per line: the greeting, requests,
// replies and events. Encoding gives the line without its LF; parsing
// checks the shape strictly and says what is wrong.
#include "WireValue.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace cardproto {

inline constexpr int kProtocolVersion = 1;
inline constexpr quint16 kDefaultPort = 33234;
inline constexpr int kMaxLineBytes = 65536;
inline constexpr char kServerName[] = "pluvane-cardserver";

struct Message {
    enum class Kind { Greeting, Request, Reply, Event };
    Kind kind = Kind::Event;

    // Greeting
    QString serverName;
    int protocol = 0;
    int cards = 0;
    // A server with a shared secret sends random bytes that the client
    // answers with Authenticate(HMAC-SHA256(secret, challenge)); empty otherwise.
    QByteArray challenge;
    // Request and reply
    qint64 id = 0;
    QString operation;  // request
    // Reply: the status as a whole number of any size (the reader decides what
    // a status outside 16 bits means), absent for operations without a result.
    std::optional<qint64> status;
    QString text;
    // Event
    QString event;
    // Request and event
    QList<WireValue> args;

    static Message greeting(int cards);
    static Message request(qint64 id, const QString& operation, QList<WireValue> args);
    static Message reply(qint64 id, std::optional<int> status = std::nullopt,
                         const QString& text = {});
    static Message eventMessage(const QString& name, QList<WireValue> args = {});

    QByteArray encode() const;  // one line, without the LF
    static std::optional<Message> parse(const QByteArray& line, QString* error);
};

}  // namespace cardproto
