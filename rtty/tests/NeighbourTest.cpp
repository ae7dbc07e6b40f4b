// Other signals beside ours on a crowded band: a second station whose tone
// lies just outside one of ours, and what it does to the tuning and to the
// levels the slots are read at.

#include "ChannelSignals.h"
#include "TestSignals.h"

#include "rtty/channel/HfChannel.h"
#include "rtty/dsp/FrequencyAcquisition.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;
using rtty::testing::line;
using rtty::testing::throughChannel;

constexpr double kRate = 8000.0;

// A station 500 Hz below at 50/450, 10 dB over ours: its mark lies 50 Hz
// under our space tone. The coarse tuning once leaned 20 Hz towards
// it (the sum of both bands grows there), and the AFC followed.
TEST(Neighbour, ToneBesideOursDoesNotPullTheCoarseTuning)
{
    const RttyParameters parameters = line(50, 450);
    for (uint32_t seed : {2u, 3u}) {
        const std::vector<float> samples =
            throughChannel(bulletinText(250, seed), parameters, "adjacent:-500:10", 24.0, seed);
        FrequencyAcquisition acquisition(kRate, parameters.markHz(), parameters.spaceHz(), parameters.baud, 100.0);
        int estimates = 0;
        double worst = 0.0;
        for (size_t at = 0; at < samples.size(); at += 400) {
            acquisition.process(samples.data() + at, std::min<size_t>(400, samples.size() - at));
            double offset = 0.0;
            if (acquisition.takeEstimate(offset)) {
                ++estimates;
                worst = std::max(worst, std::fabs(offset));
            }
        }
        EXPECT_GT(estimates, 10) << "seed " << seed;
        // What the demodulator leaves to the AFC (0.15 baud), with room.
        EXPECT_LT(worst, 5.0) << "seed " << seed;
    }
}

// Such a station through the whole demodulator, 3 dB over ours: the
// leakage of its keyed tone into our space filter is no noise, and its
// level must not be clipped down as noise's would be (it once decoded the
// first lines, then lost 95 % of the text).
TEST(Neighbour, StationBesideOurSpaceToneDecodes)
{
    const RttyParameters parameters = line(50, 450);
    for (uint32_t seed : {2u, 3u}) {
        const std::string text = bulletinText(500, 40 + seed);
        const std::string decoded =
            decodeAll(throughChannel(text, parameters, "adjacent:-500:3", 24.0, seed), kRate, parameters);
        EXPECT_LE(characterErrorRate(text, decoded), 0.08) << "seed " << seed;
    }
}

