// The card control reading a server that says anything: a loopback server
// greets, waits for the request, sends the input and closes. Each event the
// control raises must be one the input sent, in order and with the values
// the protocol's own parser reads from it (its own failures aside), and no
// call may hang past the drop.
#include "cardctl/NetworkCardControl.h"
#include "protocol/CardRecord.h"
#include "protocol/LineFramer.h"
#include "protocol/Message.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

using cardproto::Message;
using cardproto::WireValue;

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// A loopback server on the fuzzer's own thread, made once: the control's
// waits run the event loop, so the server greets, reads the request and
// sends the input from inside them, with no thread to hand over to and back.
class LoopbackServer : public QObject {
public:
    LoopbackServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::accept);
    }
    quint16 port() const { return m_server.serverPort(); }
    void setScript(QByteArray bytes) { m_script = std::move(bytes); }
    // Nothing of one input's connection reaches the next.
    void reset()
    {
        for (QTcpSocket* socket : std::exchange(m_sockets, {})) {
            socket->abort();
            delete socket;
        }
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            m_sockets << socket;
            socket->write(R"({"hello":"fuzz","protocol":1,"cards":8})" "\n");
            socket->flush();
            // The request first: closing with it unread would reset the
            // connection and throw away what the control has not read yet.
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) return;
                socket->disconnect(this);
                socket->write(m_script);
                socket->flush();
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer m_server;
    QList<QTcpSocket*> m_sockets;
    QByteArray m_script;
};

// The events of the input, as the protocol's parser reads them.
QList<Message> eventsIn(const QByteArray& script)
{
    cardproto::LineFramer framer(cardproto::kMaxLineBytes);
    QList<Message> events;
    if (!framer.append(script)) return events;
    while (const auto line = framer.takeLine()) {
        QString error;
        const auto message = Message::parse(*line, &error);
        if (message && message->kind == Message::Kind::Event) events << *message;
    }
    return events;
}

class EventCheck {
public:
    explicit EventCheck(QList<Message> sent) : m_sent(std::move(sent)) {}
    // The next event sent with this name and these values, or abort.
    void raised(const QString& name, const QList<WireValue>& values)
    {
        while (m_next < m_sent.size()) {
            const Message& sent = m_sent.at(m_next++);
            if (sent.event == name && matches(sent.args, values)) return;
        }
        std::fprintf(stderr, "raised %s that the server did not send\n", qPrintable(name));
        std::abort();
    }

private:
    // The control reads i2/i4 by range and r8 from any number: compare the
    // numbers, and the leading arguments only (more may follow).
    static bool matches(const QList<WireValue>& sent, const QList<WireValue>& raised)
    {
        if (sent.size() < raised.size()) return false;
        for (qsizetype i = 0; i < raised.size(); ++i) {
            const WireValue& a = sent.at(i);
            const WireValue& b = raised.at(i);
            if (b.type == cardproto::WireType::Str || b.type == cardproto::WireType::Bytes) {
                if (a.type != b.type || a.text != b.text || a.bytes != b.bytes) return false;
            } else if (a.number() != b.number()) {
                return false;
            }
        }
        return true;
    }
    QList<Message> m_sent;
    qsizetype m_next = 0;
};

void watch(cardctl::NetworkCardControl& control, EventCheck& check)
{
    using cardctl::CardControl;
    QObject::connect(&control, &CardControl::CardFound, [&](int16_t card, const QByteArray& record) {
        check.raised(QStringLiteral("CardFound"), {WireValue::i2(card), WireValue::binary(record)});
    });
    QObject::connect(&control, &CardControl::SessionStarted,
                     [&] { check.raised(QStringLiteral("SessionStarted"), {}); });
    QObject::connect(&control, &CardControl::SessionEnded, [&](int16_t reason, int32_t detail) {
        if (reason == 0 && detail < 0) return;  // the control's own: the connection broke
        check.raised(QStringLiteral("SessionEnded"), {WireValue::i2(reason), WireValue::i4(detail)});
    });
    QObject::connect(&control, &CardControl::ErrorReport, [&](int32_t code, const QString& text) {
        if (code < 0) return;  // the control's own failure
        check.raised(QStringLiteral("ErrorReport"), {WireValue::i4(code), WireValue::str(text)});
    });
    QObject::connect(&control, &CardControl::StateText,
                     [&](const QString& text) { check.raised(QStringLiteral("StateText"), {WireValue::str(text)}); });
    QObject::connect(&control, &CardControl::StatusReport,
                     [&](int16_t card, const QString& mode, double speed, double shift, int16_t polarity, int32_t flags) {
                         check.raised(QStringLiteral("StatusReport"),
                                      {WireValue::i2(card), WireValue::str(mode), WireValue::r8(speed),
                                       WireValue::r8(shift), WireValue::i2(polarity), WireValue::i4(flags)});
                     });
    QObject::connect(&control, &CardControl::FrequencyReport, [&](int16_t centre, int16_t level) {
        check.raised(QStringLiteral("FrequencyReport"), {WireValue::i2(centre), WireValue::i2(level)});
    });
    QObject::connect(&control, &CardControl::DataText,
                     [&](int16_t card, int16_t input, int32_t sequence, int32_t flags, const QString& text) {
                         check.raised(QStringLiteral("DataText"),
                                      {WireValue::i2(card), WireValue::i2(input), WireValue::i4(sequence),
                                       WireValue::i4(flags), WireValue::str(text)});
                     });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static LoopbackServer server;
    if (size == 0) return 0;
    const bool search = data[0] & 1;
    const QByteArray script(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    server.setScript(script);

    cardctl::NetworkCardControl control;
    // The server closes after the input: every wait ends with the drop, and
    // one that waits for its time limit instead is a hang worth a crash
    // report. The limits are far beyond what a starved machine needs to see
    // a drop, so that only a real hang trips the check.
    control.setTimeLimits({30000, 30000, 30000, 30000, 30000, 30000});
    EventCheck check(eventsIn(script));
    watch(control, check);

    const auto host = platform::Variant::str(QStringLiteral("127.0.0.1"));
    const auto port = platform::Variant::i4(server.port());
    const QDeadlineTimer deadline(20000);
    if (search) {
        control.SearchCards(host, port);
    } else if (control.OpenCard(host, port, platform::Variant::i2(1)) == 0) {
        control.CloseCard();
    }
    require(!deadline.hasExpired(), "the calls end when the server closes");
    server.reset();
    return 0;
}
