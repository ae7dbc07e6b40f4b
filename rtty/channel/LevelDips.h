#pragma once

// Fades of the whole signal (both tones together) at a fixed rhythm: the
// level falls by depthDb for `seconds` every `periodSeconds`, with 10 ms
// raised-cosine edges. A gain on the signal, before any noise is added.

namespace hfchannel {

struct DipSettings {
    double depthDb = 20.0;
    double seconds = 0.3;
    double periodSeconds = 3.0;
    double firstAtSeconds = 1.0;
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
};

}  // namespace hfchannel
