#pragma once

// Fades of the whole signal (both tones together) at a fixed rhythm: the
// level falls by depthDb for `seconds` every `periodSeconds`, with 10 ms
// raised-cosine edges (or at irregular times, see `irregular`). A gain on
// the signal, before any noise is added.

#include <cstdint>
#include <random>

namespace hfchannel {

struct DipSettings {
    double depthDb = 20.0;
    double seconds = 0.3;
    double periodSeconds = 3.0;
    double firstAtSeconds = 1.0;
    // Irregular: each gap between dips, each dip's length and its depth
    // drawn anew (0.3-1.7 times the period and the length, half to all of
    // the depth), as fades come on a real path.
    bool irregular = false;
    uint32_t seed = 1;
};

class LevelDips {
public:
    LevelDips(double sampleRate, const DipSettings& settings);
    // The gain for the next sample.
    float next();

private:
    double sampleRate_;
    DipSettings settings_;
    double floor_;
    long long sample_ = 0;
    float nextIrregular(double t);
    std::mt19937 rng_;
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
    double dipStart_ = 0.0, dipSeconds_ = 0.0, dipFloor_ = 1.0;  // the current or next irregular dip
};

}  // namespace hfchannel
