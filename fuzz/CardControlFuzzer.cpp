// The card control reading a server that says anything: a server at the
// other end of a socket pair greets, waits for the request, sends the input and closes. Each event the
// control raises must be one the input sent, in order and with the values
// the protocol's own parser reads from it (its own failures aside), and no
// call may hang past the drop.
#include "cardctl/NetworkCardControl.h"
#include "protocol/CardRecord.h"
#include "protocol/LineFramer.h"
#include "protocol/Message.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using cardproto::Message;
using cardproto::WireValue;

void require(bool condition, const char* what)
{
    if (condition) return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// The server's end of each connection, on the fuzzer's own thread: the
// control's waits run the event loop, so the server greets, reads the
// request and sends the input from inside them. Most connections are a
// socket pair (a loopback TCP connection per input cost more than the
// control's own work); a few go over TCP, so that the control's way of
// connecting is fuzzed too.
class ScriptServer : public QObject {
public:
    ScriptServer() : m_listener(*this) { m_listener.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return m_listener.serverPort(); }
    void setScript(QByteArray bytes) { m_script = std::move(bytes); }
    // The control's end of a new connection, greeted.
    qintptr connectControl()
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return -1;
        serve(ends[0]);
        return ends[1];
    }
    void serve(int fd)
    {
        Peer& peer = m_peers.emplace_back();
        peer.fd = fd;
        writeAll(peer.fd, R"({"hello":"fuzz","protocol":1,"cards":8})" "\n");
        peer.notifier = std::make_unique<QSocketNotifier>(peer.fd, QSocketNotifier::Read);
        QSocketNotifier* notifier = peer.notifier.get();
        // The request first: the input follows it, then the end of the stream.
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier, fd] {
            char request[4096];
            const ssize_t got = ::recv(fd, request, sizeof request, MSG_DONTWAIT);
            if (got > 0 && !std::memchr(request, '\n', size_t(got))) return;
            notifier->setEnabled(false);
            writeAll(fd, m_script);
            ::shutdown(fd, SHUT_WR);
        });
    }
    // Nothing of one input's connections reaches the next.
    void reset()
    {
        for (Peer& peer : m_peers) {
            peer.notifier.reset();
            ::close(peer.fd);
        }
        m_peers.clear();
    }

private:
    class Listener : public QTcpServer {
    public:
        explicit Listener(ScriptServer& owner) : m_owner(owner) {}

    protected:
        void incomingConnection(qintptr fd) override { m_owner.serve(int(fd)); }

    private:
        ScriptServer& m_owner;
    };
    struct Peer {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
    };
    // Inputs are far smaller than a socket's buffer: a write never waits.
    static void writeAll(int fd, const QByteArray& bytes)
    {
        for (qsizetype at = 0; at < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.constData() + at, size_t(bytes.size() - at), MSG_NOSIGNAL);
            if (n <= 0) return;
            at += n;
        }
    }

    Listener m_listener;
    std::vector<Peer> m_peers;
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
    static ScriptServer server;
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
    // One input in 32 connects over TCP, chosen by the whole input (the
    // seeds' first bytes are alike) so that an input always runs the same way.
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    const bool overTcp = hash % 32 == 0;
    if (!overTcp) control.setConnector([](const QString&, quint16) { return server.connectControl(); });
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
