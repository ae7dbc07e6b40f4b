#include "AlsCases.h"

#include <gtest/gtest.h>

using namespace rtty::testing;

// Forty seeded lines over every speed, shift, polarity and rate.
TEST(SlowAutoLineSearch, NinetyFivePercentAtZeroAndAllAtSixDecibels)
{
    for (double snr : {0.0, 6.0}) {
        int right = 0;
        const int cases = 40;
        for (unsigned seed = 100; seed < 100 + cases; ++seed) {
            const AlsCase line = alsCase(seed);
            const bool found = foundLine(searchLine(line, snr, seed), line.parameters);
            right += found;
            if (snr > 0) {
                EXPECT_TRUE(found) << "seed " << seed;
            }
        }
        EXPECT_GE(right, snr > 0 ? cases : 38) << snr << " dB";
    }
}
