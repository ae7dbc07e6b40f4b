#include "rtty/channel/HfChannel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

using namespace hfchannel;

namespace {

constexpr double kRate = 8000.0;
constexpr double kPower = 0.125;  // a sine of amplitude 0.5

std::vector<float> tone(double hz, double seconds)
{
    std::vector<float> out(static_cast<size_t>(seconds * kRate));
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate));
    return out;
}

ChannelSettings condition(const std::string& name, uint32_t seed = 1)
{
    auto settings = channelPreset(name, kRate, kPower, 1500.0, 450.0, seed);
    EXPECT_TRUE(settings) << name;
    return settings.value_or(ChannelSettings{});
}

// Power of the samples at one frequency (Goertzel, over the whole block).
double powerAt(const std::vector<float>& x, double hz, size_t from = 0, size_t to = 0)
{
    to = to ? to : x.size();
    const double w = 2.0 * std::numbers::pi * hz / kRate;
    std::complex<double> sum;
    for (size_t i = from; i < to; ++i)
        sum += double(x[i]) * std::polar(1.0, -w * double(i));
    return 2.0 * std::norm(sum) / std::pow(double(to - from), 2.0);
}

// The same over 40 ms windows, averaged: for keyed signals, whose phase
// does not hold over the whole block.
double keyedPowerAt(const std::vector<float>& x, double hz)
{
    double sum = 0;
    size_t windows = 0;
    for (size_t at = 0; at + 320 <= x.size(); at += 320, ++windows)
        sum += powerAt(x, hz, at, at + 320);
    return sum / double(windows);
}

double meanPower(const std::vector<float>& x, size_t from, size_t to)
{
    double p = 0;
    for (size_t i = from; i < to; ++i)
        p += double(x[i]) * x[i];
    return p / double(to - from);
}

}  // namespace

TEST(ChannelConditions, NamesWithNumbersAndPartsJoined)
{
    const ChannelSettings both = condition("moderate+adjacent:-300:6+agc:0.1:2");
    EXPECT_TRUE(both.multipath);
    ASSERT_TRUE(both.interference.adjacent);
    EXPECT_DOUBLE_EQ(both.interference.adjacent->centreHz, 1200.0);
    EXPECT_DOUBLE_EQ(both.interference.adjacent->levelDb, 6.0);
    EXPECT_DOUBLE_EQ(both.interference.adjacent->shiftHz, 450.0);
    ASSERT_TRUE(both.receiver.agc);
    EXPECT_DOUBLE_EQ(both.receiver.agc->releaseSeconds, 2.0);
    EXPECT_DOUBLE_EQ(condition("clock:-250").clockPpm, -250.0);
    EXPECT_TRUE(condition("irregular:30:0.5:4").dip.irregular);

    for (const char* bad : {"adjacent:5x", "clock:", "dips:20:3:1", "if:4000", "hum:0:0", "clip:1:2", "moderate+",
                            "agc+nothing", "carrier::3"})
        EXPECT_FALSE(channelPreset(bad, kRate, kPower, 1500.0, 450.0, 1)) << bad;
}

TEST(ChannelConditions, OtherStationsSitWhereAndAsLoudAsAsked)
{
    std::vector<float> silence(size_t(4 * kRate), 0.0f);

    // A neighbour 500 Hz up, 6 dB over: its tones at 1775 and 2225 Hz, nothing on ours.
    std::vector<float> x = silence;
    HfChannel(condition("adjacent:500:6")).process(x.data(), x.size());
    EXPECT_NEAR(10.0 * std::log10(meanPower(x, 0, x.size()) / kPower), 6.0, 0.3);
    EXPECT_GT(keyedPowerAt(x, 1775.0), 0.5 * kPower);
    EXPECT_GT(keyedPowerAt(x, 2225.0), 0.5 * kPower);
    EXPECT_LT(keyedPowerAt(x, 1275.0), 0.01 * kPower);

    // A carrier on the mark tone, 6 dB down.
    x = silence;
    HfChannel(condition("carrier:225:-6")).process(x.data(), x.size());
    EXPECT_NEAR(10.0 * std::log10(powerAt(x, 1725.0) / kPower), -6.0, 0.2);

    // Keyed CW: on and off, at its level while on.
    x = silence;
    HfChannel(condition("cw:300:0:20")).process(x.data(), x.size());
    int on = 0, off = 0;
    for (size_t at = 0; at + 80 <= x.size(); at += 80) {  // 10 ms slices
        const double p = meanPower(x, at, at + 80);
        on += p > 0.8 * kPower;
        off += p < 0.01 * kPower;
    }
    EXPECT_GT(on, 40);
    EXPECT_GT(off, 40);

    // Hum: power on the harmonics of 50 Hz, in total at its level.
    x = silence;
    HfChannel(condition("hum:-10")).process(x.data(), x.size());
    EXPECT_NEAR(10.0 * std::log10(meanPower(x, 0, x.size()) / kPower), -10.0, 0.3);
    EXPECT_GT(powerAt(x, 1500.0), 100.0 * powerAt(x, 1525.0));
}

TEST(ChannelConditions, IfFilterPassesTheTonesAndCutsOutside)
{
    auto through = [](const std::string& name, double hz) {
        std::vector<float> x = tone(hz, 1.0);
        HfChannel(condition(name)).process(x.data(), x.size());
        return 10.0 * std::log10(meanPower(x, 4000, 8000) / kPower);
    };
    for (double hz : {1275.0, 1500.0, 1725.0})
        EXPECT_GT(through("if:500", hz), -1.5) << hz;
    EXPECT_LT(through("if:500", 1000.0), -30.0);
    EXPECT_LT(through("if:500", 2000.0), -25.0);
    // Tuned 60 Hz up, the filter leaves the space tone on its skirt.
    EXPECT_LT(through("if:500:60", 1275.0), -3.0);
}

// A click cuts the AGC's gain at once; the signal then stays down for the
// hang and comes back over the release.
TEST(ChannelConditions, AgcHoldsTheLevelAndPumpsOnAClick)
{
    std::vector<float> x = tone(1500.0, 3.0);
    for (size_t i = 8000; i < 8016; ++i)
        x[i] += 20.0f * (i % 2 ? 1.0f : -1.0f);
    HfChannel(condition("agc:0.3:0.5")).process(x.data(), x.size());
    const auto level = [&](double seconds) {
        const auto at = size_t(seconds * kRate);
        return 10.0 * std::log10(meanPower(x, at, at + 400) / kPower);
    };
    EXPECT_NEAR(level(0.5), 0.0, 0.5);
    EXPECT_LT(level(1.1), -20.0);  // in the hang
    EXPECT_LT(level(1.5), -10.0);  // coming back
    EXPECT_NEAR(level(2.9), 0.0, 1.0);
}

TEST(ChannelConditions, ClippingBoundsThePeaks)
{
    std::vector<float> x = tone(1500.0, 0.5);
    HfChannel(condition("clip:-6")).process(x.data(), x.size());
    float peak = 0;
    for (float s : x)
        peak = std::max(peak, std::fabs(s));
    EXPECT_NEAR(peak, 0.5f * std::pow(10.0f, -6.0f / 20.0f), 1e-4);
}

// A sound card 1000 ppm fast takes 0.1 % more samples of the same signal:
// every tone lies 0.1 % lower.
TEST(ChannelConditions, ClockErrorStretchesTheRecording)
{
    std::vector<float> x = tone(1500.0, 20.0);
    const size_t length = x.size();
    HfChannel(condition("clock:1000")).applyAligned(x);
    EXPECT_NEAR(double(x.size()), double(length) * 1.001, 2.0);
    // The tone's frequency from its zero crossings over the middle 18 s.
    int crossings = 0;
    const auto from = size_t(kRate), to = size_t(19.0 * kRate);
    for (size_t i = from + 1; i < to; ++i)
        crossings += (x[i - 1] < 0.0f) != (x[i] < 0.0f);
    EXPECT_NEAR(crossings / 2.0 / 18.0, 1500.0 / 1.001, 0.1);
    // Lined up at the start.
    EXPECT_GT(powerAt(x, 1500.0 / 1.001, 0, 800), 0.9 * kPower);
}

// Irregular dips: the same seed gives the same dips, and gaps and lengths vary.
TEST(ChannelConditions, IrregularDipsVaryAndRepeatBySeed)
{
    auto gains = [](uint32_t seed) {
        ChannelSettings s = condition("irregular:20:0.3:3", seed);
        LevelDips dips(kRate, s.dip);
        std::vector<float> g(size_t(60 * kRate));
        for (float& v : g)
            v = dips.next();
        return g;
    };
    const std::vector<float> a = gains(3);
    EXPECT_EQ(a, gains(3));
    EXPECT_NE(a, gains(4));
    std::vector<double> starts, lengths;
    for (size_t i = 1; i < a.size(); ++i) {
        if (a[i] < 0.5f && a[i - 1] >= 0.5f)
            starts.push_back(double(i) / kRate);
        if (a[i] >= 0.5f && a[i - 1] < 0.5f)
            lengths.push_back(double(i) / kRate - starts.back());
    }
    ASSERT_GE(starts.size(), 12u);
    ASSERT_LE(starts.size(), 40u);
    const auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    EXPECT_LT(*shortest, 0.2);
    EXPECT_GT(*longest, 0.4);
}

// Clicks alone, crashes alone and an ignition's pulse train, each at the
// rate and length asked: counted in silence as runs of non-zero samples.
TEST(ChannelConditions, BurstKindsAtTheirRatesAndLengths)
{
    auto runs = [](const std::string& name) {
        std::vector<float> silence(static_cast<size_t>(20 * kRate), 0.0f);
        HfChannel(condition(name, 3)).process(silence.data(), silence.size());
        std::vector<size_t> lengths;
        for (size_t i = 0; i < silence.size();) {
            size_t end = i;
            while (end < silence.size() && silence[end] != 0.0f)
                ++end;
            if (end > i)
                lengths.push_back(end - i);
            i = end + 1;
        }
        return lengths;
    };
    const std::vector<size_t> pulses = runs("ignition:60:20:0.5");
    EXPECT_NEAR(double(pulses.size()), 1200.0, 40.0);  // 60 a second, each period within 3 %
    EXPECT_TRUE(std::all_of(pulses.begin(), pulses.end(), [](size_t n) { return n <= 4; }));
    const std::vector<size_t> clicks = runs("clicks:20:10:20");
    EXPECT_GT(clicks.size(), 300u);  // 400 expected; overlaps merge a few
    EXPECT_LT(clicks.size(), 480u);
    EXPECT_TRUE(std::all_of(clicks.begin(), clicks.end(), [](size_t n) { return n <= 60; }));
    const std::vector<size_t> crashes = runs("crashes:2:100:300");
    EXPECT_GT(crashes.size(), 20u);  // 40 expected
    EXPECT_LT(crashes.size(), 60u);
    EXPECT_TRUE(std::all_of(crashes.begin(), crashes.end(), [](size_t n) { return n >= 700; }));
    for (const char* bad : {"clicks:0", "crashes:1:80:20", "ignition:0", "ignition:60:20:0"})
        EXPECT_FALSE(channelPreset(bad, kRate, kPower, 1500.0, 450.0, 1)) << bad;
}
