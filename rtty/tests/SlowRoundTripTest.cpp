#include "TestSignals.h"

#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;

// Every speed, shift, polarity, sample rate and stop length at +10 dB.
TEST(SlowRoundTrip, WholeGridIsCleanAtPlusTenDecibels)
{
    const std::string text = bulletinText(200, 4);
    int cases = 0;
    for (double baud : {45.45, 50.0, 75.0, 100.0})
        for (double shift : {170.0, 425.0, 450.0, 850.0, 1000.0})
            for (bool inverted : {false, true})
                for (double rate : {8000.0, 11025.0, 44100.0, 48000.0})
                    for (double stopBits : {1.0, 1.5, 2.0}) {
                        RttyParameters parameters;
                        parameters.baud = baud;
                        parameters.shiftHz = shift;
                        parameters.inverted = inverted;
                        parameters.stopBits = stopBits;
                        parameters.centreHz = 700.0 + 37.0 * (cases % 40);
                        RenderOptions options;
                        options.addNoise = true;
                        options.snrDb = 10.0;
                        options.seed = static_cast<uint32_t>(cases);
                        // A line set for 1.5 stop bits takes 2 as well; one stop
                        // bit in continuous text needs the line set for it.
                        RttyParameters receiver = parameters;
                        receiver.stopBits = stopBits < 1.25 ? 1.0 : 1.5;
                        const auto samples = renderText(text, rate, parameters, options);
                        EXPECT_EQ(decodeAll(samples, rate, receiver), text)
                            << baud << " Bd " << shift << " Hz " << (inverted ? "inverted " : "") << rate << " Hz "
                            << stopBits << " stop";
                        ++cases;
                    }
}

// Near the ideal detector: CER at Eb/N0 11.3 dB (ideal + 0.4 dB) and 13 dB.
TEST(SlowRoundTrip, SensitivityCloseToTheIdealDetector)
{
    for (auto [baud, shift] : {std::pair{50.0, 425.0}, std::pair{75.0, 850.0}}) {
        RttyParameters parameters;
        parameters.baud = baud;
        parameters.shiftHz = shift;
        for (auto [ebN0, bound] : {std::pair{11.3, 0.015}, std::pair{13.0, 0.001}}) {
            double errors = 0.0;
            size_t length = 0;
            for (uint32_t seed : {1u, 2u, 3u}) {
                const std::string text = bulletinText(2000, seed);
                RenderOptions options;
                options.addNoise = true;
                options.snrDb = ebN0 + 10.0 * std::log10(baud / 3000.0);
                options.seed = seed;
                const auto samples = renderText(text, 8000, parameters, options);
                errors += characterErrorRate(text, decodeAll(samples, 8000, parameters)) * double(text.size());
                length += text.size();
            }
            EXPECT_LE(errors / double(length), bound) << baud << " Bd, Eb/N0 " << ebN0 << " dB";
        }
    }
}
