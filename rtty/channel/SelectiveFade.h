#pragma once

#include "rtty/channel/AnalyticSignal.h"

#include <complex>
#include <cstdint>
#include <random>
#include <vector>

// Fades the audio above or below a split frequency (one FSK tone at a
// time): clear for 1-4 s, then one side, picked at random, 10-20 dB down
// for 1.5-5 s, with 50 ms ramps. Works on the analytic signal: mixed down
// so that the split is at 0 Hz, the positive frequencies are separated from
// the negative ones by a second Hilbert filter and each side gets its gain.
// The output lags the input by delaySamples().

namespace hfchannel {

class SelectiveFade {
public:
    SelectiveFade(double sampleRate, double splitHz, double closestToneHz, uint32_t seed);

    std::complex<float> step(std::complex<float> analytic);
    int delaySamples() const { return delay_; }

    // Present gains (amplitude) above and below the split, for tests.
    float upperGain() const { return upperGain_; }
    float lowerGain() const { return lowerGain_; }

private:
    void advanceSchedule();

    double sampleRate_;
    std::mt19937 rng_;
    AnalyticSignal realPart_, imagPart_;
    int delay_;
    std::vector<std::complex<float>> delayed_;  // ring of delay_ + 1 inputs, mixed down
    size_t head_ = 0;
    std::complex<double> down_{1.0, 0.0}, downStep_;
    std::complex<double> up_{1.0, 0.0};
    long long sample_ = 0;

    // Schedule: the fade of the chosen side ramps between 1 and `depth_`.
    long long phaseEnd_ = 0;
    bool fading_ = false;
    bool upperFaded_ = false;
    float depth_ = 1.0f;
    float upperGain_ = 1.0f, lowerGain_ = 1.0f;
    long long rampSamples_;
    long long phaseStart_ = 0;
};

}  // namespace hfchannel
