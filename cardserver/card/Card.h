#pragma once
// One decoder card: its record, its four IF inputs, the decoder settings
// (mode, speed, shift, polarity, centre), the automatic line search, and
// the session that holds it. While held, it decodes the selected input on a
// timer and sends what it finds to the holder as protocol events.
#include "CardObservers.h"
#include "DecodingChannel.h"
#include "protocol/CardRecord.h"
#include "protocol/Message.h"

#include <QHash>
#include <QObject>
#include <QTimer>
#include <array>
#include <memory>

namespace cardserver {

// Positive statuses the server replies with (the control's own are negative).
enum ServerStatus : int {
    kBadRequest = 1,
    kNoCardOpen = 2,
    kCardNotInstalled = 3,
    kCardInUse = 4,
    kUnsupportedValue = 5,
    kServerBusy = 6,        // at its connection limit
    kNotAuthenticated = 7,  // the server wants the shared secret first
    kObserverMayNotTune = 8,  // an observer asked for a change the server does not allow it
};

struct OperationResult {
    int status = 0;
    QString text;
    static OperationResult ok() { return {}; }
};

class CardHolder {
public:
    virtual ~CardHolder() = default;
    virtual void sendEvent(const cardproto::Message& event) = 0;
};

class Card : public QObject {
    Q_OBJECT
public:
    static constexpr int kInputs = 4;
    // A card in real time ticks often, so that text goes out within a tick
    // of the decoder giving it; one run faster than real time (tests,
    // demonstrations) takes its signal in bigger steps.
    static constexpr double kTickSeconds = 0.02;
    static constexpr double kFastTickSeconds = 0.25;
    double tickSeconds() const { return m_timeScale > 1 ? kFastTickSeconds : kTickSeconds; }

    Card(int number, double timeScale, QObject* parent = nullptr);
    ~Card() override;

    int number() const { return m_number; }
    // The input (1..4) carries this channel; nullptr leaves it silent.
    void setChannel(int input, std::unique_ptr<DecodingChannel> channel);
    QString describeInputs() const;

    cardproto::CardRecord record() const;
    bool isHeld() const { return m_holder != nullptr; }
    bool attach(CardHolder* holder);  // false when another session holds it
    void detach(CardHolder* holder);
    void sendCurrentState();  // StatusReport, FrequencyReport, StateText

    // Observers watch the card beside its holder, or without one: the card
    // decodes while either is there. They are told at once what the card
    // does (ObservedCard, the reports, the latest line search finding).
    void addObserver(CardObserver* observer, bool mayTune);
    void removeObserver(CardObserver* observer);
    bool isObserved() const { return !m_observers.isEmpty(); }

    using Args = QList<cardproto::WireValue>;
    OperationResult setMode(const Args& args);
    OperationResult setAls(const Args& args);
    OperationResult setCentreShift(const Args& args);
    OperationResult setDecoderOptions(const Args& args);
    OperationResult setInput(const Args& args);

    QString modeName() const { return m_baudot ? QStringLiteral("baudot") : QStringLiteral("no-mode"); }
    const LineParameters& receiver() const { return m_receiver; }
    int selectedInput() const { return m_input; }

private:
    DecodingChannel* selectedChannel() const;
    // The receiver's settings where the input carries the signal: the IF
    // frequency translation moves the centre up by that many hertz.
    LineParameters atInput(const LineParameters& receiver, int32_t translationHz) const;
    QString refusalAtInput(int input, const LineParameters& receiver, const ReceiverOptions& options,
                           int32_t translationHz) const;
    std::optional<LineParameters> measuredLine(bool finish);
    void noteMeasured(const LineParameters& line);  // m_measured, and where
    void retune();
    OperationResult retuneTo(const LineParameters& receiver, const ReceiverOptions& options);
    void tick();
    void reportSettings();  // StatusReport and FrequencyReport
    void reportMeasurement(const DecodingChannel& channel);
    void setStateText(const QString& text);
    void send(const QString& event, Args args);
    QString currentStateText() const;
    bool isRunning() const { return m_holder || isObserved(); }
    void sendToObservers(const QString& event, Args args);
    void reportHeld();  // ObservedCard to every observer
    // The card's own settings: FrequencyReport carries a line search's
    // measurement too, so observers are told where the card listens apart.
    cardproto::Message tuningEvent() const;
    void reportTuning();
    void reportLineSearch(const DecodingChannel& channel);
    Args measurementArgs(int level) const;  // LineSearch of m_measured
    void reportNoLine(const QString& heard);
    void reportToObservers(const DecodingChannel* channel);  // spectrum and signal level after a tick

    int m_number;
    double m_timeScale;
    std::array<std::unique_ptr<DecodingChannel>, kInputs> m_channels;
    CardHolder* m_holder = nullptr;
    QTimer m_timer;

    bool m_baudot = true;
    LineParameters m_receiver;
    ReceiverOptions m_options;
    int m_input = 1;
    int32_t m_translationHz = 0;
    enum class Als { Off, Listening };
    Als m_als = Als::Off;
    std::optional<LineParameters> m_measured;  // the latest, at the receiver's frequencies
    int m_measuredInput = 0;  // the input and IF translation m_measured was heard at
    int32_t m_measuredTranslationHz = 0;
    bool m_alsFoundNothing = false;  // the last search ended without a line; cleared by new settings
    double m_sinceRetune = 0;

    QString m_stateText;
    int32_t m_sequence = 0;

    CardObservers m_observers;
    QHash<CardObserver*, bool> m_observerMayTune;
    int m_reportedLevel = -1;
    int m_ticksSinceLevel = 0;
};

}  // namespace cardserver
