#include "ToneAwareBound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bench {

namespace {

// ln I0(x), steady for large x where I0 itself overflows.
double logBesselI0(double x)
{
    if (x < 30.0)
        return std::log(std::cyl_bessel_i(0.0, x));
    return x - 0.5 * std::log(2.0 * std::numbers::pi * x) + std::log1p(1.0 / (8.0 * x) + 9.0 / (128.0 * x * x));
}

}  // namespace

double toneAmplitude(const std::vector<float>& clean, const std::vector<double>& starts, const IdealTiming& line,
                     double stopBits)
{
    const double bit = line.sampleRate / line.baud;
    double power = 0.0;
    size_t count = 0;
    for (double start : starts) {
        const auto from = static_cast<size_t>(std::max(0.0, std::ceil(start)));
        const auto to = std::min(clean.size(), static_cast<size_t>(start + (6.0 + stopBits) * bit));
        for (size_t n = from; n < to; ++n)
            power += double(clean[n]) * clean[n];
        count += to > from ? to - from : 0;
    }
    return count ? std::sqrt(2.0 * power / double(count)) : 0.0;
}

std::string toneAwareDecode(const std::vector<float>& received, const std::vector<double>& starts,
                            const IdealTiming& line, const KnownChannel& channel)
{
    const double bit = line.sampleRate / line.baud;
    const double variance = std::max(channel.noiseVariance, 1e-12);
    const auto length = static_cast<long>(std::min({received.size(), channel.markGain.size(), channel.spaceGain.size()}));
    auto logLikelihood = [&](double from, double toneHz, const std::vector<std::complex<float>>& gain) {
        const double step = 2.0 * std::numbers::pi * toneHz / line.sampleRate;
        std::complex<double> correlation;
        double energy = 0.0;
        const auto first = std::max(static_cast<long>(std::ceil(from)), 0L);
        const auto last = std::min(static_cast<long>(std::ceil(from + bit)), length);
        for (long n = first; n < last; ++n) {
            const double phase = std::fmod(step * double(n), 2.0 * std::numbers::pi);
            const std::complex<double> delivered =
                channel.amplitude * std::complex<double>(gain[size_t(n)]) * std::polar(1.0, phase);
            correlation += double(received[size_t(n)]) * delivered;
            energy += std::norm(delivered);
        }
        return logBesselI0(std::abs(correlation) / variance) - energy / (4.0 * variance);
    };
    return decodeCharacters(starts, line, [&](double from) {
        return logLikelihood(from, line.markHz, channel.markGain) > logLikelihood(from, line.spaceHz, channel.spaceGain);
    });
}

}  // namespace bench
