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
// The decoder pulls in a line this far off by itself.
constexpr double kCentreReachHz = ReceiverFrontEnd::kMaxTuningHz;

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

bool LineCheck::isAnotherStation(const RttyParameters& set, const AlsResult& found)
{
    if (!found.determined || std::fabs(found.centreHz - set.centreHz) <= kCentreReachHz)
        return false;
    const double setTones[] = {set.centreHz - set.shiftHz / 2, set.centreHz + set.shiftHz / 2};
    const double heardTones[] = {found.centreHz - found.shiftHz / 2, found.centreHz + found.shiftHz / 2};
    for (double ours : setTones)
        for (double theirs : heardTones)
            if (std::fabs(ours - theirs) <= kCentreReachHz)
                return false;
    return true;
}

void LineCheck::process(const float* samples, size_t n)
{
    // Judged after every look, and no look once decided: the verdict comes
    // at the same look however much audio a call brings (a card running
    // faster than real time brings seconds at once).
    while (n > 0 && verdict_ == Verdict::Undecided) {
        const size_t take = std::min(n, search_.samplesBeforeLook());
        search_.process(samples, take);
        samples += take;
        n -= take;
        judge();
    }
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
    if (!search_.determined())
        return;
    const AlsResult& strongest = search_.result();
    if (fits(set_, strongest)) {
        verdict_ = Verdict::Fits;
        return;
    }
    // The strongest line is not the set one. Before calling the set line
    // wrong, ask (once per look) what is keyed on its own tones: a carrier
    // or a neighbour's tone beside ours can make the strongest pair one of
    // our tones and someone else's.
    if (search_.lookedAtSeconds() != nearLookedAtSeconds_) {
        nearLookedAtSeconds_ = search_.lookedAtSeconds();
        const AlsResult near = search_.measureNear(set_.centreHz - set_.shiftHz / 2, set_.centreHz + set_.shiftHz / 2,
                                                   kCentreReachHz);
        if (near.determined) {
            nearSetLine_ = near;
            verdict_ = fits(set_, near) ? Verdict::Fits : Verdict::Wrong;
            return;
        }
    }
    // Nothing measurable on the set tones: a line heard on or near them is
    // the signal, on another line; another station clear of them says
    // nothing about the set line.
    if (!isAnotherStation(set_, strongest))
        verdict_ = Verdict::Wrong;
}

std::string LineCheck::describeHeard() const
{
    const AlsResult& found = heard();
    char text[160];
    std::snprintf(text, sizeof text, "centre %.1f Hz, shift %.1f Hz, %g Bd, %s polarity", found.centreHz, found.shiftHz,
                  found.baud, found.inverted ? "inverted" : "normal");
    return text;
}

}  // namespace rtty
