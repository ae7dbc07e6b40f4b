// The aligner on soft bits of known keying: receivers with their own
// delays, clock errors, noise, fades and starts.

#include "rtty/diversity/BranchAligner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using rtty::BranchAligner;

namespace {

constexpr double kBaud = 50.0;

// Start-stop keying of random characters, +1 mark / -1 space, back to back
// at 7.5 bits a character: keying(t) for t in seconds.
class Keying {
public:
    explicit Keying(unsigned seed, double seconds)
    {
        std::mt19937 random(seed);
        const auto characters = size_t(seconds * kBaud / 7.5) + 2;
        for (size_t c = 0; c < characters; ++c) {
            const unsigned code = random() % 32;
            bits_.push_back(-1);
            for (int b = 0; b < 5; ++b)
                bits_.push_back((code >> b) & 1 ? 1 : -1);
            bits_.push_back(1);
            bits_.push_back(1);  // 1.5 stop bits: two half bits of mark
        }
    }
    float operator()(double t) const
    {
        // Half-bit resolution: the stop's half bit is one of the two marks.
        const double halfBits = t * kBaud * 2.0;
        if (halfBits < 0)
            return 1.0f;
        const auto character = size_t(halfBits / 15.0);
        const double within = halfBits - double(character) * 15.0;
        const auto bit = std::min<size_t>(size_t(within / 2.0), 6);
        const size_t index = character * 8 + bit;
        return index < bits_.size() ? float(bits_[index]) : 1.0f;
    }
    // As a one-bit matched filter sees it: the keying averaged over a bit.
    float filtered(double t) const
    {
        float sum = 0.0f;
        for (int i = 0; i < 16; ++i)
            sum += (*this)(t + (i - 7.5) / (16 * kBaud));
        return sum / 16.0f;
    }

private:
    std::vector<int> bits_;
};

struct Receiver {
    double delaySeconds = 0.0;  // the broadcast reaches it this much later
    double clockPpm = 0.0;      // its clock runs fast by this much
    double noise = 0.3;         // standard deviation added to each soft bit
    double startSeconds = 0.0;  // before this, noise only
    bool dead = false;          // noise only throughout
};

// Feeds `seconds` of soft bits from each receiver to the aligner in blocks
// of 0.1 s; `check` is called after each update.
template <typename Check>
void run(BranchAligner& aligner, const std::vector<Receiver>& receivers, const Keying& keying, double seconds,
         unsigned seed, Check check)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss;
    const double step = aligner.gridSeconds();
    const auto block = size_t(0.1 / step);
    std::vector<float> soft(block);
    for (size_t k0 = 0; double(k0) * step < seconds; k0 += block) {
        for (size_t b = 0; b < receivers.size(); ++b) {
            const Receiver& r = receivers[b];
            for (size_t i = 0; i < block; ++i) {
                // The receiver's own time, k * step, is true time scaled by its clock.
                const double own = double(k0 + i) * step;
                const double truth = own / (1.0 + r.clockPpm * 1e-6) - r.delaySeconds;
                const bool on = !r.dead && own >= r.startSeconds;
                const double value = (on ? keying.filtered(truth) : 0.0) + r.noise * gauss(random);
                soft[i] = float(std::tanh(2.0 * value));
            }
            aligner.add(int(b), soft.data(), soft.size());
        }
        aligner.update();
        check(double(k0 + block) * step);
    }
}

// Offsets measured relative to branch 0's: what the test can compare.
double relative(const BranchAligner& aligner, int b, int to = 0)
{
    return aligner.alignment(b).offsetSeconds - aligner.alignment(to).offsetSeconds;
}

}  // namespace

TEST(BranchAligner, FindsEachReceiversDelayWithinTenSeconds)
{
    const Keying keying(1, 120);
    const std::vector<Receiver> receivers{{0.0}, {0.41}, {0.137}, {0.5}};
    BranchAligner aligner(4, kBaud);
    double allAlignedAt = -1;
    run(aligner, receivers, keying, 12, 2, [&](double t) {
        bool all = true;
        for (int b = 0; b < 4; ++b)
            all = all && aligner.alignment(b).aligned;
        if (all && allAlignedAt < 0)
            allAlignedAt = t;
    });
    ASSERT_GE(allAlignedAt, 0) << "not all aligned within 12 s";
    EXPECT_LE(allAlignedAt, 10.0);
    const double tolerance = 1.0 / (32 * kBaud);  // a 32nd of a bit
    EXPECT_NEAR(relative(aligner, 1), 0.41, tolerance);
    EXPECT_NEAR(relative(aligner, 2), 0.137, tolerance);
    EXPECT_NEAR(relative(aligner, 3), 0.5, tolerance);
}

TEST(BranchAligner, LeavesNoiseOutAndTakesALateReceiverInWhenItStarts)
{
    const Keying keying(3, 120);
    std::vector<Receiver> receivers{{0.0}, {0.25}, {0.3}, {0.1}};
    receivers[2].dead = true;         // noise only
    receivers[3].startSeconds = 20;   // a receiver switched on late
    BranchAligner aligner(4, kBaud);
    double lateAlignedAt = -1;
    run(aligner, receivers, keying, 40, 4, [&](double t) {
        EXPECT_FALSE(aligner.alignment(2).aligned) << "noise aligned at " << t << " s";
        if (t < 20) {
            EXPECT_FALSE(aligner.alignment(3).aligned) << "noise aligned at " << t << " s";
        }
        if (aligner.alignment(3).aligned && lateAlignedAt < 0)
            lateAlignedAt = t;
    });
    EXPECT_TRUE(aligner.alignment(0).aligned && aligner.alignment(1).aligned);
    EXPECT_NEAR(relative(aligner, 1), 0.25, 1.0 / (32 * kBaud));
    ASSERT_GE(lateAlignedAt, 20.0);
    EXPECT_LE(lateAlignedAt, 30.0);
    EXPECT_NEAR(relative(aligner, 3), 0.1, 1.0 / (32 * kBaud));
}

TEST(BranchAligner, FollowsClocksThatDriftApart)
{
    // 100 ppm apart for ten minutes: the delay moves by 60 ms, three bits.
    const Keying keying(5, 700);
    std::vector<Receiver> receivers{{0.0}, {0.2}, {0.35}};
    receivers[1].clockPpm = 100;
    receivers[2].clockPpm = -60;
    BranchAligner aligner(3, kBaud);
    double worst = 0;
    run(aligner, receivers, keying, 600, 6, [&](double t) {
        if (t < 10)
            return;
        // Where branch 1's copy of what branch 0 has at time t really is:
        // its clock reads (t + 0.2) * (1 + 100 ppm).
        const double expected1 = (t + 0.2) * (1 + 100e-6) - t;
        const double expected2 = (t + 0.35) * (1 - 60e-6) - t;
        worst = std::max({worst, std::abs(relative(aligner, 1) - expected1), std::abs(relative(aligner, 2) - expected2)});
    });
    // Tracking lags the drift by well under a 16th of a bit (1.25 ms).
    EXPECT_LT(worst, 1.0 / (16 * kBaud));
}

TEST(BranchAligner, AlignsWeakReceivers)
{
    // Noise as strong as the keying: one soft bit in seven has the wrong sign.
    const Keying keying(7, 60);

    const std::vector<Receiver> receivers{{0.0, 0, 0.9}, {0.33, 0, 0.9}, {0.05, 0, 0.9}};
    BranchAligner aligner(3, kBaud);
    double alignedAt = -1;
    run(aligner, receivers, keying, 40, 8, [&](double t) {
        if (alignedAt < 0 && aligner.alignment(0).aligned && aligner.alignment(1).aligned && aligner.alignment(2).aligned)
            alignedAt = t;
    });
    EXPECT_GE(alignedAt, 0);
    EXPECT_LE(alignedAt, 10);
    // Noisy measurements, averaged by the tracking: within a 16th of a bit.
    EXPECT_NEAR(relative(aligner, 1), 0.33, 1.0 / (16 * kBaud));
    EXPECT_NEAR(relative(aligner, 2), 0.05, 1.0 / (16 * kBaud));
}
