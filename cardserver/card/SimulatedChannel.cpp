#include "SimulatedChannel.h"

#include <algorithm>
#include <cmath>

namespace cardserver {

SimulatedChannel::SimulatedChannel(std::unique_ptr<TextFeed> feed, const LineParameters& sent,
                                   uint32_t noiseSeed)
    : m_feed(std::move(feed)), m_sent(sent), m_receiver(sent), m_noise(noiseSeed)
{
    m_decoder.setUnshiftOnSpace(m_options.unshiftOnSpace);
}

void SimulatedChannel::tune(const LineParameters& receiver, const ReceiverOptions& options)
{
    m_receiver = receiver;
    m_options = options;
    m_decoder.setUnshiftOnSpace(options.unshiftOnSpace);
    m_errorProbability = bitErrorProbability();
}

QString SimulatedChannel::problemWith(const LineParameters& receiver, const ReceiverOptions&) const
{
    const double low = receiver.centre - receiver.shift / 2, high = receiver.centre + receiver.shift / 2;
    if (low <= 0 || high > kHighestToneHz)
        return QStringLiteral("the tones (%1 and %2 Hz) must lie between 0 and %3 Hz").arg(low).arg(high).arg(kHighestToneHz);
    return {};
}

double SimulatedChannel::bitErrorProbability() const
{
    // The worse of the two tones decides: how far it falls from the filter
    // the receiver has put where it expects it.
    const double toneError = std::fabs(m_receiver.centre - m_sent.centre)
                             + std::fabs(m_receiver.shift - m_sent.shift) / 2;
    const double widestShift = std::max(m_receiver.shift, m_sent.shift);
    if (toneError > widestShift) return 0.5;  // both filters off the signal
    if (toneError <= 0.25 * m_sent.baud) return 0;
    return std::min(0.45, 0.02 + 0.4 * toneError / widestShift);
}

std::optional<LineParameters> SimulatedChannel::lineSearchResult(bool finish)
{
    const bool heardEnough = m_searchHeard >= kLineSearchSeconds;
    if (finish) m_searchHeard = -1;
    if (heardEnough) return m_sent;
    return std::nullopt;
}

int SimulatedChannel::level() const
{
    if (bitErrorProbability() >= 0.5) return 5;
    return int(std::lround(70 - 60 * bitErrorProbability()));
}

QString SimulatedChannel::describe() const
{
    return QStringLiteral("%1 sent at %2 Bd, %3 Hz shift, centre %4 Hz, %5 polarity")
        .arg(m_feed->describe())
        .arg(m_sent.baud)
        .arg(m_sent.shift)
        .arg(m_sent.centre)
        .arg(m_sent.inverted ? QStringLiteral("inverted") : QStringLiteral("normal"));
}

void SimulatedChannel::queueFrame(uint8_t code)
{
    const double bit = kTicksPerSecond / m_sent.baud;
    m_segments.push_back({false, m_sendTime += bit});
    for (int i = 0; i < 5; ++i) m_segments.push_back({bool(code >> i & 1), m_sendTime += bit});
    m_segments.push_back({true, m_sendTime += 1.5 * bit});
}

void SimulatedChannel::queueNextPiece()
{
    std::vector<uint8_t> codes;
    const QString piece = m_feed->next();
    for (const QChar c : piece) m_encoder.encode(c, &codes);
    m_sendTime = std::max(m_sendTime, double(m_tick));
    if (codes.empty()) {
        m_segments.push_back({true, m_sendTime += kTicksPerSecond, true});
        return;
    }
    for (const uint8_t code : codes) queueFrame(code);
}

const SimulatedChannel::Segment& SimulatedChannel::sendTick()
{
    while (m_segments.empty() || m_segments.front().endTick <= double(m_tick)) {
        if (!m_segments.empty()) m_segments.pop_front();
        if (m_segments.empty()) queueNextPiece();
    }
    return m_segments.front();
}

void SimulatedChannel::receiveTick(bool mark, QString* out)
{
    const double bit = kTicksPerSecond / m_receiver.baud;
    const double now = double(m_tick);
    switch (m_rx) {
    case RxState::WaitMark:
    case RxState::Hunt:
        if (now >= m_huntFrom && m_previousMark && !mark) {
            m_rx = RxState::Frame;
            m_frameStart = now;
            m_nextSample = 0;
            m_code = 0;
        }
        break;
    case RxState::Frame:
        if (now < m_frameStart + (m_nextSample + 0.5) * bit) break;
        if (m_nextSample == 0) {
            if (mark) m_rx = RxState::Hunt;  // a glitch, not a start bit
            else m_nextSample = 1;
        } else if (m_nextSample <= 5) {
            if (mark) m_code |= uint8_t(1 << (m_nextSample - 1));
            ++m_nextSample;
        } else {
            const bool framingError = !mark;
            m_framed += 1;
            if (framingError) m_framingErrors += 1;
            if (!framingError || m_options.passFramingErrors) {
                const QChar c = m_decoder.decode(m_code);
                if (!c.isNull()) out->append(c);
            }
            m_rx = RxState::Hunt;
            m_huntFrom = m_frameStart + (6 + m_options.stopBits - 0.25) * bit;
        }
        break;
    }
    m_previousMark = mark;
}

QString SimulatedChannel::advance(double seconds)
{
    QString out;
    const auto ticks = int64_t(std::llround(seconds * kTicksPerSecond));
    int64_t idleTicks = 0;
    if (m_searchHeard >= 0) m_searchHeard += seconds;
    const int64_t end = m_tick + ticks;
    std::uniform_real_distribution<double> uniform(0, 1);
    const bool flipped = m_sent.inverted != m_receiver.inverted;
    for (; m_tick < end; ++m_tick) {
        const Segment& sent = sendTick();
        idleTicks += sent.idle;
        bool mark = sent.mark != flipped;
        if (m_errorProbability > 0 && uniform(m_noise) < m_errorProbability) mark = !mark;
        receiveTick(mark, &out);
    }
    const double idleShare = ticks > 0 ? double(idleTicks) / double(ticks) : 0;
    const double fade = std::exp(-seconds / 2);
    m_framed *= fade;
    m_framingErrors *= fade;
    m_recentIdle = m_recentIdle * fade + idleShare * (1 - fade);
    if (m_recentIdle > 0.8 && m_errorProbability == 0) m_state = ChannelState::Idle;
    else if (m_framed < 0.5 || m_framingErrors * 5 > m_framed) m_state = ChannelState::Search;
    else m_state = ChannelState::Traffic;
    return out;
}

}  // namespace cardserver
