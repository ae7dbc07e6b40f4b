#include "rtty/linesearch/AlsSteps.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <fftw3.h>
#include <mutex>
#include <numbers>
#include <string>

namespace rtty::als {

namespace {

constexpr double kLowestToneHz = 150.0;
constexpr double kHighestToneHz = 3600.0;

// FFTW's planner is not thread-safe; cards may search at the same time.
std::mutex& plannerLock()
{
    static std::mutex lock;
    return lock;
}

size_t segmentLength(double sampleRate, size_t available)
{
    size_t length = 1;
    while (length * 2 <= static_cast<size_t>(sampleRate) + 1 && length * 2 <= available)
        length *= 2;
    return length;
}

}  // namespace

double Spectrum::at(double hz) const
{
    const auto bin = static_cast<size_t>(std::lround(hz / binHz));
    return bin < power.size() ? power[bin] : 0.0;
}

Spectrum welchSpectrum(const std::vector<float>& samples, double sampleRate)
{
    Spectrum spectrum;
    const size_t length = segmentLength(sampleRate, samples.size());
    if (length < 256)
        return spectrum;
    spectrum.binHz = sampleRate / double(length);
    spectrum.power.assign(length / 2 + 1, 0.0);

    std::vector<float> input(length);
    std::vector<fftwf_complex> output(length / 2 + 1);
    fftwf_plan plan;
    {
        std::lock_guard guard(plannerLock());
        plan = fftwf_plan_dft_r2c_1d(static_cast<int>(length), input.data(), output.data(), FFTW_ESTIMATE);
    }
    std::vector<float> window(length);
    for (size_t i = 0; i < length; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(length)));
    size_t segments = 0;
    for (size_t start = 0; start + length <= samples.size(); start += length / 2, ++segments) {
        for (size_t i = 0; i < length; ++i)
            input[i] = samples[start + i] * window[i];
        fftwf_execute(plan);
        for (size_t k = 0; k < output.size(); ++k)
            spectrum.power[k] += double(output[k][0]) * output[k][0] + double(output[k][1]) * output[k][1];
    }
    {
        std::lock_guard guard(plannerLock());
        fftwf_destroy_plan(plan);
    }
    for (double& p : spectrum.power)
        p /= double(std::max<size_t>(segments, 1));

    const auto low = static_cast<size_t>(kLowestToneHz / spectrum.binHz);
    const auto high = std::min(spectrum.power.size(), static_cast<size_t>(kHighestToneHz / spectrum.binHz));
    std::vector<double> band(spectrum.power.begin() + long(low), spectrum.power.begin() + long(high));
    std::nth_element(band.begin(), band.begin() + long(band.size() / 2), band.end());
    spectrum.floor = band.empty() ? 0.0 : band[band.size() / 2];
    return spectrum;
}

std::vector<TonePair> findTonePairs(const std::vector<float>& samples, double sampleRate, const Spectrum& spectrum,
                                    std::string& reason, Seen& seen)
{
    if (spectrum.power.empty() || spectrum.floor <= 0.0) {
        const bool tooLittle = samples.empty() || spectrum.power.empty();
        reason = tooLittle ? "too little audio" : "no signal (silence)";
        seen = tooLittle ? Seen::Nothing : Seen::Silence;
        return {};
    }
    // Peaks of the spectrum smoothed over ±5 Hz, at least 6 dB above the floor.
    const auto smoothHalf = std::max<long>(1, std::lround(5.0 / spectrum.binHz));
    const auto neighbourhood = std::max<long>(1, std::lround(15.0 / spectrum.binHz));
    const long size = long(spectrum.power.size());
    std::vector<double> smooth(spectrum.power.size(), 0.0);
    for (long k = 0; k < size; ++k) {
        double sum = 0;
        long count = 0;
        for (long j = std::max(0L, k - smoothHalf); j <= std::min(size - 1, k + smoothHalf); ++j, ++count)
            sum += spectrum.power[size_t(j)];
        smooth[size_t(k)] = sum / double(count);
    }
    struct Peak {
        double hz, power;
    };
    std::vector<Peak> peaks;
    const auto low = std::lround(kLowestToneHz / spectrum.binHz);
    const auto high = std::min(size - 1, std::lround(std::min(kHighestToneHz, 0.45 * sampleRate) / spectrum.binHz));
    for (long k = low; k <= high; ++k) {
        const double p = smooth[size_t(k)];
        if (p < 4.0 * spectrum.floor)
            continue;
        bool highest = true;
        for (long j = std::max(0L, k - neighbourhood); j <= std::min(size - 1, k + neighbourhood) && highest; ++j)
            highest = smooth[size_t(j)] < p || (smooth[size_t(j)] == p && j >= k);
        if (highest)
            peaks.push_back({double(k) * spectrum.binHz, p});
    }
    if (peaks.empty()) {
        reason = "no signal above the noise";
        seen = Seen::Noise;
        return {};
    }
    if (peaks.size() == 1) {
        reason = "a single tone without keying (carrier or idle) at " + std::to_string(std::lround(peaks[0].hz)) + " Hz";
        seen = Seen::Carrier;
        return {};
    }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.power > b.power; });
    peaks.resize(std::min<size_t>(peaks.size(), 8));

    std::vector<TonePair> pairs;
    for (size_t i = 0; i < peaks.size(); ++i)
        for (size_t j = i + 1; j < peaks.size(); ++j) {
            const double separation = std::fabs(peaks[i].hz - peaks[j].hz);
            const double ratio = peaks[i].power / peaks[j].power;
            if (separation < 60.0 || separation > 1050.0 || ratio > 10.0 || ratio < 0.1)
                continue;
            const double low = std::min(peaks[i].hz, peaks[j].hz), high = std::max(peaks[i].hz, peaks[j].hz);
            const Keyedness k = keyedness(discriminator(samples, sampleRate, low, high));
            if (k.looksKeyed())
                pairs.push_back({low, high, k});
        }
    std::sort(pairs.begin(), pairs.end(), [](const TonePair& a, const TonePair& b) {
        return a.keying.meanMagnitude > b.keying.meanMagnitude;
    });
    if (pairs.empty()) {
        reason = "tones without FSK keying between them";
        seen = Seen::UnkeyedTones;
    } else {
        seen = Seen::Tones;
    }
    return pairs;
}

}  // namespace rtty::als

namespace rtty::als {

double burstShare(const std::vector<float>& samples, double sampleRate)
{
    const auto block = std::max<size_t>(8, static_cast<size_t>(0.005 * sampleRate));
    std::vector<double> powers;
    for (size_t start = 0; start + block <= samples.size(); start += block) {
        double sum = 0.0;
        for (size_t i = start; i < start + block; ++i)
            sum += double(samples[i]) * samples[i];
        powers.push_back(sum);
    }
    if (powers.size() < 20)
        return 0.0;
    std::vector<double> sorted = powers;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    if (median <= 0.0)
        return 0.0;
    return double(std::count_if(powers.begin(), powers.end(), [&](double p) { return p > 10.0 * median; }))
         / double(powers.size());
}

}  // namespace rtty::als
