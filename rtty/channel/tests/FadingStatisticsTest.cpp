// The fading channels against the statistics F.1487 prescribes: Rayleigh
// fade depths, the Doppler spectrum's width, and the correlation of two
// tones a given distance apart.

#include "rtty/channel/HfChannel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <vector>

using namespace hfchannel;

namespace {

constexpr double kRate = 8000.0;

std::vector<float> tones(const std::vector<double>& frequencies, double seconds)
{
    std::vector<float> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        for (double f : frequencies)
            out[i] += static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * f * double(i) / kRate));
    return out;
}

// Power of one tone in consecutive blocks: the analytic signal mixed down
// and averaged over `blockSeconds`, which is a whole number of periods of
// any other tone present, so those average out.
std::vector<double> tonePower(const std::vector<float>& samples, double toneHz, double blockSeconds)
{
    AnalyticSignal analytic(kRate, 200.0);
    const auto block = static_cast<size_t>(blockSeconds * kRate);
    std::vector<double> powers;
    std::complex<double> sum;
    for (size_t i = 0; i < samples.size(); ++i) {
        const std::complex<double> z(analytic.step(samples[i]));
        sum += z * std::polar(1.0, -2.0 * std::numbers::pi * toneHz * double(i) / kRate);
        if ((i + 1) % block == 0) {
            if (i > 4 * block)  // past the filters' start
                powers.push_back(std::norm(sum / double(block)));
            sum = {};
        }
    }
    return powers;
}

double correlation(const std::vector<double>& a, const std::vector<double>& b)
{
    const size_t n = std::min(a.size(), b.size());
    const double ma = std::accumulate(a.begin(), a.begin() + long(n), 0.0) / double(n);
    const double mb = std::accumulate(b.begin(), b.begin() + long(n), 0.0) / double(n);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

ChannelSettings preset(const std::string& name, uint32_t seed = 3)
{
    return *channelPreset(name, kRate, 0.125, 1500.0, 425.0, seed);
}

}  // namespace

// A tone's power under two-path fading is exponential (a Rayleigh
// amplitude): the share of time below a level p·mean is 1 − e^−p; and the
// mean power is kept.
TEST(FadingStatistics, FadeDepthsAreRayleigh)
{
    std::vector<float> signal = tones({1500.0}, 240.0);
    HfChannel(preset("flutter")).applyAligned(signal);
    const std::vector<double> powers = tonePower(signal, 1500.0, 0.002);
    const double mean = std::accumulate(powers.begin(), powers.end(), 0.0) / double(powers.size());
    EXPECT_NEAR(mean / 0.25, 1.0, 0.06);  // a 0.5 amplitude tone has |analytic|² 0.25
    for (double level : {0.01, 0.1, 0.5, 2.0}) {
        const double below = double(std::count_if(powers.begin(), powers.end(), [&](double p) { return p < level * 0.25; }))
                             / double(powers.size());
        const double expected = 1.0 - std::exp(-level);
        EXPECT_NEAR(below / expected, 1.0, level < 0.05 ? 0.3 : 0.08) << "level " << level;
    }
}

// One path's gain, sampled slowly: a Gaussian Doppler spectrum of standard
// deviation σ (half the spread) has the autocorrelation exp(−2π²σ²τ²).
TEST(FadingStatistics, DopplerWidthIsHalfTheSpreadPerSigma)
{
    for (double spread : {1.0, 10.0}) {
        const double rate = 20.0 * spread;
        DopplerTap tap(rate, spread, 1.0, 11);
        std::vector<std::complex<double>> gains(static_cast<size_t>(4000.0 / spread * rate));
        for (auto& g : gains)
            g = std::complex<double>(tap.next());
        const double sigma = spread / 2.0;
        double power = 0;
        for (const auto& g : gains)
            power += std::norm(g);
        power /= double(gains.size());
        EXPECT_NEAR(power, 1.0, 0.08) << "spread " << spread;
        for (double expected : {0.8, 0.5, 0.2}) {
            const double lagSeconds = std::sqrt(-std::log(expected) / (2.0 * std::pow(std::numbers::pi * sigma, 2)));
            const auto lag = static_cast<size_t>(std::lround(lagSeconds * rate));
            const double exactExpected = std::exp(-2.0 * std::pow(std::numbers::pi * sigma * double(lag) / rate, 2));
            std::complex<double> sum;
            for (size_t i = lag; i < gains.size(); ++i)
                sum += gains[i] * std::conj(gains[i - lag]);
            const double measured = std::abs(sum) / double(gains.size() - lag) / power;
            EXPECT_NEAR(measured, exactExpected, 0.04) << "spread " << spread << " lag " << lag;
        }
    }
}

// With paths τ apart, the powers of two tones Δf apart correlate as
// cos²(π·Δf·τ): 0.58 for 450 Hz at 0.5 ms, none for 1000 Hz.
TEST(FadingStatistics, TonePowersCorrelateAsTheDelayPredicts)
{
    for (double shift : {450.0, 1000.0}) {
        const double low = 1500.0 - shift / 2, high = 1500.0 + shift / 2;
        std::vector<float> signal = tones({low, high}, 200.0);
        HfChannel(preset("flutter", 5)).applyAligned(signal);
        // Blocks of two periods of the difference: each tone's sum nulls the other.
        const double block = 2.0 / shift;
        const double measured = correlation(tonePower(signal, low, block), tonePower(signal, high, block));
        const double expected = std::pow(std::cos(std::numbers::pi * shift * 0.0005), 2);
        EXPECT_NEAR(measured, expected, 0.07) << "shift " << shift;
    }
}
