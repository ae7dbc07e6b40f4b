#include "rtty/dsp/ToneEnvelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
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
