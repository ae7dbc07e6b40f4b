#pragma once
// The monitor's connection to a card server: it observes one card (after a
// search, when it was not told which) and turns what the server sends into
// signals. Everything is asynchronous with a limit on every wait, so a slow
// or silent server never holds up the window; a link that breaks says why
// and stays broken until reconnect().
#include "protocol/LineFramer.h"
#include "protocol/Message.h"
#include "protocol/WaterfallFrame.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace monitor {

struct CardStatus {
    QString mode;
    double baud = 0;
    double shift = 0;
    bool inverted = false;
};

// Where the card listens, as it is set (not what a search measured).
struct CardTuning {
    double centre = 1500, shift = 425, baud = 50;
    bool inverted = false;
};

struct Measurement {
    bool found = false;
    double centre = 0, shift = 0, baud = 0;
    bool inverted = false;
    QString heard;
};

class MonitorLink : public QObject {
    Q_OBJECT
public:
    static constexpr int kConnectMs = 10000;
    static constexpr int kReplyMs = 10000;
    static constexpr int kSilenceMs = 15000;  // the server's heartbeat comes every 5 s

    MonitorLink(const QString& host, quint16 port, QObject* parent = nullptr);
    ~MonitorLink() override;

    QString endpoint() const;
    // Connects and observes `card`; 0 searches first and takes the only
    // card, or lets cardsFound() choose.
    void observe(int card, int framesPerSecond);
    void reconnect();
    void chooseCard(int card);  // after cardsFound()
    bool isObserving() const { return m_state == State::Observing; }
    int card() const { return m_card; }

    // Requests an observer may make when the server allows it.
    void setCentre(double centreHz);
    void startAuto();

signals:
    void connecting(const QString& what);
    void cardsFound(const QList<int>& cards);
    void observing(int card, bool held, bool mayTune);
    void statusReported(const monitor::CardStatus& status);
    void frequencyReported(double centre, int level);
    void tuningReported(const monitor::CardTuning& tuning);
    void stateReported(const QString& state);
    void levelReported(int snrDb);
    void textDecoded(const QString& text);
    void lineSearchReported(const monitor::Measurement& measurement);
    void spectrum(const cardproto::WaterfallFrame& frame);
    // Something the user should read: a refusal, a frame that was refused.
    void notice(const QString& text);
    // The link is gone; reconnect() starts over.
    void broken(const QString& why);

private:
    enum class State { Idle, Connecting, Greeting, Searching, Observing, Broken };
    void readLines();
    void handle(const cardproto::Message& message);
    void handleEvent(const cardproto::Message& message);
    void handleReply(const cardproto::Message& message);
    void request(const QString& op, QList<cardproto::WireValue> args);
    void startObserving();
    void breakWith(const QString& why);
    void finishAuto();

    QTcpSocket* m_socket;
    QString m_host;
    quint16 m_port;
    State m_state = State::Idle;
    int m_card = 0;
    int m_framesPerSecond = 10;
    cardproto::LineFramer m_framer{cardproto::kMaxLineBytes};
    QTimer m_deadline;   // the connection, the greeting, a reply
    QTimer m_silence;    // nothing from an observed card for too long
    QTimer m_autoLimit;  // Auto listens this long at most before it takes what it has
    qint64 m_nextId = 1;
    QHash<qint64, QString> m_pending;  // request id -> operation
    QList<int> m_found;
    bool m_autoRunning = false;
    int m_badFrames = 0;
};

}  // namespace monitor

Q_DECLARE_METATYPE(monitor::CardStatus)
Q_DECLARE_METATYPE(monitor::Measurement)
Q_DECLARE_METATYPE(monitor::CardTuning)
