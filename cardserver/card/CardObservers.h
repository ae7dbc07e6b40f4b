#pragma once
// The clients that watch a card without holding it: they get the events the
// holder gets, the line search's findings, and on request the spectrum of
// the input the card decodes. Sending to an observer never waits; a slow
// observer loses spectrum frames, nobody else loses anything.
#include "DecodingChannel.h"
#include "protocol/Message.h"

#include <QList>
#include <memory>

namespace cardserver {

class WaterfallAnalyser;

class CardObserver {
public:
    virtual ~CardObserver() = default;
    virtual void sendEvent(const cardproto::Message& event) = 0;
    // A frame the observer may drop when it is behind.
    virtual void sendFrame(const cardproto::Message& frame) = 0;
    virtual int spectrumRate() const = 0;  // frames a second wanted, 0 for none
};

class CardObservers : public SampleTap {
public:
    static constexpr int kMaxSpectrumRate = 25;
    // The spectrum shows the receiver's frequencies up to here (both tones
    // of the widest line at the highest centre).
    static constexpr double kTopHz = 5000;

    CardObservers();
    ~CardObservers() override;

    void add(CardObserver* observer);
    void remove(CardObserver* observer);
    bool isEmpty() const { return m_observers.isEmpty(); }
    qsizetype count() const { return m_observers.size(); }
    void send(const cardproto::Message& event) const;

    void samplesDecoded(const float* samples, size_t n, double sampleRate) override;
    // After each stretch the card decoded: the spectrum frames due in
    // `wallSeconds` of the clock, computed from the latest audio. The
    // translation says where the receiver's frequencies are in the input.
    void endOfStretch(double wallSeconds, double translationHz);

private:
    QList<CardObserver*> m_observers;
    QList<double> m_credit;  // per observer: frames owed at its own rate
    std::unique_ptr<WaterfallAnalyser> m_analyser;
    size_t m_newSamples = 0;
    double m_framesOwed = 0;
    qint32 m_sequence = 0;
};

}  // namespace cardserver
