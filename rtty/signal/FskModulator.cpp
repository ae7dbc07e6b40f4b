#include "rtty/signal/FskModulator.h"

#include "rtty/dsp/Baudot.h"

#include <cmath>
#include <numbers>

namespace rtty {

FskModulator::FskModulator(double sampleRate, const RttyParameters& parameters, float amplitude)
    : sampleRate_(sampleRate), parameters_(parameters), amplitude_(amplitude)
{
}

void FskModulator::appendTone(bool mark, double bits, std::vector<float>& out)
{
    clockBits_ += bits;
    const double endTime = clockBits_ / parameters_.baud;
    const double frequency = (mark ? parameters_.markHz() : parameters_.spaceHz()) + offsetHz_;
    const double step = 2.0 * std::numbers::pi * frequency / sampleRate_;
    const float level = amplitude_ * (mark ? markGain_ : spaceGain_);
    // A sample belongs to the bit whose span contains its instant.
    while (static_cast<double>(samplesOut_) / sampleRate_ < endTime) {
        out.push_back(level * static_cast<float>(std::sin(phase_)));
        phase_ = std::fmod(phase_ + step, 2.0 * std::numbers::pi);
        ++samplesOut_;
    }
}

void FskModulator::appendIdle(double bits, std::vector<float>& out)
{
    appendTone(true, bits, out);
}

void FskModulator::appendCode(uint8_t code, std::vector<float>& out)
{
    appendTone(false, 1.0, out);
    for (int bit = 0; bit < 5; ++bit)
        appendTone(((code >> bit) & 1) != 0, 1.0, out);
    appendTone(true, parameters_.stopBits, out);
}

void FskModulator::appendCodes(const std::vector<uint8_t>& codes, std::vector<float>& out)
{
    for (uint8_t code : codes)
        appendCode(code, out);
}

NoiseAdder::NoiseAdder(double sampleRate, double signalPower, double snrDb, uint32_t seed)
    : rng_(seed)
{
    const double snr = std::pow(10.0, snrDb / 10.0);
    sigma_ = std::sqrt(signalPower * (sampleRate / 2.0) / (3000.0 * snr));
}

void NoiseAdder::add(float* samples, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        samples[i] += static_cast<float>(sigma_ * normal_(rng_));
}

std::vector<float> renderText(const std::string& text, double sampleRate,
                              const RttyParameters& parameters, const RenderOptions& options)
{
    FskModulator modulator(sampleRate, parameters, options.amplitude);
    std::vector<float> samples;
    modulator.appendIdle(options.leaderBits, samples);
    modulator.appendCodes(baudot::encode(text, options.resendFiguresAfterSpace).codes, samples);
    modulator.appendIdle(options.trailerBits, samples);
    if (options.addNoise) {
        const double power = 0.5 * options.amplitude * options.amplitude;
        NoiseAdder(sampleRate, power, options.snrDb, options.seed).add(samples.data(), samples.size());
    }
    return samples;
}

}  // namespace rtty
