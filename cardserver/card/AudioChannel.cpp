#include "AudioChannel.h"

#include "DemodulatorTerms.h"

#include "rtty/linesearch/AutoLineSearch.h"
#include "rtty/linesearch/LineCheck.h"
#include "rtty/dsp/RttyDemodulator.h"
#include "rtty/audio/SampleSource.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace cardserver {

// Audio a live input delivers, gathered by a reader thread and taken by the
// card without waiting. At most a few seconds are kept: a card that stops
// taking loses the oldest audio, as a real input would; a pipe is held back
// instead.
class LiveSampleBuffer {
public:
    explicit LiveSampleBuffer(rtty::SampleSource* source)
        : m_source(source), m_capacity(size_t(source->sampleRate() * 4)), m_thread([this, source] { run(source); })
    {
    }
    ~LiveSampleBuffer()
    {
        m_stop = true;
        m_source->stopReading();  // a pipe or socket with nothing to say would hold the join
        m_thread.join();
    }
    size_t take(float* out, size_t wanted)
    {
        std::lock_guard lock(m_mutex);
        const size_t n = std::min(wanted, m_samples.size());
        std::copy_n(m_samples.begin(), n, out);
        m_samples.erase(m_samples.begin(), m_samples.begin() + long(n));
        return n;
    }
    // The input has ended (a pipe's writer closed it) and all it gave was taken.
    bool drained()
    {
        std::lock_guard lock(m_mutex);
        return m_ended && m_samples.empty();
    }

private:
    void run(rtty::SampleSource* source)
    {
        std::vector<float> block(size_t(source->sampleRate() / 20));
        while (!m_stop) {
            const size_t n = source->read(block.data(), block.size());
            std::unique_lock lock(m_mutex);
            if (n == 0) {  // the input ended (unplugged, closed)
                m_ended = true;
                break;
            }
            // A pipe's writer can wait (a file piped in comes faster than
            // real time); a device or the network cannot, so the oldest goes.
            while (source->senderWaits() && !m_stop && m_samples.size() + n > m_capacity) {
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                lock.lock();
            }
            m_samples.insert(m_samples.end(), block.begin(), block.begin() + long(n));
            if (m_samples.size() > m_capacity) m_samples.erase(m_samples.begin(), m_samples.end() - long(m_capacity));
        }
    }

    rtty::SampleSource* m_source;
    size_t m_capacity;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::deque<float> m_samples;
    bool m_ended = false;
    std::thread m_thread;
};

AudioChannel::AudioChannel(std::unique_ptr<rtty::SampleSource> source, bool live, const QString& description)
    : m_source(std::move(source)), m_description(description)
{
    if (live) m_live = std::make_unique<LiveSampleBuffer>(m_source.get());
    tune(LineParameters{}, ReceiverOptions{});
}

AudioChannel::~AudioChannel()
{
    m_live.reset();  // the reader thread first: it uses the source
}

QString AudioChannel::problemWith(const LineParameters& receiver, const ReceiverOptions& options) const
{
    const char* problem = rtty::parameterProblem(demodulatorParameters(receiver, options), m_source->sampleRate());
    return problem ? QString::fromLatin1(problem) : QString();
}

void AudioChannel::tune(const LineParameters& receiver, const ReceiverOptions& options)
{
    // Settings it cannot use (another input's, when the input changes) leave
    // it decoding as it was.
    if (!problemWith(receiver, options).isEmpty()) return;
    const rtty::RttyParameters parameters = demodulatorParameters(receiver, options);
    if (m_demodulator) m_demodulator->setParameters(parameters);
    else m_demodulator = std::make_unique<rtty::RttyDemodulator>(m_source->sampleRate(), parameters);
    m_checkedText.tuned(std::make_unique<rtty::LineCheck>(m_source->sampleRate(), parameters));
}

size_t AudioChannel::readSamples(size_t wanted)
{
    m_samples.resize(wanted);
    if (m_live) return m_live->take(m_samples.data(), wanted);
    size_t got = 0;
    while (got < wanted) {
        const size_t n = m_source->read(m_samples.data() + got, wanted - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

QString AudioChannel::advance(double seconds)
{
    const double rate = m_source->sampleRate();
    size_t wanted = size_t(std::lround(seconds * rate));
    const bool paced = m_live && m_source->senderWaits();
    if (paced) {
        // A pipe's writer is held back by the buffer: it is taken as the
        // card's clock goes, never ahead of real time.
        wanted = size_t(m_pipePace.allowance(seconds) * rate);
    } else if (m_live) {
        wanted = size_t(rate * 4);  // a device or the network: what has come in
    }
    size_t got = readSamples(wanted);
    if (paced) m_pipePace.took(double(got) / rate, got < wanted && !m_live->drained());
    // After the end of a pipe the card hears silence, as a receiver would:
    // the demodulator lets out what it still holds and the card goes idle.
    if (got == 0 && m_live && m_live->drained()) {
        got = size_t(std::lround(seconds * rate));
        m_samples.assign(got, 0.0f);
    }
    std::string text;
    if (got > 0 && m_demodulator) m_demodulator->process(m_samples.data(), got, text);
    if (got > 0 && m_lineSearch) m_lineSearch->process(m_samples.data(), got);
    if (got > 0 && m_tap) m_tap->samplesDecoded(m_samples.data(), got, m_source->sampleRate());
    if (got > 0 && m_demodulator)
        if (rtty::LineCheck* check = m_checkedText.listening(m_demodulator->state() != rtty::DecodeState::NoSignal))
            check->process(m_samples.data(), got);
    text = m_checkedText.pass(std::move(text), double(got) / rate);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

void AudioChannel::startLineSearch()
{
    m_lineSearchFinding.clear();
    m_lineSearch = std::make_unique<rtty::AutoLineSearch>(m_source->sampleRate());
}

std::optional<LineParameters> AudioChannel::lineSearchResult(bool finish)
{
    if (!m_lineSearch) return std::nullopt;
    if (finish) m_lineSearch->finish();
    const rtty::AlsResult result = m_lineSearch->result();
    if (finish) {
        m_lineSearchFinding = QString::fromStdString(m_lineSearch->mostLikeALine().reason);
        m_lineSearch.reset();
    }
    if (!result.determined) return std::nullopt;
    // Tones to the hertz, as a card shows them.
    return LineParameters{std::round(result.centreHz), std::round(result.shiftHz), result.baud, result.inverted};
}

ChannelState AudioChannel::state() const
{
    if (!m_demodulator) return ChannelState::Search;
    if (m_checkedText.mistuned()) return ChannelState::Mistuned;
    return channelState(m_demodulator->state());
}

int AudioChannel::level() const
{
    return m_demodulator ? signalLevel(m_demodulator->signalToNoise()) : 0;
}

QString AudioChannel::describe() const
{
    return QStringLiteral("%1 as RTTY audio at %2 Hz").arg(m_description).arg(m_source->sampleRate());
}

}  // namespace cardserver
