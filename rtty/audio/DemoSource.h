#pragma once

#include "rtty/signal/FskModulator.h"
#include "rtty/audio/SampleSource.h"

#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>

namespace hfchannel {
class HfChannel;
}

namespace rtty {

// Renders text as RTTY audio on the fly, with white noise and a slow fade,
// as a receiver would hear a broadcast, or through a named HF channel
// (rtty/channel: moderate, poor, flutter, selective, offset,
// impulse, flat, white) instead of the slow fade. The text comes from a callback that
// is asked for more whenever the previous piece has been sent; an empty
// answer ends the source after a short trailer.
struct DemoOptions {
    double sampleRate = 8000.0;
    RttyParameters parameters{};
    double snrDb = 3.0;          // mean SNR in 3 kHz
    double fadeDepthDb = 6.0;    // peak-to-peak of the slow fade; 0 for none
    double fadePeriodSeconds = 23.0;
    uint32_t seed = 1;
    bool realTime = false;
    bool resendFiguresAfterSpace = true;
    std::string channel;         // an HF channel's name; empty for the slow fade
};

class DemoSource : public SampleSource {
public:
    // An unknown channel name throws std::invalid_argument: callers check
    // names with hfchannel::channelPreset first.
    DemoSource(const DemoOptions& options, std::function<std::string()> nextText);
    ~DemoSource() override;

    double sampleRate() const override { return options_.sampleRate; }
    size_t read(float* out, size_t maxSamples) override;
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return {}; }
    std::string describe() const override { return "demo"; }

private:
    void renderMore();

    DemoOptions options_;
    std::function<std::string()> nextText_;
    FskModulator modulator_;
    NoiseAdder noise_;
    std::unique_ptr<hfchannel::HfChannel> channel_;
    std::vector<float> pending_;
    size_t pendingPosition_ = 0;
    bool textEnded_ = false;
    bool ended_ = false;
    long long rendered_ = 0;
    double fadePhase_ = 0.0;
    long long delivered_ = 0;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace rtty
