#pragma once

#include "rtty/dsp/RttyParameters.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Text to RTTY audio: continuous-phase FSK with the bit clock kept in double
// precision, so bit lengths that are not whole samples stay exact on average.

namespace rtty {

class FskModulator {
public:
    FskModulator(double sampleRate, const RttyParameters& parameters, float amplitude = 0.5f);

    // Steady mark for the given number of bit times.
    void appendIdle(double bits, std::vector<float>& out);
    // Start bit, five data bits (least significant first), stop bits.
    void appendCode(uint8_t code, std::vector<float>& out);
    void appendCodes(const std::vector<uint8_t>& codes, std::vector<float>& out);

    // Relative tone levels, as selective fading leaves them (1 and 1 by default).
    void setToneGains(float markGain, float spaceGain)
    {
        markGain_ = markGain;
        spaceGain_ = spaceGain;
    }

    // Moves both tones, as a mistuned or drifting transmitter would.
    void setFrequencyOffset(double hz) { offsetHz_ = hz; }

    double sampleRate() const { return sampleRate_; }
    float amplitude() const { return amplitude_; }

private:
    void appendTone(bool mark, double bits, std::vector<float>& out);

    double sampleRate_;
    RttyParameters parameters_;
    float amplitude_;
    double offsetHz_ = 0.0;
    float markGain_ = 1.0f;
    float spaceGain_ = 1.0f;
    double phase_ = 0.0;       // radians
    double clockBits_ = 0.0;   // bit time already rendered
    int64_t samplesOut_ = 0;
};

// Adds white Gaussian noise so that the signal of the given power has the
// given SNR in a 3 kHz bandwidth.
class NoiseAdder {
public:
    NoiseAdder(double sampleRate, double signalPower, double snrDb, uint32_t seed);
    void add(float* samples, size_t n);
    double sigma() const { return sigma_; }

private:
    std::mt19937 rng_;
    std::normal_distribution<double> normal_;
    double sigma_;
};

// Renders text as a complete transmission: a short mark leader, the codes,
// a short mark trailer. Noise is added when snrDb is given.
struct RenderOptions {
    double leaderBits = 8.0;
    double trailerBits = 8.0;
    bool resendFiguresAfterSpace = true;
    bool addNoise = false;
    double snrDb = 20.0;
    uint32_t seed = 1;
    float amplitude = 0.5f;
};
std::vector<float> renderText(const std::string& text, double sampleRate,
                              const RttyParameters& parameters, const RenderOptions& options = {});

}  // namespace rtty
