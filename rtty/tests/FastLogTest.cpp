#include "rtty/dsp/FastLog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace rtty;

// Against the library's logarithm: across many octaves (the exponent), at
// and either side of powers of two and of the table's points (the index),
// and at random.
TEST(FastLog, MatchesTheLogarithmToAFewPartsIn1e13)
{
    const FastLog fastLog;
    auto check = [&](double y) {
        SCOPED_TRACE(::testing::Message() << "ln " << y);
        EXPECT_NEAR(fastLog(y), std::log(y), 1e-12 * std::max(1.0, std::fabs(std::log(y))));
    };
    for (int exponent = -60; exponent <= 60; ++exponent) {
        const double power = std::ldexp(1.0, exponent);
        check(power);
        check(std::nextafter(power, 0.0));
        check(std::nextafter(power, 2.0 * power));
        for (int i = 0; i <= 128; ++i) {
            check(power * (1.0 + i / 128.0));
            check(power * (1.0 + (i + 0.5) / 128.0));
        }
    }
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-20.0, 40.0);
    for (int i = 0; i < 20000; ++i)
        check(std::exp2(exponent(random)));
}
