// Fades of one tone that are deep and brief, as Rayleigh fading makes its
// deepest ones: the tone's level must follow it down at the slot rather
// than stay at the level it had a few bits away.

#include "TestSignals.h"

#include "rtty/dsp/Baudot.h"
#include "rtty/dsp/SlidingMaximum.h"
#include "rtty/dsp/TaperedMaximum.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;
using rtty::testing::line;

TEST(TaperedMaximum, WithoutTaperIsTheSlidingMaximumAndTaperFavoursTheNearValues)
{
    std::vector<float> values;
    for (int i = 0; i < 200; ++i)
        values.push_back(float(std::fabs(std::sin(0.07 * i * i))));
    for (int step : {1, 4}) {
        std::vector<float> plain, tapered;
        SlidingMaximum(12, step).push(values.data(), values.size(), plain);
        TaperedMaximum(12, step, 1.0f).push(values.data(), values.size(), tapered);
        EXPECT_EQ(plain, tapered) << "step " << step;
    }
    // A low value between two high ones at the window's edges: the taper
    // reads the high ones at the edge weight; the centre sits 12 values
    // after the first one has come.
    std::vector<float> notch(25, 0.1f);
    notch.front() = notch.back() = 1.0f;
    std::vector<float> out;
    TaperedMaximum(12, 1, 0.5f).push(notch.data(), notch.size(), out);
    ASSERT_EQ(out.size(), 13u);
    EXPECT_FLOAT_EQ(out.back(), 0.5f);
    // Values arriving in pieces give the same as all at once.
    std::vector<float> whole, pieces;
    TaperedMaximum a(12, 4, 0.7f), b(12, 4, 0.7f);
    a.push(values.data(), values.size(), whole);
    for (std::size_t at = 0; at < values.size(); at += 7)
        b.push(values.data() + at, std::min<std::size_t>(7, values.size() - at), pieces);
    EXPECT_EQ(whole, pieces);
}

// Every three seconds the mark tone falls to -10 dB and, 0.2 s later, the
// space tone to -30 dB, each within a second and back; white noise at
// +4 dB. Read at the highest level within a character either side, the
// space tone's absence at the bottom of its fade looks like mark (1.3 %
// at 50 Bd, 1.6 % at 75 Bd; now 0.4 % and 0.7 %).
TEST(NarrowFades, OneToneBrieflyDeepDecodes)
{
    for (double baud : {50.0, 75.0}) {
        const RttyParameters parameters = line(baud, baud == 50.0 ? 450.0 : 850.0);
        const std::string text = bulletinText(700, 11);
        const std::vector<uint8_t> codes = baudot::encode(text).codes;
        constexpr double kRate = 8000.0;
        FskModulator modulator(kRate, parameters);
        std::vector<float> samples;
        modulator.appendIdle(8.0, samples);
        const double characterSeconds = 7.5 / baud;
        for (std::size_t k = 0; k < codes.size(); ++k) {
            const double t = double(k) * characterSeconds;
            auto notch = [&](double bottom) { return float(std::clamp(std::fabs(std::fmod(t, 3.0) - bottom) / 0.5, 0.03, 1.0)); };
            modulator.setToneGains(std::max(0.3f, notch(1.3)), notch(1.5));
            modulator.appendCode(codes[k], samples);
        }
        modulator.appendIdle(8.0, samples);
        NoiseAdder(kRate, 0.125, 4.0, 5).add(samples.data(), samples.size());
        const double cer = characterErrorRate(text, decodeAll(samples, kRate, parameters));
        EXPECT_LE(cer, 0.01) << baud << " Bd";
    }
}

// Flat fading takes both tones through zero together now and then: the
// pair's gain passes the origin, changing sign, and one slot in its null
// holds noise alone. There the first digit of a group, sent as "space FIGS
// 1", read as LTRS when its fourth bit (the one that tells '1' from LTRS)
// fell to mark, and the whole group printed as letters: five characters
// for one bit ("10048" as "PPRI"). Twelve such nulls, one a line from the
// third on, each on that bit, 50 ms either side below half the level;
// +24 dB. Read as decided, about half of them lose their group.
TEST(NarrowFades, NullOfBothTonesOnTheBitAfterFigures)
{
    const RttyParameters parameters = line(50.0, 450.0);
    constexpr double kRate = 8000.0;
    constexpr double kHalfNull = 0.1;  // seconds from the null to the full level
    std::string text;
    for (int k = 0; k < 16; ++k) {
        char row[64];
        std::snprintf(row, sizeof row, "AAXX 1%04d 2%04d 3%04d 4%04d=\r\n", 37 * k + 11, 53 * k + 7, 71 * k + 3, 13 * k + 9);
        text += row;
    }
    const std::vector<uint8_t> codes = baudot::encode(text).codes;
    FskModulator modulator(kRate, parameters);
    std::vector<float> samples;
    modulator.appendIdle(8.0, samples);
    std::vector<double> nulls;
    for (std::size_t k = 0; k < codes.size(); ++k) {
        const bool firstDigit = k >= 2 && codes[k] == 0x17 && codes[k - 1] == baudot::kFigures && codes[k - 2] == baudot::kSpace;
        // From the third line on: the levels are learnt by then.
        if (firstDigit && double(samples.size()) > 18.0 * kRate && nulls.size() < 12
            && (nulls.empty() || double(samples.size()) - nulls.back() > 3.0 * kRate))
            nulls.push_back(double(samples.size()) + 4.5 * kRate / parameters.baud);
        modulator.appendCode(codes[k], samples);
    }
    modulator.appendIdle(8.0, samples);
    ASSERT_EQ(nulls.size(), 12u);
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (double null : nulls)
            samples[i] *= float(std::clamp((double(i) - null) / (kHalfNull * kRate), -1.0, 1.0));
    NoiseAdder(kRate, 0.125, 24.0, 3).add(samples.data(), samples.size());
    const std::string decoded = decodeAll(samples, kRate, parameters);
    EXPECT_LE(characterErrorRate(text, decoded), 0.01) << decoded;
}
