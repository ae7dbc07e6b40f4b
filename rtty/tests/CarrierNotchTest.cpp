// Carriers and keyed CW beside the tones: found, notched, and the signal
// decoded through them; nothing notched where there is no carrier.

#include "ChannelSignals.h"
#include "TestSignals.h"

#include "rtty/dsp/CarrierNotch.h"
#include "rtty/dsp/HannSegments.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;
using rtty::testing::line;
using rtty::testing::throughChannel;

namespace {

constexpr double kRate = 8000.0;

void addTone(std::vector<float>& samples, double hz, double amplitude, size_t from = 0, size_t to = SIZE_MAX)
{
    for (size_t i = from; i < std::min(to, samples.size()); ++i)
        samples[i] += static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate));
}

// Feeds the notch as the front end does: looked at, then filtered, in pieces.
std::vector<float> throughNotch(CarrierNotch& notch, const std::vector<float>& in, double markHz, double spaceHz)
{
    std::vector<float> out(in.size());
    constexpr size_t kPiece = 1000;
    for (size_t at = 0; at < in.size(); at += kPiece) {
        const size_t n = std::min(kPiece, in.size() - at);
        notch.analyse(in.data() + at, n, markHz, spaceHz);
        notch.filter(in.data() + at, out.data() + at, n);
    }
    return out;
}

double power(const std::vector<float>& samples, size_t from, size_t to)
{
    double sum = 0.0;
    for (size_t i = from; i < to; ++i)
        sum += double(samples[i]) * samples[i];
    return sum / double(to - from);
}

}  // namespace

// Steady carriers and a keyed CW station 15-20 dB over the signal, a few
// hundred hertz outside the tones or between them: the one-bit filters'
// sidelobes let 8-16 % of the characters go at 75 Bd without the notch,
// and a carrier between the tones at 50 Bd took everything.
TEST(CarrierNotch, SignalsDecodeBesideStrongCarriersAndCw)
{
    const std::string text = bulletinText(500, 51);
    for (auto [baud, shift, channel, bound] :
         {std::tuple{75.0, 850.0, "cw:675:20", 0.015}, std::tuple{75.0, 850.0, "carrier:675:20", 0.015},
          std::tuple{75.0, 850.0, "cw:675:20+agc", 0.015}, std::tuple{75.0, 850.0, "carrier:625:20+carrier:-605:15", 0.015},
          std::tuple{50.0, 450.0, "cw:-375:20", 0.05}, std::tuple{50.0, 450.0, "carrier:0:20", 0.03}}) {
        const RttyParameters parameters = line(baud, shift);
        const std::string decoded = decodeAll(throughChannel(text, parameters, channel, 24.0, 8), kRate, parameters);
        EXPECT_LE(characterErrorRate(text, decoded), bound) << channel << " " << baud << "/" << shift;
    }
}

// A carrier found is notched to the noise while the mark tone 250 Hz from
// it keeps its level; once it goes off, the notch goes too.
TEST(CarrierNotch, NotchesACarrierAndLeavesTheTonesBeside)
{
    const RttyParameters parameters = line(75.0, 850.0);
    std::vector<float> audio(size_t(12 * kRate), 0.0f);
    const double carrierHz = parameters.markHz() + 250.0, toneHz = parameters.markHz();
    addTone(audio, carrierHz, 1.0, 0, size_t(8 * kRate));
    addTone(audio, toneHz, 0.1);
    NoiseAdder(kRate, 0.001, 20.0, 3).add(audio.data(), audio.size());

    CarrierNotch notch(kRate, parameters.shiftHz, parameters.baud);
    std::vector<float> out(audio.size());
    const size_t half = audio.size() / 2;
    std::vector<float> first(audio.begin(), audio.begin() + long(half));
    std::vector<float> firstOut = throughNotch(notch, first, parameters.markHz(), parameters.spaceHz());
    ASSERT_EQ(notch.notchCount(), 1u);
    EXPECT_NEAR(notch.notchHz(0), carrierHz, 1.0);
    // From 4 to 6 s: the carrier (power 0.5) gone to well under the tone's (0.005).
    const double left = power(firstOut, size_t(4 * kRate), half);
    EXPECT_LT(left, 0.005 * 1.2);
    EXPECT_GT(left, 0.005 * 0.8);

    std::vector<float> second(audio.begin() + long(half), audio.end());
    throughNotch(notch, second, parameters.markHz(), parameters.spaceHz());
    EXPECT_EQ(notch.notchCount(), 0u) << "the carrier stopped at 8 s";
}

// No notch on a signal alone, at 50/450 (its tones stand as lines) or
// 90 Hz off the set tones; none on a carrier inside a tone's main lobe.
TEST(CarrierNotch, LeavesTheSignalsOwnTonesAlone)
{
    const std::string text = bulletinText(150, 52);
    for (auto [baud, shift, offset, carrier] : {std::tuple{50.0, 450.0, 0.0, 0.0}, std::tuple{50.0, 450.0, 90.0, 0.0},
                                                std::tuple{75.0, 850.0, -90.0, 0.0}, std::tuple{50.0, 450.0, 0.0, 30.0}}) {
        RttyParameters parameters = line(baud, shift);
        RttyParameters sent = parameters;
        sent.centreHz += offset;
        std::vector<float> audio = renderText(text, kRate, sent);
        if (carrier != 0.0)
            addTone(audio, parameters.markHz() + carrier, 1.0);
        NoiseAdder(kRate, 0.125, 20.0, 4).add(audio.data(), audio.size());
        CarrierNotch notch(kRate, parameters.shiftHz, parameters.baud);
        std::vector<float> out = throughNotch(notch, audio, parameters.markHz(), parameters.spaceHz());
        EXPECT_EQ(notch.notchCount(), 0u) << baud << "/" << shift << " sent " << offset << " Hz off, carrier " << carrier;
    }
}

// The front end hands the notch every other transform of the frequency
// acquisition's half-overlapping segments: the notch must come out as it
// does from the audio itself, to the last bit (a segment series half a
// segment late would move the notches).
TEST(CarrierNotch, SharedTransformsGiveTheNotchesOfItsOwn)
{
    const RttyParameters parameters = line(50.0, 450.0);
    std::vector<float> audio = renderText(bulletinText(60, 9), kRate, parameters);
    addTone(audio, parameters.markHz() + 230.0, 3.0);
    addTone(audio, parameters.spaceHz() - 170.0, 2.0, size_t(3 * kRate));
    NoiseAdder(kRate, 0.05, 20.0, 5).add(audio.data(), audio.size());

    CarrierNotch own(kRate, parameters.shiftHz, parameters.baud), shared(kRate, parameters.shiftHz, parameters.baud);
    HannSegments segments(kRate, CarrierNotch::segmentSeconds(), 0.5);
    std::vector<float> ownOut(audio.size()), sharedOut(audio.size());
    constexpr size_t kPiece = 200;
    for (size_t at = 0; at < audio.size(); at += kPiece) {
        const size_t n = std::min(kPiece, audio.size() - at);
        own.analyse(audio.data() + at, n, parameters.markHz(), parameters.spaceHz());
        own.filter(audio.data() + at, ownOut.data() + at, n);
        segments.append(audio.data() + at, n);
        while (segments.transformNext())
            if (segments.count() % 2 == 1)
                shared.analyseTransform(segments.transform(), parameters.markHz(), parameters.spaceHz());
        shared.filter(audio.data() + at, sharedOut.data() + at, n);
    }
    ASSERT_EQ(own.notchCount(), 2u);
    ASSERT_EQ(shared.notchCount(), own.notchCount());
    for (size_t i = 0; i < own.notchCount(); ++i)
        EXPECT_EQ(shared.notchHz(i), own.notchHz(i));
    EXPECT_TRUE(sharedOut == ownOut);
}
