#include "rtty/linesearch/AlsSteps.h"
#include "rtty/dsp/ToneFilter.h"

#include <algorithm>
#include <cmath>

namespace rtty::als {

namespace {

// Each tone's power is divided by its own mean over this much either side:
// short enough to follow a fade, long enough to hold several bits of either tone.
constexpr double kLevelHalfSeconds = 0.1;
// |d| above this: one tone clearly on, the other clearly off.
constexpr double kOneToneOn = 0.6;

std::vector<double> tonePowers(const std::vector<float>& samples, double sampleRate, double hz, double windowRate,
                               int decimation, double& delay)
{
    ToneFilter filter(sampleRate, hz, windowRate, decimation);
    std::vector<float> magnitudes(samples.size() / size_t(decimation) + 1);
    magnitudes.resize(filter.process(samples.data(), samples.size(), magnitudes.data()));
    delay = filter.delaySamples();
    std::vector<double> powers(magnitudes.size());
    std::transform(magnitudes.begin(), magnitudes.end(), powers.begin(), [](float m) { return double(m) * m; });
    return powers;
}

// Power over its centred running mean (the tone's own slowly tracked level).
void normalise(std::vector<double>& powers, size_t halfWidth)
{
    std::vector<double> prefix(powers.size() + 1, 0.0);
    for (size_t i = 0; i < powers.size(); ++i)
        prefix[i + 1] = prefix[i] + powers[i];
    for (size_t i = 0; i < powers.size(); ++i) {
        const size_t from = i > halfWidth ? i - halfWidth : 0, to = std::min(powers.size(), i + halfWidth + 1);
        const double mean = (prefix[to] - prefix[from]) / double(to - from);
        powers[i] = mean > 0.0 ? powers[i] / mean : 0.0;
    }
}

}  // namespace

Discriminator discriminator(const std::vector<float>& samples, double sampleRate, double lowHz, double highHz)
{
    Discriminator result;
    // A window of 1/separation puts the other tone on its first null; no
    // shorter than 5 ms, so that wide shifts keep some noise bandwidth out.
    const double separation = highHz - lowHz;
    const double windowRate = std::clamp(separation, 20.0, 200.0);
    const int decimation = std::max(1, static_cast<int>(sampleRate / 2000.0));
    double delay = 0.0;
    std::vector<double> low = tonePowers(samples, sampleRate, lowHz, windowRate, decimation, delay);
    std::vector<double> high = tonePowers(samples, sampleRate, highHz, windowRate, decimation, delay);
    const auto halfWidth = static_cast<size_t>(kLevelHalfSeconds * sampleRate / decimation);
    normalise(low, halfWidth);
    normalise(high, halfWidth);
    result.samplesPerValue = decimation;
    result.firstSample = decimation - 1.0 - delay;
    result.values.resize(std::min(low.size(), high.size()));
    for (size_t i = 0; i < result.values.size(); ++i) {
        const double sum = low[i] + high[i];
        result.values[i] = sum > 0.0 ? float((high[i] - low[i]) / sum) : 0.0f;
    }
    return result;
}

Keyedness keyedness(const Discriminator& d)
{
    Keyedness k;
    if (d.values.empty())
        return k;
    size_t low = 0, high = 0;
    double sum = 0.0;
    for (float v : d.values) {
        sum += std::fabs(v);
        low += v < -kOneToneOn;
        high += v > kOneToneOn;
    }
    const double n = double(d.values.size());
    k.meanMagnitude = sum / n;
    k.lowShare = double(low) / n;
    k.highShare = double(high) / n;
    return k;
}

bool Keyedness::looksKeyed() const
{
    // Noise alone gives |d| uniform on [0, 1] (mean 0.5, 0.2 of the time
    // beyond 0.6 on each side); steady carriers sit near 0. FSK sits near 1
    // and uses both tones; at -8 dB in 3 kHz it is still above 0.54. Only
    // peaks 6 dB above the floor get here, and framing has the last word.
    return meanMagnitude > 0.54 && std::min(lowShare, highShare) > 0.08;
}

}  // namespace rtty::als
