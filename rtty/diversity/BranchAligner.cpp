#include "rtty/diversity/BranchAligner.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr int kGridPerBit = 16;
constexpr int kCoarseStride = 4;  // the coarse search on a 1/4-bit grid
// A peak counts when its normalised correlation reaches this, and stands
// this far above the best one more than a bit away (a character away the
// start and stop bits agree: that side peak is about a third of the main).
constexpr double kMinCorrelation = 0.2;
constexpr double kSidePeakRatio = 1.4;
// Tracking is a second-order loop: the offset and its rate of change (the
// two clocks' difference) are both followed, so a steady drift leaves no lag.
constexpr double kTrackingGain = 0.3;
constexpr double kRateGain = 0.005;
constexpr double kMaxRate = 300e-6;
constexpr double kTrackingBits = 0.5;  // a measurement further off is a jump, taken only when repeated
constexpr int kJumpLooks = 2;

}  // namespace

BranchAligner::BranchAligner(int branches, double baud)
    : branches_(size_t(branches)), step_(1.0 / (kGridPerBit * baud)), bitSteps_(kGridPerBit)
{
}

void BranchAligner::add(int b, const float* softBits, size_t n)
{
    Branch& branch = branches_[size_t(b)];
    branch.soft.insert(branch.soft.end(), softBits, softBits + n);
    const auto keep = size_t((kWindowSeconds + 4 * kMaxLagSeconds) / step_);
    if (branch.soft.size() > keep + keep / 4) {
        const size_t drop = branch.soft.size() - keep;
        branch.soft.erase(branch.soft.begin(), branch.soft.begin() + long(drop));
        branch.dropped += drop;
    }
    sinceLook_ += n;
}

// Sum of a(k) * b(k + lag) over k = from, from + stride, ... (count terms),
// normalised by both series' energy over the terms used.
double BranchAligner::correlate(int a, int b, size_t from, size_t count, long lag, int stride) const
{
    double product = 0.0, energyA = 0.0, energyB = 0.0;
    for (size_t i = 0; i < count; i += size_t(stride)) {
        const float x = at(a, from + i), y = at(b, size_t(long(from + i) + lag));
        product += double(x) * y;
        energyA += double(x) * x;
        energyB += double(y) * y;
    }
    const double energy = std::sqrt(energyA * energyB);
    return energy > 0.0 ? product / energy : 0.0;
}

// The lag of b behind a within aroundLag ± halfRange (seconds), over the
// latest window both have.
BranchAligner::Measurement BranchAligner::measure(int a, int b, double aroundLag, double halfRange) const
{
    Measurement result;
    const long centre = std::lround(aroundLag / step_);
    const long range = std::lround(halfRange / step_);
    // a's window, from..from+count, must have b's lagged samples inside b's buffer.
    // (The refinement looks a little beyond the range.)
    const long reach = std::abs(centre) + range + kCoarseStride + 2;
    const long firstA = long(std::max(branches_[size_t(a)].dropped, branches_[size_t(b)].dropped)) + reach;
    const long endA = std::min(long(available(a)), long(available(b)) - reach);
    const auto wanted = long(kWindowSeconds / step_);
    const long from = std::max(firstA, endA - wanted);
    const long count = endA - from;
    if (count < long(kMinWindowSeconds / step_))
        return result;

    const int stride = range > 4 * bitSteps_ ? kCoarseStride : 1;
    std::vector<double> values;
    for (long lag = centre - range; lag <= centre + range; lag += stride)
        values.push_back(correlate(a, b, size_t(from), size_t(count), lag, stride));
    const auto peak = size_t(std::max_element(values.begin(), values.end()) - values.begin());
    double side = 0.0;
    for (size_t i = 0; i < values.size(); ++i)
        if (std::abs(double(i) - double(peak)) * stride > bitSteps_)
            side = std::max(side, values[i]);
    long best = centre - range + long(peak) * stride;
    // Refine on the fine grid round the coarse peak, then by a parabola.
    double bestValue = values[peak];
    if (stride > 1) {
        for (long lag = best - stride; lag <= best + stride; ++lag) {
            const double value = correlate(a, b, size_t(from), size_t(count), lag, 1);
            if (value > bestValue) {
                bestValue = value;
                best = lag;
            }
        }
    }
    best = std::clamp(best, centre - range - kCoarseStride, centre + range + kCoarseStride);
    double fine = double(best);
    const double before = correlate(a, b, size_t(from), size_t(count), best - 1, 1);
    const double here = correlate(a, b, size_t(from), size_t(count), best, 1);
    const double after = correlate(a, b, size_t(from), size_t(count), best + 1, 1);
    const double curvature = before - 2.0 * here + after;
    if (curvature < 0.0)
        fine += std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    result.correlation = here;
    result.lagSeconds = fine * step_;
    result.ageSeconds = (double(available(a)) - double(from) - 0.5 * double(count)) * step_;
    result.valid = here >= kMinCorrelation && (range <= 2 * bitSteps_ || here >= kSidePeakRatio * side);
    return result;
}

bool BranchAligner::update()
{
    if (sinceLook_ < size_t(double(branches()) / step_))
        return false;
    const double sinceLastLook = double(sinceLook_) / branches() * step_;
    sinceLook_ = 0;
    const int n = branches();
    bool changed = false;
    std::vector<std::vector<Measurement>> wide(size_t(n), std::vector<Measurement>{size_t(n)});

    // Branches not yet aligned: searched over the whole range against every other.
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b)
            if (!branches_[size_t(a)].alignment.aligned || !branches_[size_t(b)].alignment.aligned)
                wide[size_t(a)][size_t(b)] = measure(a, b, 0.0, kMaxLagSeconds);

    auto anyAligned = [&] {
        for (const Branch& branch : branches_)
            if (branch.alignment.aligned)
                return true;
        return false;
    };
    auto join = [&](int b, double offset, double correlation) {
        BranchAlignment& alignment = branches_[size_t(b)].alignment;
        alignment.aligned = true;
        alignment.offsetSeconds = offset;
        alignment.correlation = correlation;
        alignment.alignedAtSeconds = double(available(b)) * step_;
        branches_[size_t(b)].disagreements = 0;
        changed = true;
    };
    auto pair = [&](int a, int b) -> Measurement {
        if (a < b)
            return wide[size_t(a)][size_t(b)];
        Measurement m = wide[size_t(b)][size_t(a)];
        m.lagSeconds = -m.lagSeconds;
        return m;
    };

    if (!anyAligned()) {
        // The first pair: the most convincing one, anchored on the branch
        // decoded alone so far when it is one of the two.
        int bestA = -1, bestB = -1;
        double bestCorrelation = 0.0;
        for (int a = 0; a < n; ++a)
            for (int b = a + 1; b < n; ++b)
                if (wide[size_t(a)][size_t(b)].valid && wide[size_t(a)][size_t(b)].correlation > bestCorrelation) {
                    bestCorrelation = wide[size_t(a)][size_t(b)].correlation;
                    bestA = a;
                    bestB = b;
                }
        if (bestA >= 0) {
            if (bestB == anchor_)
                std::swap(bestA, bestB);
            const Measurement m = pair(bestA, bestB);
            join(bestA, branches_[size_t(bestA)].alignment.offsetSeconds, m.correlation);
            join(bestB, branches_[size_t(bestA)].alignment.offsetSeconds + m.lagSeconds, m.correlation);
        }
    }
    // Others join through their best pair with an aligned branch.
    for (bool joined = true; joined;) {
        joined = false;
        for (int b = 0; b < n && !joined; ++b) {
            if (branches_[size_t(b)].alignment.aligned)
                continue;
            int via = -1;
            double best = 0.0;
            for (int a = 0; a < n; ++a)
                if (a != b && branches_[size_t(a)].alignment.aligned && pair(a, b).valid && pair(a, b).correlation > best) {
                    best = pair(a, b).correlation;
                    via = a;
                }
            if (via >= 0) {
                join(b, branches_[size_t(via)].alignment.offsetSeconds + pair(via, b).lagSeconds, best);
                joined = true;
            }
        }
    }

    // Aligned branches: each pair measured near what the offsets say; each
    // offset moves towards the mean of what its pairs measure (all at once,
    // so the set as a whole stays put while the clocks drift apart).
    std::vector<double> residual(size_t(n), 0.0), weight(size_t(n), 0.0), far(size_t(n), 0.0);
    std::vector<double> bestCorrelation(size_t(n), 0.0);
    for (int a = 0; a < n; ++a) {
        for (int b = a + 1; b < n; ++b) {
            const BranchAlignment& x = branches_[size_t(a)].alignment;
            const BranchAlignment& y = branches_[size_t(b)].alignment;
            if (!x.aligned || !y.aligned)
                continue;
            const double expected = y.offsetSeconds - x.offsetSeconds;
            Measurement m = measure(a, b, expected, 2.0 * bitSteps_ * step_);
            if (!m.valid) {
                // Moved further than tracking reaches (a receiver restarted)?
                m = measure(a, b, 0.0, kMaxLagSeconds);
                if (!m.valid || std::abs(m.lagSeconds - expected) < kTrackingBits * bitSteps_ * step_)
                    continue;
                far[size_t(a)] += 1.0;
                far[size_t(b)] += 1.0;
                continue;
            }
            // The window's middle lies a few seconds back: the lag now is
            // further on by the drift since.
            const double rate = branches_[size_t(b)].rate - branches_[size_t(a)].rate;
            const double r = m.lagSeconds + rate * m.ageSeconds - expected;
            residual[size_t(b)] += m.correlation * r;
            residual[size_t(a)] -= m.correlation * r;
            weight[size_t(a)] += m.correlation;
            weight[size_t(b)] += m.correlation;
            bestCorrelation[size_t(a)] = std::max(bestCorrelation[size_t(a)], m.correlation);
            bestCorrelation[size_t(b)] = std::max(bestCorrelation[size_t(b)], m.correlation);
        }
    }
    for (int b = 0; b < n; ++b) {
        Branch& branch = branches_[size_t(b)];
        if (!branch.alignment.aligned)
            continue;
        branch.alignment.offsetSeconds += branch.rate * sinceLastLook;
        if (weight[size_t(b)] > 0.0) {
            const double r = 0.5 * residual[size_t(b)] / weight[size_t(b)];
            branch.alignment.offsetSeconds += kTrackingGain * r;
            branch.rate = std::clamp(branch.rate + kRateGain * r / std::max(sinceLastLook, 0.1), -kMaxRate, kMaxRate);
            branch.alignment.correlation = bestCorrelation[size_t(b)];
            branch.disagreements = 0;
            changed = true;
        } else if (far[size_t(b)] > 0.0 && ++branch.disagreements >= kJumpLooks) {
            // Measured elsewhere in several looks and nowhere near its offset:
            // aligned afresh on the next look.
            branch.alignment.aligned = false;
            branch.alignment.correlation = 0.0;
            branch.rate = 0.0;
            branch.disagreements = 0;
            changed = true;
        } else {
            branch.alignment.correlation = 0.0;
        }
    }
    return changed;
}

}  // namespace rtty
