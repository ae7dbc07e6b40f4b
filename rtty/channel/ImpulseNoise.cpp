#include "rtty/channel/ImpulseNoise.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace hfchannel {

ImpulseNoise::ImpulseNoise(double sampleRate, double signalPower, const ImpulseSettings& settings, uint32_t seed)
    : sampleRate_(sampleRate), signalPower_(signalPower), settings_(settings), rng_(seed)
{
    nextClick_ = draw(Kind::click, 0);
    nextCrash_ = draw(Kind::crash, 0);
    nextPulse_ = draw(Kind::pulse, 0);
}

ImpulseNoise::Burst ImpulseNoise::draw(Kind kind, long long after)
{
    const bool crash = kind == Kind::crash;
    const double rate = crash ? settings_.crashesPerSecond : kind == Kind::click ? settings_.clicksPerSecond : settings_.pulsesPerSecond;
    Burst burst;
    if (rate <= 0.0) {
        burst.start = -1;
        return burst;
    }
    // Pulses come at their rate give or take a few percent; the rest at random.
    const double wait = kind == Kind::pulse ? std::uniform_real_distribution<double>(0.97, 1.03)(rng_) / rate
                                            : std::exponential_distribution<double>(rate)(rng_);
    const double seconds = crash ? std::uniform_real_distribution<double>(settings_.crashMinSeconds, settings_.crashMaxSeconds)(rng_)
                           : kind == Kind::click ? settings_.clickSeconds : settings_.pulseSeconds;
    const double aboveDb = std::uniform_real_distribution<double>(settings_.minAboveSignalDb, settings_.maxAboveSignalDb)(rng_);
    burst.start = after + static_cast<long long>(wait * sampleRate_);
    burst.length = std::max(1LL, static_cast<long long>(seconds * sampleRate_));
    // A sine of mean power P peaks at √(2P); Gaussian noise peaks at about 3σ.
    constexpr double kCrestFactor = 3.0;
    burst.sigma = std::sqrt(2.0 * signalPower_) * std::pow(10.0, aboveDb / 20.0) / kCrestFactor;
    burst.noise.seed(static_cast<std::minstd_rand::result_type>(rng_() | 1u));
    return burst;
}

void ImpulseNoise::add(float* samples, size_t n)
{
    const long long end = sample_ + static_cast<long long>(n);
    for (auto [next, kind] : {std::pair{&nextClick_, Kind::click}, std::pair{&nextCrash_, Kind::crash}, std::pair{&nextPulse_, Kind::pulse}}) {
        while (next->start >= 0 && next->start < end) {
            active_.push_back(*next);
            *next = draw(kind, next->start);
        }
    }
    for (Burst& burst : active_) {
        const long long from = std::max(burst.start, sample_);
        const long long to = std::min(burst.start + burst.length, end);
        const double rise = std::max(1.0, 0.0003 * sampleRate_);
        const double decay = double(burst.length) / 3.0;
        for (long long s = from; s < to; ++s) {
            const double age = double(s - burst.start) + 0.5;
            const double envelope = age < rise ? std::sin(0.5 * std::numbers::pi * age / rise) : std::exp(-(age - rise) / decay);
            samples[s - sample_] += static_cast<float>(burst.sigma * envelope * burst.normal(burst.noise));
        }
    }
    std::erase_if(active_, [end](const Burst& burst) { return burst.start + burst.length <= end; });
    sample_ = end;
}

}  // namespace hfchannel
