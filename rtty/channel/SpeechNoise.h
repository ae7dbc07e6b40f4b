#pragma once

#include <cstdint>
#include <random>

// Noise that sounds like speech to a squelch: white noise shaped to a voice
// band (a second-order band-pass round 500 Hz to 2 kHz) under a syllabic
// envelope (syllables of 100-300 ms at about four a second, words and
// pauses of up to a second between them), with the pitch of a voice's
// harmonics (a pulse train at 100-200 Hz gliding within each syllable). It
// stands for a phone or SSB voice channel on the frequency: no FSK keying,
// but loud, bursty and tonal, which a squelch on level alone would open on.

namespace hfchannel {

class SpeechNoise {
public:
    SpeechNoise(double sampleRate, double power, uint32_t seed);
    float next();

private:
    void newSyllable();

    double sampleRate_;
    double gain_;
    std::mt19937 rng_;
    std::normal_distribution<double> normal_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
    // Syllable: attack, hold and decay of the envelope, then a gap.
    long long syllableLeft_ = 0, syllableLength_ = 1, gapLeft_ = 0;
    double pitchHz_ = 120.0, pitchGlide_ = 0.0, pitchPhase_ = 0.0;
    // Band-pass state (two biquads in series).
    double x1_[2]{}, x2_[2]{}, y1_[2]{}, y2_[2]{};
    double b0_[2]{}, b2_[2]{}, a1_[2]{}, a2_[2]{};
};

}  // namespace hfchannel
