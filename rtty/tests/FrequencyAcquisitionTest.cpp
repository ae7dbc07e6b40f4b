#include "TestSignals.h"

#include "rtty/channel/HfChannel.h"
#include "rtty/dsp/FrequencyAcquisition.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rtty;
using rtty::testing::bulletinText;

namespace {

// The offset the spectrum reports last over a bulletin sent `offsetHz` off the set tones.
bool lastEstimate(double baud, double shift, bool inverted, double offsetHz, double& estimate, double snrDb = 3.0)
{
    const double rate = 8000;
    RttyParameters set;
    set.baud = baud;
    set.shiftHz = shift;
    set.centreHz = 1500;
    set.inverted = inverted;
    RttyParameters sent = set;
    sent.centreHz += offsetHz;
    RenderOptions options;
    options.addNoise = true;
    options.snrDb = snrDb;
    options.seed = 4;
    const std::vector<float> samples = renderText(bulletinText(150, 9), rate, sent, options);
    FrequencyAcquisition acquisition(rate, set.markHz(), set.spaceHz(), baud, 100.0);
    bool any = false;
    for (size_t done = 0; done < samples.size(); done += 400) {
        acquisition.process(samples.data() + done, std::min<size_t>(400, samples.size() - done));
        double offset = 0.0;
        if (acquisition.takeEstimate(offset)) {
            estimate = offset;
            any = true;
        }
    }
    return any;
}

}  // namespace

// On narrow shifts each tone's band holds much of the other's skirt; mark,
// on more of the time, must not pull the estimate towards itself.
TEST(FrequencyAcquisition, NarrowShiftsAreFoundWhereTheyAre)
{
    for (auto [baud, shift] : {std::pair{75.0, 85.0}, std::pair{100.0, 85.0}, std::pair{50.0, 85.0},
                               std::pair{100.0, 170.0}, std::pair{50.0, 425.0}}) {
        for (bool inverted : {false, true}) {
            for (double offset : {0.0, 40.0, -60.0}) {
                SCOPED_TRACE(::testing::Message() << baud << " Bd " << shift << " Hz inverted " << inverted
                                                  << " offset " << offset);
                double estimate = 1e9;
                ASSERT_TRUE(lastEstimate(baud, shift, inverted, offset, estimate));
                // Within what the demodulator leaves to the matched-filter AFC
                // (0.15 baud), so that a line on tune is not retuned.
                EXPECT_NEAR(estimate, offset, 0.12 * baud);
            }
        }
    }
}

// A lone carrier fills one band only, wherever it is put: no estimate.
TEST(FrequencyAcquisition, OneToneAloneGivesNoEstimate)
{
    const double rate = 8000;
    RttyParameters set;
    set.baud = 75;
    set.shiftHz = 85;
    set.centreHz = 1500;
    std::vector<float> samples(size_t(8 * rate));
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = 0.5f * static_cast<float>(std::sin(2.0 * 3.141592653589793 * 1530.0 * double(i) / rate));
    NoiseAdder(rate, 0.125, 10.0, 3).add(samples.data(), samples.size());
    FrequencyAcquisition acquisition(rate, set.markHz(), set.spaceHz(), set.baud, 100.0);
    acquisition.process(samples.data(), samples.size());
    double offset = 0.0;
    EXPECT_TRUE(acquisition.judged());
    EXPECT_FALSE(acquisition.takeEstimate(offset));
}

// On wide shifts the tones are placed in the middle of each band's plateau,
// which also finds a weak signal far off its set tones.
TEST(FrequencyAcquisition, WideShiftsAreFoundFarOffAndWeak)
{
    for (auto [baud, shift] : {std::pair{50.0, 450.0}, std::pair{50.0, 425.0}, std::pair{75.0, 850.0}}) {
        for (double offset : {37.0, -80.0}) {
            SCOPED_TRACE(::testing::Message() << baud << " Bd " << shift << " Hz offset " << offset);
            double estimate = 1e9;
            ASSERT_TRUE(lastEstimate(baud, shift, false, offset, estimate, -9.0));
            EXPECT_NEAR(estimate, offset, 0.12 * baud);
        }
    }
}

// A voice on the frequency fills the bands round both tones, and the space
// between them as well; its formants and harmonics move from one syllable
// to the next. Taken for a pair of tones it retuned the line by up to
// 170 Hz at a time, and each jump decoded the last seconds of the voice
// again. The loudest voices of the benchmark, on every wide line.
TEST(FrequencyAcquisition, AVoiceGivesNoEstimate)
{
    const double rate = 8000;
    for (auto [baud, shift] : {std::pair{50.0, 450.0}, std::pair{50.0, 425.0}, std::pair{75.0, 850.0}}) {
        int estimates = 0;
        for (uint32_t seed : {3u, 9u, 15u, 16u}) {
            std::vector<float> samples(size_t(60 * rate), 0.0f);
            auto settings = hfchannel::channelPreset("speech", rate, 0.125, 1500.0, shift, seed);
            settings->snrDb = 20.0;
            hfchannel::HfChannel(*settings).applyAligned(samples);
            RttyParameters set;
            set.baud = baud;
            set.shiftHz = shift;
            FrequencyAcquisition acquisition(rate, set.markHz(), set.spaceHz(), baud, 100.0);
            for (size_t done = 0; done < samples.size(); done += 400) {
                acquisition.process(samples.data() + done, std::min<size_t>(400, samples.size() - done));
                double offset = 0.0;
                estimates += acquisition.takeEstimate(offset) ? 1 : 0;
            }
        }
        EXPECT_EQ(estimates, 0) << baud << " Bd " << shift << " Hz";
    }
}
