#include "card/PipePace.h"

#include <gtest/gtest.h>

using cardserver::PipePace;
using namespace std::chrono;

namespace {

constexpr double kTick = 0.02;

struct PacedPipe {
    PipePace pace;
    PipePace::Clock::time_point now{};
    double wall = 0;
    double taken = 0;

    // One tick `afterSeconds` after the last; the writer has `available` to give.
    void tick(double afterSeconds, double available = 1e9, double tickSeconds = kTick)
    {
        wall += afterSeconds;
        now = PipePace::Clock::time_point{} + duration_cast<PipePace::Clock::duration>(duration<double>(wall));
        const double allowed = pace.allowance(tickSeconds, now);
        const double got = std::min(allowed, available);
        pace.took(got, got < allowed);
        taken += got;
    }
};

}  // namespace

TEST(PipePace, JitteringTicksTakeAFullPipeAtRealTimeNotAhead)
{
    // On a busy machine a late tick is followed by an early one.
    PacedPipe pipe;
    pipe.tick(0.0);
    for (int i = 0; i < 1500; ++i) pipe.tick(i % 2 ? 0.035 : 0.005);
    EXPECT_LE(pipe.taken, pipe.wall + kTick);
    EXPECT_GE(pipe.taken, pipe.wall - 0.05);
}

TEST(PipePace, AWriterThatStartsLateOrPausesIsNotReadFasterThanRealTime)
{
    PacedPipe pipe;
    for (int i = 0; i < 250; ++i) pipe.tick(kTick, 0.0);  // five seconds before the writer opens
    const double before = pipe.taken;
    const double start = pipe.wall;
    for (int i = 0; i < 100; ++i) pipe.tick(kTick);
    EXPECT_LE(pipe.taken - before, pipe.wall - start + PipePace::kCatchUpSeconds + kTick);

    // A pause in the middle: the same.
    for (int i = 0; i < 250; ++i) pipe.tick(kTick, 0.0);
    const double paused = pipe.taken;
    const double resumed = pipe.wall;
    for (int i = 0; i < 500; ++i) pipe.tick(kTick);
    EXPECT_LE(pipe.taken - paused, pipe.wall - resumed + PipePace::kCatchUpSeconds + kTick);
    EXPECT_GE(pipe.taken - paused, pipe.wall - resumed - kTick);
}

TEST(PipePace, ACardHeldUpCatchesUpWithAWriterAtRealTime)
{
    PacedPipe pipe;
    for (int i = 0; i < 50; ++i) pipe.tick(kTick);
    pipe.tick(2.0);  // the card was held up for two seconds: the pipe filled meanwhile
    EXPECT_LE(pipe.taken, pipe.wall - 1.0) << "made up a little at a time, not at once";
    for (int i = 0; i < 20; ++i) pipe.tick(kTick);
    EXPECT_NEAR(pipe.taken, pipe.wall, kTick);
}

TEST(PipePace, ACardFasterThanRealTimeTakesItsOwnClock)
{
    PacedPipe pipe;
    for (int i = 0; i < 40; ++i) pipe.tick(0.25, 1e9, 2.5);  // ten times real time
    EXPECT_NEAR(pipe.taken, 100.0, 1e-6);
}
