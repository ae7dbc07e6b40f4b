#include "rtty/channel/SelectiveFade.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hfchannel {

SelectiveFade::SelectiveFade(double sampleRate, double splitHz, double closestToneHz, uint32_t seed)
    : sampleRate_(sampleRate), rng_(seed), realPart_(sampleRate, 0.5 * closestToneHz),
      imagPart_(sampleRate, 0.5 * closestToneHz), delay_(realPart_.delaySamples()),
      rampSamples_(static_cast<long long>(0.05 * sampleRate))
{
    delayed_.assign(size_t(delay_) + 1, {});
    downStep_ = std::polar(1.0, -2.0 * std::numbers::pi * splitHz / sampleRate);
    // The mix back up is for the instant delay_ samples ago.
    up_ = std::polar(1.0, -2.0 * std::numbers::pi * splitHz * delay_ / sampleRate);
    fading_ = true;  // so that the schedule opens clear
    advanceSchedule();
}

void SelectiveFade::advanceSchedule()
{
    auto uniform = [this](double low, double high) { return std::uniform_real_distribution<double>(low, high)(rng_); };
    phaseStart_ = sample_;
    fading_ = !fading_;
    if (fading_) {
        upperFaded_ = std::bernoulli_distribution(0.5)(rng_);
        depth_ = static_cast<float>(std::pow(10.0, -uniform(10.0, 20.0) / 20.0));
        phaseEnd_ = sample_ + static_cast<long long>(uniform(1.5, 5.0) * sampleRate_);
    } else {
        phaseEnd_ = sample_ + static_cast<long long>(uniform(1.0, 4.0) * sampleRate_);
    }
}

std::complex<float> SelectiveFade::step(std::complex<float> analytic)
{
    if (sample_ >= phaseEnd_)
        advanceSchedule();
    float gain = 1.0f;
    if (fading_) {
        // Raised-cosine ramps in and out, inside the fade's own span.
        const long long in = sample_ - phaseStart_, out = phaseEnd_ - sample_;
        const double ramp = std::min(1.0, double(std::min(in, out)) / double(std::max(rampSamples_, 1LL)));
        const double blend = 0.5 - 0.5 * std::cos(std::numbers::pi * ramp);
        gain = static_cast<float>(1.0 + blend * (depth_ - 1.0));
    }
    upperGain_ = fading_ && upperFaded_ ? gain : 1.0f;
    lowerGain_ = fading_ && !upperFaded_ ? gain : 1.0f;

    const std::complex<float> z = analytic * std::complex<float>(down_);
    down_ *= downStep_;
    head_ = (head_ + 1) % delayed_.size();
    delayed_[head_] = z;
    const std::complex<float> zLate = delayed_[(head_ + 1) % delayed_.size()];
    // Analytic filtering of a complex signal: re → re + jH re, im likewise,
    // and (re + jH re) + j(im + jH im) is twice the positive-frequency part.
    const std::complex<float> upper = 0.5f * (realPart_.step(z.real()) + std::complex<float>(0, 1) * imagPart_.step(z.imag()));
    const std::complex<float> lower = zLate - upper;
    const std::complex<float> out = (upperGain_ * upper + lowerGain_ * lower) * std::complex<float>(up_);
    up_ *= std::conj(downStep_);
    if ((++sample_ & 0xfff) == 0) {
        down_ /= std::abs(down_);
        up_ /= std::abs(up_);
    }
    return out;
}

}  // namespace hfchannel
