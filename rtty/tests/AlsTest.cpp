#include "AlsCases.h"

#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace rtty;
using namespace rtty::testing;

TEST(AutoLineSearch, FindsSeededLinesAtZeroDecibels)
{
    int right = 0;
    const int cases = 8;
    for (unsigned seed = 1; seed <= cases; ++seed) {
        const AlsCase line = alsCase(seed);
        const AlsResult result = searchLine(line, 0.0, seed);
        right += foundLine(result, line.parameters);
        EXPECT_LE(result.secondsUsed, 10.5);  // the audio ends just after 10 s
    }
    EXPECT_GE(right, cases - 1);
}

// 50 Bd with 1.5 stop bits in continuous text has no spectral line at 50 Hz
// but a strong one at 100 Hz; the search must not read it as 100 Bd.
TEST(AutoLineSearch, FiftyBaudWithHalfStopBitsIsNotTakenForHundred)
{
    for (double shift : {425.0, 850.0}) {
        AlsCase line;
        line.parameters.baud = 50;
        line.parameters.shiftHz = shift;
        line.parameters.centreHz = 1700;
        const AlsResult result = searchLine(line, 6.0, 3);
        EXPECT_TRUE(foundLine(result, line.parameters)) << result.baud << " Bd " << result.reason;
    }
}

TEST(AutoLineSearch, NoiseCarriersAndIdleAreNotDeterminable)
{
    const double rate = 8000;
    const size_t length = static_cast<size_t>(10.5 * rate);
    auto tone = [&](double hz, double amplitude, std::vector<float>& out) {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] += static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * double(i) / rate));
    };
    std::vector<float> noise(length, 0.0f);
    NoiseAdder(rate, 0.125, 0.0, 5).add(noise.data(), noise.size());
    std::vector<float> carrier = noise, twoCarriers = noise, idle;
    tone(1234.0, 0.5, carrier);
    tone(1000.0, 0.5, twoCarriers);
    tone(1600.0, 0.4, twoCarriers);
    RttyParameters line;
    FskModulator modulator(rate, line);
    modulator.appendIdle(10.5 * line.baud, idle);
    NoiseAdder(rate, 0.125, 6.0, 6).add(idle.data(), idle.size());

    for (const auto* samples : {&noise, &carrier, &twoCarriers, &idle}) {
        const AlsResult result = searchSamples(*samples, rate);
        EXPECT_FALSE(result.determined) << result.baud << " Bd " << result.centreHz << " Hz";
        EXPECT_FALSE(result.reason.empty());
    }
    EXPECT_FALSE(searchSamples(std::vector<float>(length, 0.0f), rate).determined);
}
