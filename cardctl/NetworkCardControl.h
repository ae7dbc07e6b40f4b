#pragma once
// The card control over the card server protocol: one connection per card
// session or card search. Calls block the UI thread only as long as their
// reply takes (with a time limit); events that arrive meanwhile are raised
// during the call, the rest from the event loop (readyRead), so a pumped
// wait delivers them.
#include "CardControl.h"
#include "ServerLink.h"

#include <QHash>
#include <QList>
#include <QTimer>
#include <limits>
#include <memory>
#include <optional>

namespace cardproto {
struct Message;
}

namespace cardctl {

class ServerLink;

struct TimeLimits {
    int connectMs = 10000;
    int greetingMs = 10000;
    int replyMs = 10000;
    int searchMs = 70000;
    int silenceMs = 15000;  // an open session without any message ends
    // OpenCard as a whole (connect, greeting and reply share it): one press
    // of Connect waits no longer, whatever limits its steps have.
    int openMs = 10000;
};

class NetworkCardControl : public CardControl {
    Q_OBJECT
public:
    explicit NetworkCardControl(QObject* parent = nullptr);
    ~NetworkCardControl() override;

    void setTimeLimits(const TimeLimits& limits) { m_limits = limits; }
    // Connections made by this instead of TCP (in-process peers).
    void setConnector(Connector connector) { m_connector = std::move(connector); }
    const TimeLimits& timeLimits() const { return m_limits; }
    bool hasSession() const { return m_sessionOpen; }

    void SetDecoderOptions(const Variant& a1, const Variant& a2, const Variant& a3,
                           const Variant& a4) override;
    void SetInput(const Variant& input, const Variant& translationMode,
                  const Variant& ifFrequency, const Variant& a4) override;
    void SetAls(const Variant& command) override;
    void SetMode(const Variant& a1, const Variant& modeName, const Variant& speed,
                 const Variant& shift, const Variant& polarity, const Variant& a6,
                 const Variant& adoptMeasured) override;
    void SetCentreShift(const Variant& centre, const Variant& shift) override;
    int32_t SearchCards(const Variant& host, const Variant& port) override;
    int32_t OpenCard(const Variant& host, const Variant& port, const Variant& card) override;
    QString GetErrorText(const Variant& status) override;
    void CloseCard() override;

private:
    using Link = std::shared_ptr<ServerLink>;
    struct Outcome {
        int32_t status = 0;
        QString text;
        std::optional<qint64> replyStatus;
        QString replyText;
    };

    int32_t fail(int32_t status, const QString& text);
    std::optional<quint16> portFrom(const Variant& port, const QString& host, QString* text) const;
    // The host (empty means this machine) and port as the caller passed them.
    Link connectTo(const Variant& host, const Variant& port, int32_t* status, int budgetMs);
    Link connectLink(const QString& host, quint16 port, int32_t* status, int budgetMs);
    Outcome call(const Link& link, const QString& operation, const QList<Variant>& args,
                 int limitMs);
    int32_t resultStatus(const Link& link, const QString& operation, const Outcome& outcome);
    void sessionOperation(const QString& operation, const QList<Variant>& args);
    // Hands over up to `budget` messages; true when nothing more is waiting
    // (or the link is gone), false when the budget ran out first.
    bool drain(const Link& link, int budget = std::numeric_limits<int>::max());
    void drainSome(const Link& link);
    static constexpr int kMessagesPerTurn = 32;
    static constexpr int kHandlerPollMs = 10;
    bool dispatchEvent(const Link& link, const cardproto::Message& message);
    void linkBroken(const Link& link);
    bool isLive(const Link& link) const { return link && (link == m_session || link == m_search); }
    void dropSession();

    TimeLimits m_limits;
    Connector m_connector;
    Link m_session;
    Link m_search;
    bool m_sessionOpen = false;
    QTimer m_silence;
    // While an event's handler runs (a pumped wait inside SessionStarted),
    // the socket does not signal new data again; this looks for it instead.
    QTimer m_handlerPoll;
    int m_handlersRunning = 0;
    qint64 m_nextId = 0;
    QList<qint64> m_awaited;  // innermost call last
    QHash<qint64, Outcome> m_replies;
    QHash<int32_t, QString> m_errorTexts;
};

}  // namespace cardctl
