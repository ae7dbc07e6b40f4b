#pragma once
// How much of a pipe's audio one tick of the card may take. A pipe gives as
// fast as it is read, so the card takes it as real time goes (or as the
// card's own clock goes, when a test server runs faster than real time),
// never ahead of it.
//
// The account is kept over the whole run rather than tick by tick: timer
// ticks jitter (a late one is followed by an early one), and crediting each
// tick with the longer of its nominal and its measured length would run the
// card ahead of real time on a busy machine. A late tick is made up, a
// little at a time. Time in which the writer had nothing to give is made up
// only as far as a late tick would be (kCatchUpSeconds): a writer that
// starts late, or pauses, is not then read faster than real time, while a
// reader held up for a moment still catches up with a writer at real time.
#include <algorithm>
#include <chrono>

namespace cardserver {

class PipePace {
public:
    using Clock = std::chrono::steady_clock;
    // At most this much audio beyond the tick is taken to make up a late tick.
    static constexpr double kCatchUpSeconds = 0.5;

    // Seconds of audio this tick may take; `tickSeconds` is the card's clock step.
    double allowance(double tickSeconds, Clock::time_point now = Clock::now())
    {
        if (!m_started) {
            m_started = true;
            m_start = now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(tickSeconds));
        }
        m_cardClock += tickSeconds;
        const double wall = std::chrono::duration<double>(now - m_start).count();
        m_due = std::max(wall, m_cardClock);
        return std::clamp(m_due - m_taken, 0.0, tickSeconds + kCatchUpSeconds);
    }

    // What the tick took of its allowance; `writerBehind` when the pipe had
    // less to give than was allowed.
    void took(double seconds, bool writerBehind)
    {
        m_taken += seconds;
        if (writerBehind) m_taken = std::max(m_taken, m_due - kCatchUpSeconds);
    }

private:
    bool m_started = false;
    Clock::time_point m_start{};
    double m_cardClock = 0;  // the card's ticks added up
    double m_due = 0;        // audio the clock allows by the latest tick
    double m_taken = 0;      // audio taken, and time the writer let pass
};

}  // namespace cardserver
