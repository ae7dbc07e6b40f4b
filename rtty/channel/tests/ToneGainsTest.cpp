#include "rtty/channel/ToneGains.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace hfchannel;

namespace {
constexpr double kRate = 8000.0;
}

// The gains are what the channel did: a tone of any phase, sent through the
// channel itself, is the tone times its gain, sample by sample and lined up.
// A gain off by a sample, a sign or a path would show here at once.
TEST(ToneGains, ReproduceWhatTheChannelDidToATone)
{
    const double toneHz = 1712.5, amplitude = 0.4, phase = 0.7;
    const size_t length = static_cast<size_t>(20 * kRate);
    for (const char* name : {"moderate", "poor", "flutter", "offset", "selective", "dips20", "storm"}) {
        ChannelSettings settings = *channelPreset(name, kRate, 0.08, 1500.0, 425.0, 3);
        const std::vector<std::complex<float>> gains = toneGains(settings, toneHz, length);
        std::vector<float> sent(length);
        for (size_t n = 0; n < length; ++n)
            sent[n] = static_cast<float>(amplitude * std::cos(2 * std::numbers::pi * toneHz * double(n) / kRate + phase));
        settings.impulses = false;  // additive: not part of the gain
        HfChannel(settings).applyAligned(sent);
        double error = 0, power = 0;
        for (size_t n = 4000; n < length - 4000; ++n) {
            const std::complex<double> expected = amplitude * std::complex<double>(gains[n]) *
                std::polar(1.0, 2 * std::numbers::pi * toneHz * double(n) / kRate + phase);
            error += std::pow(double(sent[n]) - expected.real(), 2);
            power += std::pow(double(sent[n]), 2);
        }
        EXPECT_LT(error, 1e-6 * power) << name;
        EXPECT_GT(power, 0.0) << name;
    }
}

// Dips take both tones alike; a selective fade only one side; two paths 1 ms
// apart fade tones 425 Hz apart almost independently.
TEST(ToneGains, FadesLandOnTheRightTones)
{
    const size_t length = static_cast<size_t>(60 * kRate);
    auto gainsOf = [&](const char* name, double toneHz) {
        return toneGains(*channelPreset(name, kRate, 0.1, 1500.0, 425.0, 5), toneHz, length);
    };
    const auto dipUpper = gainsOf("dips20", 1712.5), dipLower = gainsOf("dips20", 1287.5);
    const size_t bottom = static_cast<size_t>(4.15 * kRate), between = static_cast<size_t>(3.0 * kRate);
    EXPECT_NEAR(std::abs(dipUpper[bottom]), 0.1, 0.01);
    EXPECT_NEAR(std::abs(dipLower[bottom]), 0.1, 0.01);
    EXPECT_NEAR(std::abs(dipUpper[between]), 1.0, 0.01);

    const auto selectiveUpper = gainsOf("selective", 1712.5), selectiveLower = gainsOf("selective", 1287.5);
    size_t oneSideDown = 0;
    for (size_t n = 0; n < length; n += 80) {
        const float upper = std::abs(selectiveUpper[n]), lower = std::abs(selectiveLower[n]);
        ASSERT_TRUE(upper > 0.98f || lower > 0.98f) << n;
        oneSideDown += (std::min(upper, lower) < 0.5f);
    }
    EXPECT_GT(oneSideDown, length / 80 / 10);

    const auto moderateUpper = gainsOf("moderate", 1712.5), moderateLower = gainsOf("moderate", 1287.5);
    double su = 0, sl = 0, suu = 0, sll = 0, sul = 0;
    size_t count = 0;
    for (size_t n = 0; n < length; n += 80, ++count) {
        const double u = std::norm(moderateUpper[n]), l = std::norm(moderateLower[n]);
        su += u; sl += l; suu += u * u; sll += l * l; sul += u * l;
    }
    const double c = double(count);
    const double correlation = (sul / c - su / c * sl / c) /
        std::sqrt((suu / c - su / c * su / c) * (sll / c - sl / c * sl / c));
    EXPECT_LT(std::fabs(correlation), 0.5);  // cos²(π·425 Hz·1 ms) is 0.05; 60 s of 0.5 Hz fading is short
}
