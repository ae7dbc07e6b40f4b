#include "rtty/audio/DemoSource.h"

#include "rtty/dsp/Baudot.h"
#include "rtty/channel/HfChannel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <thread>

namespace rtty {

DemoSource::DemoSource(const DemoOptions& options, std::function<std::string()> nextText)
    : options_(options), nextText_(std::move(nextText)), modulator_(options.sampleRate, options.parameters),
      noise_(options.sampleRate, 0.5 * modulator_.amplitude() * modulator_.amplitude(), options.snrDb, options.seed)
{
    std::mt19937 rng(options.seed);
    fadePhase_ = std::uniform_real_distribution<double>(0.0, 2.0 * std::numbers::pi)(rng);
    started_ = std::chrono::steady_clock::now();
    if (!options.channel.empty()) {
        const double power = 0.5 * modulator_.amplitude() * modulator_.amplitude();
        auto settings = hfchannel::channelPreset(options.channel, options.sampleRate, power, options.parameters.centreHz,
                                                 options.parameters.shiftHz, options.seed);
        if (!settings)
            throw std::invalid_argument("unknown HF channel \"" + options.channel + "\"");
        settings->snrDb = options.snrDb;
        channel_ = std::make_unique<hfchannel::HfChannel>(*settings);
    }
}

DemoSource::~DemoSource() = default;

void DemoSource::renderMore()
{
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(pendingPosition_));
    pendingPosition_ = 0;
    const size_t before = pending_.size();
    if (rendered_ == 0)
        modulator_.appendIdle(16.0, pending_);
    const std::string text = textEnded_ ? std::string() : nextText_();
    if (text.empty()) {
        textEnded_ = true;
        modulator_.appendIdle(16.0, pending_);
    } else {
        modulator_.appendCodes(baudot::encode(text, options_.resendFiguresAfterSpace).codes, pending_);
    }
    if (channel_) {
        channel_->process(pending_.data() + before, pending_.size() - before);
        return;
    }
    // Slow flat fade on the signal, then noise at the mean SNR.
    const double depth = options_.fadeDepthDb / 2.0;
    for (size_t i = before; i < pending_.size(); ++i, ++rendered_) {
        const double seconds = static_cast<double>(rendered_) / options_.sampleRate;
        const double fadeDb = depth * std::sin(2.0 * std::numbers::pi * seconds / options_.fadePeriodSeconds + fadePhase_);
        pending_[i] *= static_cast<float>(std::pow(10.0, fadeDb / 20.0));
    }
    noise_.add(pending_.data() + before, pending_.size() - before);
}

size_t DemoSource::read(float* out, size_t maxSamples)
{
    if (ended_ || maxSamples == 0)
        return 0;
    if (pendingPosition_ >= pending_.size()) {
        if (textEnded_) {
            ended_ = true;
            return 0;
        }
        renderMore();
    }
    const size_t count = std::min(maxSamples, pending_.size() - pendingPosition_);
    std::copy_n(pending_.begin() + static_cast<long>(pendingPosition_), count, out);
    pendingPosition_ += count;
    if (options_.realTime) {
        delivered_ += static_cast<long long>(count);
        const auto due = started_ + std::chrono::duration<double>(double(delivered_) / options_.sampleRate);
        std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
    }
    return count;
}

}  // namespace rtty
