#include "rtty/linesearch/LineCheck.h"

#include "rtty/dsp/ReceiverFrontEnd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rtty {

namespace {

// The search measures speeds to a per cent or so, shifts to a few hertz.
constexpr double kBaudTolerance = 0.04;
constexpr double kShiftShare = 0.12;
constexpr double kShiftLeastHz = 25.0;
// The decoder pulls in a line this far off by itself (it searches ±100 Hz).
constexpr double kCentreReachHz = 0.8 * ReceiverFrontEnd::kMaxTuningHz;

}  // namespace

LineCheck::LineCheck(double sampleRate, const RttyParameters& set) : set_(set), search_(sampleRate) {}

bool LineCheck::fits(const RttyParameters& set, const AlsResult& found)
{
    if (!found.determined)
        return true;
    const bool baud = std::fabs(found.baud - set.baud) <= kBaudTolerance * set.baud;
    const bool shift = std::fabs(found.shiftHz - set.shiftHz) <= std::max(kShiftLeastHz, kShiftShare * set.shiftHz);
    const bool centre = std::fabs(found.centreHz - set.centreHz) <= kCentreReachHz;
    return baud && shift && centre && found.inverted == set.inverted;
}

void LineCheck::process(const float* samples, size_t n)
{
    if (verdict_ != Verdict::Undecided)
        return;
    search_.process(samples, n);
    judge();
}

void LineCheck::finish()
{
    if (verdict_ != Verdict::Undecided)
        return;
    search_.finish();
    judge();
}

void LineCheck::judge()
{
    if (search_.determined())
        verdict_ = fits(set_, search_.result()) ? Verdict::Fits : Verdict::Wrong;
}

std::string LineCheck::describeHeard() const
{
    const AlsResult& found = search_.result();
    char text[160];
    std::snprintf(text, sizeof text, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity", found.centreHz, found.shiftHz,
                  found.baud, found.inverted ? "inverted" : "normal");
    return text;
}

}  // namespace rtty
