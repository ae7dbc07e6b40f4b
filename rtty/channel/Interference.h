#pragma once

#include <cstdint>
#include <complex>
#include <optional>
#include <random>
#include <vector>

// Other signals on the frequency, added to the wanted one before the
// receiver's noise: a second RTTY station beside it, a steady or keyed
// carrier (a heterodyne, a CW station) and mains hum with its harmonics.
// Levels are against the wanted signal's mean power. Seeded.

namespace hfchannel {

struct AdjacentStation {
    double centreHz = 2000.0;
    double levelDb = 0.0;
    double baud = 50.0;
    double shiftHz = 450.0;
};

struct Carrier {
    double hz = 1500.0;
    double levelDb = 0.0;
    double driftHzPerMinute = 0.0;
    // Keyed as Morse at this speed (random dots, dashes and gaps); steady when 0.
    double keyedWpm = 0.0;
};

struct Hum {
    double levelDb = -10.0;    // all harmonics together
    double mainsHz = 50.0;
    // Harmonic k at 1/k^slope of the first's amplitude: a rectifier's buzz
    // keeps many strong harmonics (about 1), a clean transformer few (2-3).
    double slope = 1.0;
};

struct InterferenceSettings {
    std::optional<AdjacentStation> adjacent;
    std::optional<Carrier> carrier;
    std::optional<Hum> hum;
};

class Interference {
public:
    Interference(double sampleRate, double signalPower, const InterferenceSettings& settings, uint32_t seed);
    bool active() const;
    float next();

private:
    float adjacentSample();
    float carrierSample();
    float humSample();

    double sampleRate_;
    InterferenceSettings settings_;
    std::mt19937 rng_;
    std::uniform_int_distribution<int> bit_{0, 1};
    std::uniform_real_distribution<double> uniform_{0.0, 1.0};
    long long sample_ = 0;

    // The adjacent station: continuous-phase FSK, random characters of 1 start,
    // 5 data and 1.5 stop bits, sent back to back.
    double adjacentAmplitude_ = 0.0, adjacentPhase_ = 0.0, bitLeft_ = 0.0;
    int bitsLeftInCharacter_ = 0;
    bool mark_ = true;

    double carrierAmplitude_ = 0.0, carrierPhase_ = 0.0;
    long long keyLeft_ = 0;
    bool keyDown_ = true;
    double keyLevel_ = 1.0;  // follows keyDown_ with 5 ms edges, as a keyer's shaping does

    // One rotating phasor per harmonic up to 3 kHz.
    std::vector<std::complex<double>> humPhasor_, humStep_;
    std::vector<double> humMagnitude_;
};

}  // namespace hfchannel
