#include "rtty/channel/HfChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace hfchannel;

namespace {

constexpr double kRate = 8000.0;

std::vector<float> tone(double hz, double seconds, double amplitude = 0.5)
{
    std::vector<float> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate));
    return out;
}

ChannelSettings preset(const std::string& name, uint32_t seed = 1)
{
    return *channelPreset(name, kRate, 0.125, 1500.0, 425.0, seed);
}

}  // namespace

TEST(AnalyticSignal, RealPartIsTheDelayedInputAndOnlyPositiveFrequenciesPass)
{
    const std::vector<float> input = tone(700.0, 1.0);
    AnalyticSignal analytic(kRate, 200.0);
    const int delay = analytic.delaySamples();
    double worstReal = 0, worstMagnitude = 0;
    std::complex<double> turn;
    std::complex<float> previous;
    for (size_t i = 0; i < input.size(); ++i) {
        const std::complex<float> z = analytic.step(input[i]);
        if (i < size_t(4 * delay))
            continue;
        worstReal = std::max(worstReal, double(std::fabs(z.real() - input[i - size_t(delay)])));
        worstMagnitude = std::max(worstMagnitude, double(std::fabs(std::abs(z) - 0.5f)));
        turn += std::complex<double>(z * std::conj(previous));
        previous = z;
    }
    EXPECT_LT(worstReal, 1e-3);
    EXPECT_LT(worstMagnitude, 0.01);
    EXPECT_NEAR(std::arg(turn) * kRate / (2.0 * std::numbers::pi), 700.0, 0.5);  // positive: a forward turn
}

TEST(HfChannel, NamedPresets)
{
    for (const std::string& name : channelPresetNames())
        EXPECT_TRUE(channelPreset(name, kRate, 0.1, 1500, 425, 1)) << name;
    EXPECT_FALSE(channelPreset("Moderate ", kRate, 0.1, 1500, 425, 1));
    const ChannelSettings poor = preset("poor");
    EXPECT_DOUBLE_EQ(poor.pathDelaySeconds, 0.002);
    EXPECT_DOUBLE_EQ(poor.dopplerSpreadHz, 1.0);
    const auto twoPaths = channelPreset("fading:0.5:2", kRate, 0.1, 1500, 425, 1);
    ASSERT_TRUE(twoPaths);
    EXPECT_DOUBLE_EQ(twoPaths->pathDelaySeconds, 0.0005);
    EXPECT_DOUBLE_EQ(twoPaths->dopplerSpreadHz, 2.0);
    EXPECT_FALSE(channelPreset("fading:0:0", kRate, 0.1, 1500, 425, 1));
}

// The demo feeds the channel in blocks of whatever size the reader asks for.
TEST(HfChannel, SameSeedSameOutputWhateverTheBlockSize)
{
    for (const std::string& name : channelPresetNames()) {
        ChannelSettings settings = preset(name, 4);
        settings.snrDb = 10.0;
        std::vector<float> whole = tone(1712.5, 3.0), pieces = whole, other = whole;
        HfChannel(settings).process(whole.data(), whole.size());
        HfChannel chunked(settings);
        for (size_t done = 0, size = 1; done < pieces.size(); done += size, size = size * 3 % 4099 + 1)
            chunked.process(pieces.data() + done, std::min(size, pieces.size() - done));
        EXPECT_EQ(whole, pieces) << name;
        settings.seed = 5;
        HfChannel(settings).process(other.data(), other.size());
        EXPECT_NE(whole, other) << name;
    }
}

TEST(HfChannel, WhiteNoiseAtTheRequestedSnr)
{
    ChannelSettings settings = preset("white");
    settings.snrDb = 0.0;
    std::vector<float> silence(400000, 0.0f);
    HfChannel(settings).process(silence.data(), silence.size());
    double power = 0;
    for (float s : silence)
        power += double(s) * s;
    power /= double(silence.size());
    // 0.125 of signal against noise over 4 kHz, 3 kHz of which count.
    EXPECT_NEAR(power, 0.125 * 4000.0 / 3000.0, 0.005);
}

TEST(HfChannel, OffsetMovesAndDriftsTheTone)
{
    std::vector<float> signal = tone(1000.0, 125.0);
    HfChannel(preset("offset")).applyAligned(signal);
    AnalyticSignal analytic(kRate, 200.0);
    auto frequencyAround = [&](double seconds) {
        std::complex<double> turn;
        std::complex<float> previous;
        const auto from = static_cast<size_t>(seconds * kRate);
        for (size_t i = from; i < from + 8000; ++i) {
            const std::complex<float> z = analytic.step(signal[i]);
            if (i >= from + 400)
                turn += std::complex<double>(z * std::conj(previous));
            previous = z;
        }
        return std::arg(turn) * kRate / (2.0 * std::numbers::pi);
    };
    EXPECT_NEAR(frequencyAround(1.0), 1037.0 + 1.5 / 60.0, 0.1);
    EXPECT_NEAR(frequencyAround(120.0), 1037.0 + 120.5 / 60.0, 0.1);
}

// One tone at a time goes 10-20 dB down for 1.5-5 s; clear spells last 1-4 s.
TEST(HfChannel, SelectiveFadeTakesOneToneAtATime)
{
    const ChannelSettings settings = preset("selective", 9);
    SelectiveFade fade(kRate, settings.splitHz, settings.toneOffsetHz, 9);
    AnalyticSignal analytic(kRate, 200.0);
    const int delay = analytic.delaySamples() + fade.delaySamples();
    std::vector<std::complex<float>> out;
    std::vector<std::pair<float, float>> gains;
    const double upper = 1712.5, lower = 1287.5;
    std::vector<double> fadeSeconds, clearSeconds;
    long long runStart = 0;
    bool wasFaded = false;
    const auto total = static_cast<long long>(120 * kRate);
    for (long long i = 0; i < total; ++i) {
        const double t = double(i) / kRate;
        const float x = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * upper * t) + 0.5 * std::sin(2 * std::numbers::pi * lower * t));
        out.push_back(fade.step(analytic.step(x)));
        gains.emplace_back(fade.upperGain(), fade.lowerGain());
        ASSERT_TRUE(fade.upperGain() == 1.0f || fade.lowerGain() == 1.0f);
        const bool faded = fade.upperGain() < 1.0f || fade.lowerGain() < 1.0f;
        if (faded != wasFaded) {
            (wasFaded ? fadeSeconds : clearSeconds).push_back(double(i - runStart) / kRate);
            runStart = i;
            wasFaded = faded;
        }
    }
    ASSERT_GE(fadeSeconds.size(), 15u);
    for (double s : fadeSeconds)
        EXPECT_TRUE(s >= 1.5 && s <= 5.0) << s;
    for (size_t k = 1; k < clearSeconds.size(); ++k)  // the first spell may start mid-way
        EXPECT_TRUE(clearSeconds[k] >= 1.0 && clearSeconds[k] <= 4.0) << clearSeconds[k];

    // The measured tone levels follow the gains, 20 ms at a time.
    const auto block = static_cast<size_t>(0.02 * kRate);
    for (size_t from = size_t(delay) + 8000; from + block < out.size(); from += 10 * block) {
        std::complex<double> sumUpper, sumLower;
        for (size_t i = from; i < from + block; ++i) {
            const double t = double(i - size_t(delay)) / kRate;
            sumUpper += std::complex<double>(out[i]) * std::polar(1.0, -2 * std::numbers::pi * upper * t);
            sumLower += std::complex<double>(out[i]) * std::polar(1.0, -2 * std::numbers::pi * lower * t);
        }
        const auto [gainUpper, gainLower] = gains[from + block / 2];
        EXPECT_NEAR(std::abs(sumUpper) / double(block), 0.5 * gainUpper, 0.02) << from;
        EXPECT_NEAR(std::abs(sumLower) / double(block), 0.5 * gainLower, 0.02) << from;
    }
}

// Bursts come at the set rates, last as long as set, and peak 10-30 dB
// above the signal's peak.
TEST(HfChannel, ImpulseBurstsAtTheirRatesAndLevels)
{
    std::vector<float> silence(static_cast<size_t>(200 * kRate), 0.0f);
    HfChannel(preset("impulse", 2)).process(silence.data(), silence.size());
    std::vector<std::pair<size_t, double>> bursts;  // length, peak
    for (size_t i = 0; i < silence.size();) {
        if (silence[i] == 0.0f) {
            ++i;
            continue;
        }
        size_t end = i;
        double peak = 0;
        for (; end < silence.size() && silence[end] != 0.0f; ++end)
            peak = std::max(peak, double(std::fabs(silence[end])));
        bursts.emplace_back(end - i, peak);
        i = end;
    }
    const auto clicks = std::count_if(bursts.begin(), bursts.end(), [](const auto& b) { return b.first <= 30; });
    const auto crashes = std::count_if(bursts.begin(), bursts.end(), [](const auto& b) { return b.first >= 150 && b.first <= 650; });
    // Poisson counts over 200 s, a few standard deviations either side; overlaps merge some.
    EXPECT_GT(clicks, 850);
    EXPECT_LT(clicks, 1100);
    EXPECT_GT(crashes, 70);
    EXPECT_LT(crashes, 135);
    // A crash is long enough for its noise to reach three times its RMS (the
    // level is set by); a click's few samples near its peak fall short of that.
    double sumDb = 0;
    int counted = 0;
    const double signalPeak = 0.5;  // a sine of power 0.125
    for (const auto& [length, peak] : bursts) {
        const double aboveDb = 20 * std::log10(peak / signalPeak);
        EXPECT_LT(aboveDb, 36.0) << length;
        if (length < 150)
            continue;
        EXPECT_GT(aboveDb, 3.0) << length;
        sumDb += aboveDb;
        ++counted;
    }
    EXPECT_NEAR(sumDb / counted, 20.0, 2.5);
}
