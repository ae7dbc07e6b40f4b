#include "rtty/dsp/TaperedMaximum.h"
#include "rtty/dsp/ToneEnvelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

using namespace rtty;

namespace {

// By definition: the highest of the values (taken `step` at a time, each
// group standing for its highest) within halfWidth either side.
std::vector<float> directMaxima(const std::vector<float>& values, int halfWidth, int step)
{
    std::vector<float> grouped;
    for (std::size_t i = 0; i + std::size_t(step) <= values.size(); i += std::size_t(step))
        grouped.push_back(*std::max_element(values.begin() + long(i), values.begin() + long(i) + step));
    const int half = halfWidth / step;
    std::vector<float> out;
    for (int centre = 0; centre + half < int(grouped.size()); ++centre) {
        const float highest = *std::max_element(grouped.begin() + std::max(0, centre - half), grouped.begin() + centre + half + 1);
        out.insert(out.end(), std::size_t(step), highest);
    }
    return out;
}

}  // namespace

// Random values, runs of falling and rising ones, ties and plateaus; with
// and without steps; from the very first value on (the window clipped at
// the start) and across many windows' widths.
TEST(SlidingMaximum, IsTheHighestWithinTheHalfWidthEitherSide)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    std::vector<float> values;
    for (int i = 0; i < 3000; ++i)
        values.push_back(uniform(random));
    for (int i = 0; i < 200; ++i)
        values.push_back(1.0f - 0.004f * float(i));  // falling
    for (int i = 0; i < 200; ++i)
        values.push_back(0.004f * float(i));  // rising
    values.insert(values.end(), 100, 0.5f);   // flat
    for (int i = 0; i < 300; ++i)
        values.push_back(float(i % 7 == 0) + 0.25f * float(i % 3));  // ties and spikes
    for (auto [halfWidth, step] : {std::pair{0, 1}, {1, 1}, {13, 1}, {30, 4}, {120, 4}, {7, 3}}) {
        SCOPED_TRACE(::testing::Message() << "half width " << halfWidth << ", step " << step);
        const std::vector<float> expected = directMaxima(values, halfWidth, step);
        SlidingMaximum maximum(halfWidth, step);
        std::vector<float> out;
        for (float value : values)
            maximum.push(value, out);
        EXPECT_EQ(out, expected);
        // The same values in runs of every length, an empty one among them,
        // onto what was there before.
        SlidingMaximum inRuns(halfWidth, step);
        std::vector<float> runs = {-1.0f};
        for (std::size_t done = 0, length = 0; done < values.size(); done += length, length = (length * 7 + 3) % 101)
            inRuns.push(values.data() + done, std::min(length, values.size() - done), runs);
        ASSERT_FALSE(runs.empty());
        EXPECT_EQ(runs.front(), -1.0f);
        EXPECT_EQ(std::vector<float>(runs.begin() + 1, runs.end()), expected);
    }
}

// By definition, with the taper: each step's highest value weighed by
// 1 - (1 - edge) * distance / half width, the highest of those round each
// step. Windows of every length the wide path takes in pieces of eight
// (7, 8, 9, 61 values) and the clipped ones at the start.
TEST(TaperedMaximum, IsTheHighestWeighedValueWithinTheHalfWidth)
{
    std::mt19937 random(8);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    std::vector<float> values;
    for (int i = 0; i < 2000; ++i)
        values.push_back(i % 97 < 30 ? 0.05f * uniform(random) : uniform(random));
    for (auto [halfWidth, step, edge] : {std::tuple{3, 1, 0.7f}, {4, 1, 0.5f}, {12, 3, 0.7f}, {120, 4, 0.7f}, {30, 1, 0.9f}}) {
        SCOPED_TRACE(::testing::Message() << "half width " << halfWidth << ", step " << step);
        std::vector<float> grouped;
        for (std::size_t i = 0; i + std::size_t(step) <= values.size(); i += std::size_t(step))
            grouped.push_back(*std::max_element(values.begin() + long(i), values.begin() + long(i) + step));
        const int half = halfWidth / step;
        std::vector<float> expected;
        for (int centre = 0; centre + half < int(grouped.size()); ++centre) {
            float highest = std::numeric_limits<float>::lowest();
            for (int j = std::max(0, centre - half); j <= centre + half; ++j) {
                const float distance = float(std::abs(j - centre)) / float(half);
                highest = std::max(highest, grouped[std::size_t(j)] * (1.0f - (1.0f - edge) * distance));
            }
            expected.insert(expected.end(), std::size_t(step), highest);
        }
        TaperedMaximum maximum(halfWidth, step, edge);
        std::vector<float> out = {-1.0f};
        for (std::size_t done = 0, length = 0; done < values.size(); done += length, length = (length * 5 + 2) % 67)
            maximum.push(values.data() + done, std::min(length, values.size() - done), out);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.front(), -1.0f);
        EXPECT_EQ(std::vector<float>(out.begin() + 1, out.end()), expected);
    }
}

// The pair levels carry their state (the maxima, how long the tones'
// levels have differed) from one block to the next: the same values in
// blocks of any size give the same levels. One tone fades for a while
// and the pair together, so that every branch is taken.
TEST(PairLevels, BlocksOfAnySizeGiveTheSameLevels)
{
    std::mt19937 random(3);
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    std::vector<float> mark, space, markLevel, spaceLevel;
    for (int i = 0; i < 6000; ++i) {
        const bool markOn = (i / 32) % 3 != 0;
        // One tone faded for a while, both tones at the end of it and again later.
        const int phase = i % 2000;
        const float markGain = phase < 400 ? 0.3f : 1.0f;
        const float pairGain = (phase >= 300 && phase < 400) || (phase >= 1000 && phase < 1100) ? 0.1f : 1.0f;
        mark.push_back(pairGain * markGain * (markOn ? 1.0f : 0.1f) * (0.8f + 0.4f * uniform(random)));
        space.push_back(pairGain * (markOn ? 0.1f : 1.0f) * (0.8f + 0.4f * uniform(random)));
        // The local levels look a character either side: a short fade of both does not show in them.
        markLevel.push_back(markGain * (0.9f + 0.2f * uniform(random)));
        spaceLevel.push_back(0.9f + 0.2f * uniform(random));
    }
    const ToneScales scales{1.0f, 1.0f, 0.05f, 0.05f};
    PairLevels whole, pieces;
    whole.reset(13, 32.0);
    pieces.reset(13, 32.0);
    extendPairLevels(mark, space, markLevel, spaceLevel, scales, whole);
    std::vector<float> m, s, ml, sl;
    for (std::size_t done = 0, length = 1; done < mark.size(); done += length, length = (length * 7 + 3) % 211) {
        const std::size_t end = std::min(mark.size(), done + length);
        m.assign(mark.begin(), mark.begin() + long(end));
        s.assign(space.begin(), space.begin() + long(end));
        ml.assign(markLevel.begin(), markLevel.begin() + long(end));
        sl.assign(spaceLevel.begin(), spaceLevel.begin() + long(end));
        extendPairLevels(m, s, ml, sl, scales, pieces);
    }
    ASSERT_GT(whole.common.size(), 5000u);
    EXPECT_EQ(pieces.common, whole.common);
    EXPECT_EQ(pieces.pairGain, whole.pairGain);
    EXPECT_EQ(pieces.unlike, whole.unlike);
    // The fades of both tones were read as such.
    EXPECT_LT(*std::min_element(whole.common.begin(), whole.common.end()), 0.5f);
}
