#pragma once
// A channel whose signal is simulated from text: the text is sent as ITA2
// frames (1 start, 5 data, 1.5 stop bits) at the sender's speed and
// polarity, and received by a start-stop receiver at the card's settings.
// A receiver on the wrong speed or polarity loses framing as a real one
// does; one tuned off the tones decides its bits in noise. The noise comes
// from a fixed seed, so the garble is repeatable.
#include "DecodingChannel.h"
#include "Ita2.h"
#include "TextFeed.h"

#include <deque>
#include <memory>
#include <random>

namespace cardserver {

class SimulatedChannel : public DecodingChannel {
public:
    static constexpr double kTicksPerSecond = 2400;

    SimulatedChannel(std::unique_ptr<TextFeed> feed, const LineParameters& sent,
                     uint32_t noiseSeed = 1);

    // The simulated line is audio of up to 10 kHz: both tones must lie in it.
    static constexpr double kHighestToneHz = 10000;
    QString problemWith(const LineParameters& receiver, const ReceiverOptions& options) const override;
    void tune(const LineParameters& receiver, const ReceiverOptions& options) override;
    QString advance(double seconds) override;
    // The sent line is found after kLineSearchSeconds of signal.
    static constexpr double kLineSearchSeconds = 5;
    void startLineSearch() override { m_searchHeard = 0; }
    std::optional<LineParameters> lineSearchResult(bool finish) override;
    ChannelState state() const override { return m_state; }
    int level() const override;
    QString describe() const override;

    // Chance that the receiver decides a sample wrongly at these settings.
    double bitErrorProbability() const;

private:
    // Sender: segments of constant level, each lasting until a tick time.
    struct Segment {
        bool mark;
        double endTick;
        bool idle = false;  // the sender has nothing to send
    };

    const Segment& sendTick();  // the sender's line for the next tick
    void queueNextPiece();
    void queueFrame(uint8_t code);
    void receiveTick(bool mark, QString* out);

    std::unique_ptr<TextFeed> m_feed;
    LineParameters m_sent;
    LineParameters m_receiver;
    ReceiverOptions m_options;

    std::deque<Segment> m_segments;
    Ita2Encoder m_encoder;
    double m_sendTime = 0;  // tick at which the queued segments end
    int64_t m_tick = 0;

    // Receiver
    enum class RxState { WaitMark, Hunt, Frame };
    RxState m_rx = RxState::WaitMark;
    double m_frameStart = 0;
    int m_nextSample = 0;  // 0 start, 1..5 data, 6 stop
    uint8_t m_code = 0;
    bool m_previousMark = true;
    double m_huntFrom = 0;
    Ita2Decoder m_decoder;
    std::mt19937 m_noise;
    double m_errorProbability = 0;

    ChannelState m_state = ChannelState::Idle;
    double m_framed = 0;  // recent frames, fading over a few seconds
    double m_framingErrors = 0;
    double m_recentIdle = 0;  // recent share of idle line
    double m_searchHeard = -1;  // seconds the line search listened; -1 = none
};

}  // namespace cardserver
