#include "rtty/channel/SpeechNoise.h"

#include <cmath>
#include <numbers>

namespace hfchannel {

SpeechNoise::SpeechNoise(double sampleRate, double power, uint32_t seed)
    : sampleRate_(sampleRate), rng_(seed * 2246822519u + 11u)
{
    // Two resonators of the voice band: round 700 Hz and 1800 Hz, Q about 1.5.
    const double centres[2] = {700.0, 1800.0};
    for (int k = 0; k < 2; ++k) {
        const double w = 2.0 * std::numbers::pi * centres[k] / sampleRate_;
        const double alpha = std::sin(w) / (2.0 * 1.5);
        const double a0 = 1.0 + alpha;
        b0_[k] = alpha / a0;
        b2_[k] = -alpha / a0;
        a1_[k] = -2.0 * std::cos(w) / a0;
        a2_[k] = (1.0 - alpha) / a0;
    }
    // The filtered noise and pulses come out at roughly a tenth of the
    // input's power; the envelope is on about half the time.
    gain_ = std::sqrt(power) * 4.0;
    newSyllable();
}

void SpeechNoise::newSyllable()
{
    syllableLength_ = syllableLeft_ = static_cast<long long>((0.1 + 0.2 * uniform_(rng_)) * sampleRate_);
    // Mostly short gaps between syllables, now and then a pause between words.
    const double gap = uniform_(rng_) < 0.75 ? 0.03 + 0.1 * uniform_(rng_) : 0.2 + 0.8 * uniform_(rng_);
    gapLeft_ = static_cast<long long>(gap * sampleRate_);
    pitchHz_ = 100.0 + 100.0 * uniform_(rng_);
    pitchGlide_ = (uniform_(rng_) - 0.5) * 60.0 / double(syllableLength_);
}

float SpeechNoise::next()
{
    double envelope = 0.0;
    if (syllableLeft_ > 0) {
        const double position = 1.0 - double(syllableLeft_) / double(syllableLength_);
        envelope = std::sin(std::numbers::pi * position);
        --syllableLeft_;
        pitchHz_ += pitchGlide_;
    } else if (gapLeft_ > 0) {
        --gapLeft_;
    } else {
        newSyllable();
    }
    // Voiced: a pulse at each pitch period, plus breath noise.
    pitchPhase_ += pitchHz_ / sampleRate_;
    double excitation = 0.3 * normal_(rng_);
    if (pitchPhase_ >= 1.0) {
        pitchPhase_ -= 1.0;
        excitation += 6.0;
    }
    double x = excitation * envelope;
    for (int k = 0; k < 2; ++k) {
        const double y = b0_[k] * x + b2_[k] * x2_[k] - a1_[k] * y1_[k] - a2_[k] * y2_[k];
        x2_[k] = x1_[k];
        x1_[k] = x;
        y2_[k] = y1_[k];
        y1_[k] = y;
        x = y;
    }
    return static_cast<float>(gain_ * x);
}

}  // namespace hfchannel
