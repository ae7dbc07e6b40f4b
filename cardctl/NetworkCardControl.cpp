#include "NetworkCardControl.h"

#include "ArgumentCodec.h"
#include "ServerLink.h"
#include "platform/Rounding.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>

namespace cardctl {

using cardproto::Message;

namespace {
// No host configured yet means the card server on this machine, the
// default the configuration dialog offers too.
QString serverHost(const Variant& host)
{
    const QString name = host.toStr().trimmed();
    return name.isEmpty() ? QStringLiteral("127.0.0.1") : name;
}
}  // namespace

NetworkCardControl::NetworkCardControl(QObject* parent) : CardControl(parent)
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (!m_session || !m_sessionOpen) return;
        const Link link = m_session;
        link->breakWith(kServerSilent, QStringLiteral("Card server %1 sent nothing for %2")
                                           .arg(link->endpoint(), secondsText(m_limits.silenceMs)));
        linkBroken(link);
    });
    m_handlerPoll.setInterval(kHandlerPollMs);
    connect(&m_handlerPoll, &QTimer::timeout, this, [this] {
        for (const Link& link : {m_session, m_search})
            if (link && link->hasSomethingToRead()) drainSome(link);
    });
}

NetworkCardControl::~NetworkCardControl()
{
    // The server takes a dropped connection as a close; no reply is awaited.
    if (m_session && m_sessionOpen)
        m_session->send(Message::request(++m_nextId, QStringLiteral("CloseCard"), {}));
    dropSession();
}

int32_t NetworkCardControl::fail(int32_t status, const QString& text)
{
    m_errorTexts[status] = text;
    return status;
}

std::optional<quint16> NetworkCardControl::portFrom(const Variant& port, const QString& host,
                                                    QString* text) const
{
    const auto number = platform::toInt32(port.toR8());
    if (number && *number >= 1 && *number <= 65535) return quint16(*number);
    *text = QStringLiteral("Cannot reach card server %1:%2: not a valid port")
                .arg(host, number ? QString::number(*number) : port.toStr());
    return std::nullopt;
}

NetworkCardControl::Link NetworkCardControl::connectLink(const QString& host, quint16 port,
                                                         int32_t* status, int budgetMs)
{
    // The last owner can let go of a link from inside one of its socket's
    // signals (a drop seen while draining); deleting the socket there would
    // pull it out from under Qt, so the link goes when control is back in
    // the event loop.
    auto link = std::shared_ptr<ServerLink>(new ServerLink(host, port, m_connector), [](ServerLink* dead) { dead->deleteLater(); });
    QString text;
    *status = link->open(std::min(m_limits.connectMs, budgetMs), std::min(m_limits.greetingMs, budgetMs), budgetMs,
                         &text);
    if (*status != 0) {
        fail(*status, text);
        return {};
    }
    ServerLink* raw = link.get();
    std::weak_ptr<ServerLink> weak = link;
    // From the event loop a link hands over a bounded number of messages
    // per turn, so that a flood of text cannot starve the window.
    auto drainWeak = [this, weak] {
        if (auto alive = weak.lock()) drainSome(alive);
    };
    connect(raw, &ServerLink::dataArrived, this, drainWeak);
    connect(raw, &ServerLink::dropped, this, drainWeak);
    return link;
}

NetworkCardControl::Outcome NetworkCardControl::call(const Link& link, const QString& operation,
                                                     const QList<Variant>& args, int limitMs)
{
    const qint64 id = ++m_nextId;
    link->send(Message::request(id, operation, toWire(args)));
    m_awaited.append(id);
    QDeadlineTimer deadline(limitMs);
    Outcome outcome;
    for (;;) {
        // A share at a time: a server that floods events while a call waits
        // must not hold the window's timers and repaints back until it stops.
        const bool drained = drain(link, kMessagesPerTurn);
        if (m_replies.contains(id)) {
            outcome = m_replies.take(id);
            break;
        }
        if (link->isBroken()) {
            outcome.status = link->status();
            outcome.text = link->statusText();
            break;
        }
        if (!isLive(link)) {  // the session ended while this call waited
            outcome.status = kConnectionLost;
            outcome.text = QStringLiteral("Card server %1 ended the session").arg(link->endpoint());
            break;
        }
        if (deadline.hasExpired()) {
            outcome.status = kReplyTimeout;
            outcome.text = QStringLiteral("Card server %1 did not answer %2 within %3")
                               .arg(link->endpoint(), operation, secondsText(limitMs));
            break;
        }
        if (drained)
            link->waitForData(int(deadline.remainingTime()));
        else
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    m_awaited.removeOne(id);
    // Messages read past the reply wait for the event loop, so that they are
    // raised after the call has returned, in order.
    if (link->hasBufferedLine()) {
        std::weak_ptr<ServerLink> weak = link;
        QTimer::singleShot(0, this, [this, weak] {
            if (auto alive = weak.lock()) drainSome(alive);
        });
    }
    return outcome;
}

int32_t NetworkCardControl::resultStatus(const Link& link, const QString& operation,
                                         const Outcome& outcome)
{
    if (outcome.status != 0) return fail(outcome.status, outcome.text);
    if (!outcome.replyStatus)
        return fail(kProtocolError, QStringLiteral("Card server %1 broke the protocol: %2 "
                                                   "reply without a status")
                                        .arg(link->endpoint(), operation));
    const qint64 status = *outcome.replyStatus;
    if (status < INT16_MIN || status > INT16_MAX) {
        // Narrowed to 16 bits it could read as success (65536 -> 0).
        return fail(kStatusOutOfRange,
                    QStringLiteral("Card server %1 answered %2 with status %3, outside the 16-bit "
                                   "range%4")
                        .arg(link->endpoint(), operation, QString::number(status),
                             outcome.replyText.isEmpty() ? QString()
                                                         : QStringLiteral(": ") + outcome.replyText));
    }
    if (status != 0) {
        QString text = outcome.replyText;
        if (text.isEmpty())
            text = QStringLiteral("Card server %1 refused %2 with status %3")
                       .arg(link->endpoint(), operation)
                       .arg(status);
        return fail(int32_t(status), text);
    }
    return 0;
}

NetworkCardControl::Link NetworkCardControl::connectTo(const Variant& host, const Variant& port, int32_t* status,
                                                       int budgetMs)
{
    const QString hostName = serverHost(host);
    QString text;
    const auto portNumber = portFrom(port, hostName, &text);
    if (!portNumber) {
        *status = fail(kCannotConnect, text);
        return {};
    }
    return connectLink(hostName, *portNumber, status, budgetMs);
}

int32_t NetworkCardControl::SearchCards(const Variant& host, const Variant& port)
{
    int32_t status = 0;
    const Link link = connectTo(host, port, &status, m_limits.connectMs + m_limits.greetingMs);
    if (!link) return status;
    m_search = link;
    const Outcome outcome = call(link, QStringLiteral("SearchCards"), {host, port}, m_limits.searchMs);
    status = resultStatus(link, QStringLiteral("SearchCards"), outcome);
    if (m_search == link) m_search.reset();
    link->close();
    return status;
}

int32_t NetworkCardControl::OpenCard(const Variant& host, const Variant& port, const Variant& card)
{
    if (m_session) CloseCard();
    int32_t status = 0;
    const QDeadlineTimer press(m_limits.openMs);
    const Link link = connectTo(host, port, &status, m_limits.openMs);
    if (!link) return status;
    m_session = link;
    const int replyMs = int(std::min<qint64>(m_limits.replyMs, std::max<qint64>(press.remainingTime(), 1)));
    Outcome outcome = call(link, QStringLiteral("OpenCard"), {host, port, card}, replyMs);
    // What was left of the press for the reply is no limit the user set:
    // the text names the whole wait.
    if (outcome.status == kReplyTimeout && replyMs < m_limits.replyMs)
        outcome.text = QStringLiteral("Card server %1 did not answer OpenCard within %2 of pressing Connect")
                           .arg(link->endpoint(), secondsText(m_limits.openMs));
    status = resultStatus(link, QStringLiteral("OpenCard"), outcome);
    if (status != 0) {
        if (m_session == link) dropSession();
        return status;
    }
    if (m_session != link) {  // an event raised during the call ended it already
        return fail(kConnectionLost,
                    QStringLiteral("Connection to card server %1 lost").arg(link->endpoint()));
    }
    m_sessionOpen = true;
    m_silence.start(m_limits.silenceMs);
    return 0;
}

void NetworkCardControl::CloseCard()
{
    if (!m_session) return;
    const Link link = m_session;
    m_sessionOpen = false;  // a close asked for here raises no SessionEnded
    m_silence.stop();
    call(link, QStringLiteral("CloseCard"), {}, m_limits.replyMs);
    if (m_session == link) dropSession();
}

void NetworkCardControl::dropSession()
{
    m_sessionOpen = false;
    m_silence.stop();
    if (m_session) {
        m_session->close();
        m_session.reset();
    }
}

QString NetworkCardControl::GetErrorText(const Variant& status)
{
    const int32_t key = status.toI4();
    if (const auto it = m_errorTexts.constFind(key); it != m_errorTexts.cend()) return *it;
    return key == 0 ? QString() : QStringLiteral("No failure with status %1 is known").arg(key);
}

void NetworkCardControl::sessionOperation(const QString& operation, const QList<Variant>& args)
{
    if (!m_session || !m_sessionOpen) {
        const QString text = QStringLiteral("%1: no card session is open").arg(operation);
        emit ErrorReport(fail(kNoSession, text), text);
        return;
    }
    const Link link = m_session;
    const Outcome outcome = call(link, operation, args, m_limits.replyMs);
    if (outcome.status == kConnectionLost || outcome.status == kProtocolError
        || outcome.status == kServerSilent) {
        fail(outcome.status, outcome.text);  // SessionEnded has told the window
        return;
    }
    if (outcome.status != 0) {
        emit ErrorReport(fail(outcome.status, outcome.text), outcome.text);
        return;
    }
    if (outcome.replyStatus && *outcome.replyStatus != 0) {
        const int32_t status = resultStatus(link, operation, outcome);
        emit ErrorReport(status, m_errorTexts.value(status));
    }
}

void NetworkCardControl::SetDecoderOptions(const Variant& a1, const Variant& a2, const Variant& a3,
                                           const Variant& a4)
{
    sessionOperation(QStringLiteral("SetDecoderOptions"), {a1, a2, a3, a4});
}

void NetworkCardControl::SetInput(const Variant& input, const Variant& translationMode,
                                  const Variant& ifFrequency, const Variant& a4)
{
    sessionOperation(QStringLiteral("SetInput"), {input, translationMode, ifFrequency, a4});
}

void NetworkCardControl::SetAls(const Variant& command)
{
    sessionOperation(QStringLiteral("SetAls"), {command});
}

void NetworkCardControl::SetMode(const Variant& a1, const Variant& modeName, const Variant& speed,
                                 const Variant& shift, const Variant& polarity, const Variant& a6,
                                 const Variant& adoptMeasured)
{
    sessionOperation(QStringLiteral("SetMode"),
                     {a1, modeName, speed, shift, polarity, a6, adoptMeasured});
}

void NetworkCardControl::SetCentreShift(const Variant& centre, const Variant& shift)
{
    sessionOperation(QStringLiteral("SetCentreShift"), {centre, shift});
}

void NetworkCardControl::drainSome(const Link& link)
{
    // Handlers may wait (pumped waits) with the socket's own signal still on
    // the stack: what arrives meanwhile is handed over by the poll, in order.
    if (m_handlersRunning++ == 0) m_handlerPoll.start();
    const bool done = drain(link, kMessagesPerTurn);
    if (--m_handlersRunning == 0) m_handlerPoll.stop();
    if (done || link->drainScheduled) return;
    // A timer rather than a posted event: posted events go before timers,
    // and the window's own timers and input must get their turn. One at a
    // time per link: a chain started at every read would multiply the share.
    link->drainScheduled = true;
    std::weak_ptr<ServerLink> weak = link;
    QTimer::singleShot(1, Qt::PreciseTimer, this, [this, weak] {
        if (auto alive = weak.lock()) {
            alive->drainScheduled = false;
            drainSome(alive);
        }
    });
}

bool NetworkCardControl::drain(const Link& link, int budget)
{
    for (; budget > 0; --budget) {
        if (!isLive(link)) return true;
        // Whatever follows the awaited reply waits until its call returns.
        if (!m_awaited.isEmpty() && m_replies.contains(m_awaited.last())) return true;
        Message message;
        const auto read = link->next(&message);
        if (read == ServerLink::Read::Nothing) return true;
        if (read == ServerLink::Read::Broken) {
            linkBroken(link);
            return true;
        }
        if (link == m_session && m_sessionOpen) m_silence.start(m_limits.silenceMs);
        if (message.kind == Message::Kind::Reply) {
            if (!m_awaited.contains(message.id)) continue;  // the call gave up on it
            m_replies.insert(message.id, Outcome{0, {}, message.status, message.text});
            if (message.id == m_awaited.last()) return true;
            continue;
        }
        if (message.kind != Message::Kind::Event) {
            link->breakWith(kProtocolError,
                            QStringLiteral("Card server %1 broke the protocol: unexpected %2")
                                .arg(link->endpoint(),
                                     message.kind == Message::Kind::Request ? "request" : "greeting"));
            linkBroken(link);
            return true;
        }
        if (!dispatchEvent(link, message)) {
            link->breakWith(kProtocolError,
                            QStringLiteral("Card server %1 broke the protocol: malformed %2 event")
                                .arg(link->endpoint(), message.event));
            linkBroken(link);
            return true;
        }
    }
    return false;  // the budget ran out with messages maybe still waiting
}

void NetworkCardControl::linkBroken(const Link& link)
{
    if (link->breakReported) return;
    link->breakReported = true;
    fail(link->status(), link->statusText());
    if (link != m_session) return;
    const bool wasOpen = m_sessionOpen;
    dropSession();
    if (wasOpen) emit SessionEnded(0, link->status());
}

}  // namespace cardctl
