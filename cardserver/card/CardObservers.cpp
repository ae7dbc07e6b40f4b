#include "CardObservers.h"

#include "WaterfallAnalyser.h"

#include <algorithm>
#include <cmath>

namespace cardserver {

CardObservers::CardObservers() = default;
CardObservers::~CardObservers() = default;

void CardObservers::add(CardObserver* observer)
{
    if (m_observers.contains(observer)) return;
    m_observers << observer;
    m_credit << 0.0;
}

void CardObservers::remove(CardObserver* observer)
{
    const qsizetype at = m_observers.indexOf(observer);
    if (at < 0) return;
    m_observers.removeAt(at);
    m_credit.removeAt(at);
    if (m_observers.isEmpty()) m_analyser.reset();  // its history is stale by the next observer
}

void CardObservers::send(const cardproto::Message& event) const
{
    // A copy: an observer that fails may leave the list while it is sent.
    const auto observers = m_observers;
    for (CardObserver* observer : observers) observer->sendEvent(event);
}

void CardObservers::samplesDecoded(const float* samples, size_t n, double sampleRate)
{
    if (m_observers.isEmpty() || n == 0) return;
    if (!m_analyser || m_analyser->sampleRate() != sampleRate) m_analyser = std::make_unique<WaterfallAnalyser>(sampleRate);
    m_analyser->append(samples, n);
    m_newSamples += n;
}

void CardObservers::endOfStretch(double wallSeconds, double translationHz)
{
    int fastest = 0;
    for (const CardObserver* observer : m_observers) fastest = std::max(fastest, std::min(observer->spectrumRate(), kMaxSpectrumRate));
    const size_t fresh = std::exchange(m_newSamples, 0);
    if (fastest == 0 || !m_analyser || fresh == 0) {
        m_framesOwed = 0;
        return;
    }
    // Frames follow the clock, spread evenly over the audio just decoded
    // (more audio than time when the signal runs faster than the clock).
    m_framesOwed += fastest * wallSeconds;
    const int frames = int(std::floor(m_framesOwed + 1e-9));
    m_framesOwed -= frames;
    const double nyquist = m_analyser->sampleRate() / 2;
    const double fromHz = std::max(0.0, translationHz);
    const double toHz = std::min(nyquist, translationHz + kTopHz);
    for (int k = 0; k < frames; ++k) {
        const size_t back = size_t(double(fresh) * double(frames - 1 - k) / double(frames));
        cardproto::WaterfallFrame frame = m_analyser->frame(back, fromHz, toHz);
        frame.firstHz -= translationHz;
        frame.sequence = ++m_sequence;
        const auto message = cardproto::Message::eventMessage(QString::fromLatin1(cardproto::kSpectrumEvent), frame.toArgs());
        const auto observers = m_observers;
        for (qsizetype i = 0; i < observers.size(); ++i) {
            const qsizetype at = m_observers.indexOf(observers[i]);
            if (at < 0) continue;
            const int rate = std::min(observers[i]->spectrumRate(), kMaxSpectrumRate);
            if (rate <= 0) continue;
            m_credit[at] += double(rate) / fastest;
            if (m_credit[at] + 1e-9 < 1) continue;
            m_credit[at] -= 1;
            observers[i]->sendFrame(message);
        }
    }
}

}  // namespace cardserver
