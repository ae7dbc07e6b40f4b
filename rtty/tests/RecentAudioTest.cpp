#include "rtty/dsp/RecentAudio.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rtty;

// Against the plain vector it stands for: appended, the oldest `keep`
// dropped once there are more than twice that, in pieces of every size
// (larger than the ring among them); at every point the newest samples,
// as many as asked and no more than there are.
TEST(RecentAudio, HoldsWhatAVectorTrimmedTheSameWayHolds)
{
    const std::size_t keep = 50;
    RecentAudio ring;
    ring.reset(keep);
    std::vector<float> model;
    float next = 0.0f;
    for (std::size_t piece = 0, n = 0; piece < 400; ++piece, n = (n * 7 + 5) % 131) {
        std::vector<float> samples(n);
        for (float& sample : samples)
            sample = next++;
        ring.append(samples.data(), n);
        model.insert(model.end(), samples.begin(), samples.end());
        if (model.size() > 2 * keep)
            model.erase(model.begin(), model.end() - long(keep));
        ASSERT_EQ(ring.size(), model.size()) << "piece " << piece;
        for (std::size_t count : {std::size_t(0), std::size_t(1), model.size() / 2, model.size(), model.size() + 9}) {
            const std::size_t expected = std::min(count, model.size());
            ASSERT_EQ(ring.newest(count), std::vector<float>(model.end() - long(expected), model.end()))
                << "piece " << piece << ", newest " << count;
        }
    }
    ring.reset(keep);
    EXPECT_EQ(ring.size(), 0u);
    EXPECT_TRUE(ring.newest(10).empty());
}
