#pragma once
// A channel whose signal is audio (a WAV file or a live input), decoded by
// the RTTY demodulator, with the automatic line search measuring the line.
#include "CheckedText.h"
#include "DecodingChannel.h"
#include "PipePace.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace rtty {
class AutoLineSearch;
class LineCheck;
class RttyDemodulator;
class SampleSource;
}  // namespace rtty

namespace cardserver {

class LiveSampleBuffer;

class AudioChannel : public DecodingChannel {
public:
    // A live source is read on a thread of its own, so that waiting for
    // audio never holds up the server; files are read as the card asks.
    AudioChannel(std::unique_ptr<rtty::SampleSource> source, bool live, const QString& description);
    ~AudioChannel() override;

    QString problemWith(const LineParameters& receiver, const ReceiverOptions& options) const override;
    void tune(const LineParameters& receiver, const ReceiverOptions& options) override;
    void lineMeasured() override { m_checkedText.measured(); }
    QString advance(double seconds) override;
    void startLineSearch() override;
    std::optional<LineParameters> lineSearchResult(bool finish) override;
    QString lineSearchFinding() const override { return m_lineSearchFinding; }
    ChannelState state() const override;
    int level() const override;
    QString describe() const override;
    void setSampleTap(SampleTap* tap) override { m_tap = tap; }

private:
    size_t readSamples(size_t wanted);

    std::unique_ptr<rtty::SampleSource> m_source;
    std::unique_ptr<LiveSampleBuffer> m_live;
    std::unique_ptr<rtty::RttyDemodulator> m_demodulator;
    std::unique_ptr<rtty::AutoLineSearch> m_lineSearch;
    CheckedText<rtty::LineCheck> m_checkedText;
    // A pipe is taken at the pace of real time: audio allowed and not yet taken.
    PipePace m_pipePace;
    std::vector<float> m_samples;
    QString m_description;
    QString m_lineSearchFinding;
    SampleTap* m_tap = nullptr;
};

}  // namespace cardserver
