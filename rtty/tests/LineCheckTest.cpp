// The check that the set line fits what is heard, with other signals on the
// band beside ours: a second station or a carrier must not make a right
// line wrong, and a wrong line must stay wrong beside them.
#include "TestSignals.h"

#include "rtty/linesearch/LineCheck.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

using namespace rtty;
using namespace rtty::testing;

namespace {

constexpr double kRate = 8000;
constexpr size_t kSamples = size_t(14 * kRate);

RttyParameters lineAt(double centreHz, double shiftHz = 450, bool inverted = false)
{
    RttyParameters parameters = line(50, shiftHz);
    parameters.centreHz = centreHz;
    parameters.inverted = inverted;
    return parameters;
}

// Adds a transmission of its own text at `gainDb` against ours.
void addStation(std::vector<float>& band, const RttyParameters& parameters, unsigned seed, double gainDb)
{
    const std::vector<float> signal = renderText(bulletinText(120, seed), kRate, parameters);
    const auto gain = float(std::pow(10.0, gainDb / 20));
    for (size_t i = 0; i < band.size() && i < signal.size(); ++i)
        band[i] += gain * signal[i];
}

void addCarrier(std::vector<float>& band, double hz)
{
    for (size_t i = 0; i < band.size(); ++i)
        band[i] += float(0.5 * std::sin(2 * std::numbers::pi * hz * double(i) / kRate));
}

LineCheck checked(std::vector<float> band, const RttyParameters& set)
{
    NoiseAdder(kRate, 0.125, 20.0, 7).add(band.data(), band.size());
    LineCheck check(kRate, set);
    for (size_t at = 0; at < band.size(); at += 4096)
        check.process(band.data() + at, std::min<size_t>(4096, band.size() - at));
    check.finish();
    return check;
}

}  // namespace

TEST(LineCheck, AStationOrACarrierBesideTheSetLineDoesNotMakeItWrong)
{
    const RttyParameters set = lineAt(1500);
    struct Beside {
        const char* what;
        double centreHz;  // 0: a carrier instead, at carrierHz
        double gainDb;
        double carrierHz;
    };
    for (const Beside& other : {Beside{"a station 300 Hz below, 6 dB stronger", 1200, 6, 0},
                                Beside{"a station 300 Hz above, as strong", 1800, 0, 0},
                                Beside{"a station 1000 Hz above, as strong", 2500, 0, 0},
                                Beside{"a carrier 60 Hz below the space tone", 0, 0, 1215}}) {
        SCOPED_TRACE(other.what);
        std::vector<float> band(kSamples, 0.0f);
        addStation(band, set, 1, 0.0);
        if (other.centreHz > 0)
            addStation(band, lineAt(other.centreHz), 2, other.gainDb);
        else
            addCarrier(band, other.carrierHz);
        const LineCheck check = checked(band, set);
        EXPECT_NE(check.verdict(), LineCheck::Verdict::Wrong) << check.describeHeard();
    }
}

TEST(LineCheck, AWrongLineIsWrongWithOrWithoutANeighbour)
{
    // Our station keyed inverted, a stronger one 300 Hz below: the verdict is
    // on our tones, and says what is keyed there.
    std::vector<float> band(kSamples, 0.0f);
    addStation(band, lineAt(1500, 450, true), 1, 0.0);
    addStation(band, lineAt(1200), 2, 6.0);
    const LineCheck beside = checked(band, lineAt(1500));
    EXPECT_EQ(beside.verdict(), LineCheck::Verdict::Wrong);
    EXPECT_TRUE(beside.heard().inverted) << beside.describeHeard();
    EXPECT_NEAR(beside.heard().centreHz, 1500, 20) << beside.describeHeard();

    // The same beside a station whose tone lies 50 Hz below our space
    // tone: that pair is no reason to let a wrong line through.
    std::vector<float> tight(kSamples, 0.0f);
    addStation(tight, lineAt(1500, 450, true), 1, 0.0);
    addStation(tight, lineAt(1000), 2, 6.0);
    const LineCheck besideTone = checked(tight, lineAt(1500));
    EXPECT_EQ(besideTone.verdict(), LineCheck::Verdict::Wrong) << besideTone.describeHeard();

    // A real bulletin's line (1977 Hz, 450 Hz, inverted) decoded at the
    // defaults: one of its tones lies on ours.
    std::vector<float> alone(kSamples, 0.0f);
    addStation(alone, lineAt(1977, 450, true), 3, 0.0);
    const LineCheck wrong = checked(alone, lineAt(1500, 425));
    EXPECT_EQ(wrong.verdict(), LineCheck::Verdict::Wrong) << wrong.describeHeard();
}

TEST(LineCheck, TheVerdictComesAtTheSameLookHoweverTheAudioIsCut)
{
    // A card running faster than real time hands over seconds of audio at
    // once: the check must stop at the look that decided, as it does when
    // fed a block at a time, and not look on through the rest of the call.
    for (const bool wrongLine : {false, true}) {
        SCOPED_TRACE(wrongLine ? "wrong line" : "right line");
        std::vector<float> band(kSamples, 0.0f);
        addStation(band, lineAt(1500, 450, wrongLine), 1, 0.0);
        NoiseAdder(kRate, 0.125, 20.0, 7).add(band.data(), band.size());
        const RttyParameters set = lineAt(1500);
        LineCheck inBlocks(kRate, set), atOnce(kRate, set);
        for (size_t at = 0; at < band.size(); at += 160)
            inBlocks.process(band.data() + at, std::min<size_t>(160, band.size() - at));
        atOnce.process(band.data(), band.size());
        ASSERT_NE(inBlocks.verdict(), LineCheck::Verdict::Undecided);
        EXPECT_EQ(atOnce.verdict(), inBlocks.verdict());
        EXPECT_EQ(atOnce.verdict(), wrongLine ? LineCheck::Verdict::Wrong : LineCheck::Verdict::Fits);
        EXPECT_EQ(atOnce.heard().secondsUsed, inBlocks.heard().secondsUsed);
        EXPECT_LT(atOnce.heard().secondsUsed, 10.0);  // decided well before the audio's end
    }
}
