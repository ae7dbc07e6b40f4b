#include "rtty/linesearch/AlsSteps.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace rtty::als {

namespace {

// Power of the runs at one frequency: each run summed coherently.
double runPower(const std::vector<float>& samples, double sampleRate,
                const std::vector<std::pair<size_t, size_t>>& runs, double hz)
{
    const double omega = -2.0 * std::numbers::pi * hz / sampleRate;
    double total = 0.0;
    for (const auto& [first, last] : runs) {
        const std::complex<double> rotation = std::polar(1.0, omega);
        std::complex<double> phasor = std::polar(1.0, omega * double(first)), sum = 0.0;
        for (size_t i = first; i < last; ++i) {
            sum += double(samples[i]) * phasor;
            phasor *= rotation;
        }
        total += std::norm(sum);
    }
    return total;
}

}  // namespace

Keying keying(const std::vector<float>& samples, double sampleRate, const TonePair& tones)
{
    Keying result;
    const Discriminator d = discriminator(samples, sampleRate, tones.lowHz, tones.highHz);
    const std::vector<float>& difference = d.values;
    const size_t count = difference.size();
    if (count < 2)
        return result;
    // Hysteresis, so that noise near a crossing does not count twice.
    constexpr double hysteresis = 0.3;
    auto sampleOf = [&](double value) { return d.firstSample + value * d.samplesPerValue; };

    int side = 0;
    double runStart = 0.0;
    const double trim = 0.003 * sampleRate;
    auto closeRun = [&](double end) {
        const double first = std::max(runStart + trim, 0.0), last = std::min(end - trim, double(samples.size()));
        if (side != 0 && last - first >= 2.0 * trim)
            (side > 0 ? result.highRuns : result.lowRuns).emplace_back(size_t(first), size_t(last));
    };
    for (size_t i = 1; i < count; ++i) {
        const int now = difference[i] > hysteresis ? 1 : difference[i] < -hysteresis ? -1 : 0;
        if (now == 0 || now == side)
            continue;
        if (side != 0) {
            // The crossing: the zero between the last value on the old side
            // and the first on the new one.
            size_t j = i;
            while (j > 1 && (difference[j - 1] > 0) == (difference[i] > 0))
                --j;
            const double a = difference[j - 1], b = difference[j];
            const double crossing = sampleOf(double(j) - 1.0 + (a != b ? a / (a - b) : 0.0));
            result.transitionSeconds.push_back(crossing / sampleRate);
            closeRun(crossing);
            runStart = crossing;
        }
        side = now;
    }
    closeRun(double(samples.size()));
    return result;
}

double refineTone(const std::vector<float>& samples, double sampleRate,
                  const std::vector<std::pair<size_t, size_t>>& runs, double toneHz, double searchHz)
{
    // Coarse steps over the whole range, then fine ones round the best.
    double best = toneHz;
    for (double step : {4.0, 0.5}) {
        const double centre = best;
        const double range = step == 4.0 ? searchHz : 4.0;
        double bestPower = -1.0;
        for (double hz = centre - range; hz <= centre + range + 1e-9; hz += step) {
            const double power = runPower(samples, sampleRate, runs, hz);
            if (power > bestPower) {
                bestPower = power;
                best = hz;
            }
        }
    }
    return best;
}

}  // namespace rtty::als
