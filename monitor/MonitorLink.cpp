#include "MonitorLink.h"

#include "cardctl/SharedSecret.h"

#include <QTcpSocket>

namespace monitor {

using cardproto::Message;
using cardproto::WireType;
using cardproto::WireValue;

namespace {
constexpr int kAutoListenMs = 20000;
}

MonitorLink::MonitorLink(const QString& host, quint16 port, QObject* parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_host(host), m_port(port)
{
    qRegisterMetaType<monitor::CardStatus>();
    qRegisterMetaType<monitor::Measurement>();
    qRegisterMetaType<monitor::CardTuning>();
    m_socket->setReadBufferSize(4 * cardproto::kMaxLineBytes);
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_state = State::Greeting;
        m_deadline.start(kReplyMs);
        emit connecting(QStringLiteral("Waiting for the greeting of %1").arg(endpoint()));
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &MonitorLink::readLines);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_state == State::Broken || m_state == State::Idle) return;
        if (error == QAbstractSocket::ConnectionRefusedError)
            breakWith(QStringLiteral("Cannot reach card server %1: connection refused").arg(endpoint()));
        else if (error == QAbstractSocket::RemoteHostClosedError)
            breakWith(QStringLiteral("Card server %1 closed the connection").arg(endpoint()));
        else
            breakWith(QStringLiteral("Connection to card server %1: %2").arg(endpoint(), m_socket->errorString()));
    });
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_state == State::Connecting)
            breakWith(QStringLiteral("Cannot reach card server %1: no answer within %2 s").arg(endpoint()).arg(kConnectMs / 1000));
        else if (m_state == State::Greeting)
            breakWith(QStringLiteral("Card server %1 sent no greeting within %2 s").arg(endpoint()).arg(kReplyMs / 1000));
        else
            breakWith(QStringLiteral("Card server %1 did not answer within %2 s").arg(endpoint()).arg(kReplyMs / 1000));
    });
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        breakWith(QStringLiteral("Card server %1 sent nothing for %2 s").arg(endpoint()).arg(kSilenceMs / 1000));
    });
    m_autoLimit.setSingleShot(true);
    connect(&m_autoLimit, &QTimer::timeout, this, &MonitorLink::finishAuto);
}

MonitorLink::~MonitorLink()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

QString MonitorLink::endpoint() const { return m_host + QLatin1Char(':') + QString::number(m_port); }

void MonitorLink::observe(int card, int framesPerSecond)
{
    m_card = card;
    m_framesPerSecond = framesPerSecond;
    reconnect();
}

void MonitorLink::reconnect()
{
    m_socket->abort();
    m_framer = cardproto::LineFramer(cardproto::kMaxLineBytes);
    m_pending.clear();
    m_found.clear();
    m_autoRunning = false;
    m_autoLimit.stop();
    m_silence.stop();
    m_badFrames = 0;
    m_state = State::Connecting;
    emit connecting(QStringLiteral("Connecting to card server %1").arg(endpoint()));
    m_deadline.start(kConnectMs);
    m_socket->connectToHost(m_host, m_port);
}

void MonitorLink::breakWith(const QString& why)
{
    if (m_state == State::Broken) return;
    m_state = State::Broken;
    m_deadline.stop();
    m_silence.stop();
    m_autoLimit.stop();
    m_autoRunning = false;
    m_socket->abort();
    emit broken(why);
}

void MonitorLink::request(const QString& op, QList<WireValue> args)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) return;
    const qint64 id = m_nextId++;
    m_pending.insert(id, op);
    m_socket->write(Message::request(id, op, std::move(args)).encode() + '\n');
    if (!m_deadline.isActive()) m_deadline.start(kReplyMs);
}

void MonitorLink::readLines()
{
    if (m_state == State::Broken) return;
    if (!m_framer.append(m_socket->readAll())) {
        breakWith(QStringLiteral("Card server %1 broke the protocol: a line longer than %2 bytes")
                      .arg(endpoint()).arg(cardproto::kMaxLineBytes));
        return;
    }
    while (auto line = m_framer.takeLine()) {
        if (line->trimmed().isEmpty()) continue;
        QString why;
        const auto message = Message::parse(*line, &why);
        if (!message) {
            breakWith(QStringLiteral("Card server %1 broke the protocol: %2").arg(endpoint(), why));
            return;
        }
        handle(*message);
        if (m_state == State::Broken) return;
    }
}

void MonitorLink::handle(const Message& message)
{
    if (m_state == State::Observing) m_silence.start(kSilenceMs);
    switch (message.kind) {
    case Message::Kind::Greeting: {
        if (m_state != State::Greeting) return;
        m_deadline.stop();
        if (message.protocol != cardproto::kProtocolVersion) {
            breakWith(QStringLiteral("Card server %1 speaks protocol %2; this monitor speaks protocol %3")
                          .arg(endpoint()).arg(message.protocol).arg(cardproto::kProtocolVersion));
            return;
        }
        if (!message.challenge.isEmpty()) {
            const QByteArray secret = cardctl::readSharedSecret();
            if (secret.isEmpty()) {
                breakWith(QStringLiteral("Card server %1 wants its shared secret, and there is none in %2")
                              .arg(endpoint(), cardctl::sharedSecretPath()));
                return;
            }
            request(QStringLiteral("Authenticate"), {WireValue::binary(cardctl::answerChallenge(secret, message.challenge))});
        }
        if (m_card > 0) {
            startObserving();
        } else {
            m_state = State::Searching;
            emit connecting(QStringLiteral("Searching the cards of %1").arg(endpoint()));
            request(QStringLiteral("SearchCards"), {WireValue::str(m_host, true), WireValue::i4(m_port, true)});
        }
        return;
    }
    case Message::Kind::Reply: handleReply(message); return;
    case Message::Kind::Event: handleEvent(message); return;
    case Message::Kind::Request:
        breakWith(QStringLiteral("Card server %1 broke the protocol: it sent a request").arg(endpoint()));
        return;
    }
}

void MonitorLink::startObserving()
{
    m_state = State::Greeting;  // until the reply
    emit connecting(QStringLiteral("Observing card %1 of %2").arg(m_card).arg(endpoint()));
    request(QStringLiteral("ObserveCard"), {WireValue::i2(int16_t(m_card))});
    request(QStringLiteral("SetSpectrum"), {WireValue::i2(int16_t(m_framesPerSecond))});
}

void MonitorLink::chooseCard(int card)
{
    m_card = card;
    if (m_socket->state() == QAbstractSocket::ConnectedState) startObserving();
    else observe(card, m_framesPerSecond);
}

void MonitorLink::handleReply(const Message& reply)
{
    const QString op = m_pending.take(reply.id);
    if (m_pending.isEmpty()) m_deadline.stop();
    const qint64 status = reply.status.value_or(0);
    if (op == QLatin1String("Authenticate") && status != 0) {
        breakWith(QStringLiteral("Card server %1 refused the shared secret in %2: %3")
                      .arg(endpoint(), cardctl::sharedSecretPath(), reply.text));
        return;
    }
    if (op == QLatin1String("SearchCards")) {
        if (status != 0) {
            breakWith(QStringLiteral("Card server %1 refused the search: %2").arg(endpoint(), reply.text));
        } else if (m_found.isEmpty()) {
            breakWith(QStringLiteral("Card server %1 has no cards").arg(endpoint()));
        } else if (m_found.size() == 1) {
            chooseCard(m_found.first());
        } else {
            emit cardsFound(m_found);
        }
        return;
    }
    if (op == QLatin1String("ObserveCard")) {
        if (status != 0) {
            breakWith(QStringLiteral("Card server %1 would not let this monitor observe card %2: %3")
                          .arg(endpoint()).arg(m_card).arg(reply.text));
            return;
        }
        m_state = State::Observing;
        m_silence.start(kSilenceMs);
        return;
    }
    if (status != 0) {
        emit notice(QStringLiteral("%1 refused: %2").arg(op, reply.text));
        if (m_autoRunning) {
            m_autoRunning = false;
            m_autoLimit.stop();
        }
    }
}

void MonitorLink::handleEvent(const Message& event)
{
    const QString& name = event.event;
    const auto& args = event.args;
    auto number = [&](int i) { return args.value(i).number().value_or(0); };
    if (name == QLatin1String("CardFound")) {
        if (m_state == State::Searching && args.size() >= 1) m_found << int(number(0));
    } else if (name == QLatin1String("ErrorReport")) {
        const QString text = args.value(1).text;
        if (m_state != State::Observing) breakWith(QStringLiteral("Card server %1: %2").arg(endpoint(), text));
        else emit notice(text);
    } else if (name == QLatin1String("SessionEnded")) {
        breakWith(QStringLiteral("Card server %1 is stopping").arg(endpoint()));
    } else if (m_state != State::Observing) {
        return;
    } else if (name == QLatin1String(cardproto::kSpectrumEvent)) {
        QString why;
        const auto frame = cardproto::WaterfallFrame::fromArgs(args, &why);
        if (frame) emit spectrum(*frame);
        // Refused whole; said once, not ten times a second.
        else if (m_badFrames++ == 0) emit notice(QStringLiteral("Card server %1 sent a spectrum frame the monitor refuses: %2").arg(endpoint(), why));
    } else if (name == QLatin1String("ObservedCard")) {
        emit observing(int(number(0)), number(1) != 0, number(2) != 0);
    } else if (name == QLatin1String("StatusReport")) {
        emit statusReported(CardStatus{args.value(1).text, number(2), number(3), number(4) != 0});
    } else if (name == QLatin1String("FrequencyReport")) {
        emit frequencyReported(number(0), int(number(1)));
    } else if (name == QLatin1String("Tuning")) {
        emit tuningReported(CardTuning{number(0), number(1), number(2), number(3) != 0});
    } else if (name == QLatin1String("StateText")) {
        emit stateReported(args.value(0).text);
    } else if (name == QLatin1String("SignalLevel")) {
        emit levelReported(int(number(0)));
    } else if (name == QLatin1String("DataText")) {
        emit textDecoded(args.value(4).text);
    } else if (name == QLatin1String("LineSearch")) {
        const Measurement measurement{number(0) != 0, number(1), number(2), number(3), number(4) != 0, args.value(6).text};
        emit lineSearchReported(measurement);
        if (m_autoRunning && measurement.found) finishAuto();
    }
}

void MonitorLink::setCentre(double centreHz)
{
    if (!isObserving()) return;
    request(QStringLiteral("SetCentreShift"), {WireValue::i2(int16_t(std::lround(centreHz))), WireValue::i2(-1)});
}

// As the front end's Auto does it: the search listens until it has measured
// the line (or for a while), then the card takes what it measured.
void MonitorLink::startAuto()
{
    if (!isObserving() || m_autoRunning) return;
    m_autoRunning = true;
    request(QStringLiteral("SetAls"), {WireValue::i4(2)});
    m_autoLimit.start(kAutoListenMs);
}

void MonitorLink::finishAuto()
{
    if (!m_autoRunning) return;
    m_autoRunning = false;
    m_autoLimit.stop();
    request(QStringLiteral("SetAls"), {WireValue::i4(1)});
    request(QStringLiteral("SetMode"), {WireValue::str(QStringLiteral("ms")), WireValue::str(QString()), WireValue::i2(-1),
                                        WireValue::i2(-1), WireValue::i2(-1), WireValue::i2(-1), WireValue::boolean(true)});
}

}  // namespace monitor
