#pragma once

#include <cstdint>
#include <random>
#include <vector>

// Impulse noise as a receiver hears it: clicks (about 5 a second, 3 ms) and
// crashes (about 0.5 a second, 20-80 ms) at Poisson-distributed instants.
// Each is white noise under an envelope that rises in a fraction of a
// millisecond and decays exponentially over its length (a third of it per
// time constant), as an atmospheric's ringing in a receiver does; its
// peaks stand 10-30 dB above the signal's, as they look on a scope (noise
// peaks at about three times its RMS).

namespace hfchannel {

struct ImpulseSettings {
    double clicksPerSecond = 5.0;
    double clickSeconds = 0.003;
    double crashesPerSecond = 0.5;
    double crashMinSeconds = 0.020;
    double crashMaxSeconds = 0.080;
    double minAboveSignalDb = 10.0;
    double maxAboveSignalDb = 30.0;
    // A pulse train at a steady rate (each period a few percent off), as
    // an engine's ignition makes; none by default.
    double pulsesPerSecond = 0.0;
    double pulseSeconds = 0.0002;
};

class ImpulseNoise {
public:
    ImpulseNoise(double sampleRate, double signalPower, const ImpulseSettings& settings, uint32_t seed);

    // Adds the bursts that fall on these samples.
    void add(float* samples, size_t n);

private:
    struct Burst {
        long long start = 0;
        long long length = 0;
        double sigma = 0.0;
        std::minstd_rand noise;  // its own, so that block sizes do not reorder draws
        std::normal_distribution<double> normal;
    };
    enum class Kind { click, crash, pulse };
    Burst draw(Kind kind, long long after);

    double sampleRate_;
    double signalPower_;
    ImpulseSettings settings_;
    std::mt19937 rng_;
    Burst nextClick_, nextCrash_, nextPulse_;
    std::vector<Burst> active_;
    long long sample_ = 0;
};

}  // namespace hfchannel
