#include "rtty/diversity/BranchAligner.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr int kGridPerBit = 8;
constexpr int kCoarseStride = kGridPerBit / 2;  // the coarse search on a half-bit grid
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
// How often the pairs are looked at: drift moves them by a fifth of a
// millisecond in this time at most.
constexpr double kLookSeconds = 2.0;
// Aligned pairs are looked at only round where they were, over a shorter
// window: drift moves them by a tenth of a millisecond a second at most.
constexpr double kTrackingRangeBits = 0.5;
constexpr double kTrackingWindowSeconds = 4.0;

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

// The lag of b behind a within aroundLag ± halfRange (seconds), over the
// latest window of `windowSeconds` both have: the normalised correlation
// on a coarse grid (half a bit) when the range is wide, then on the fine
// grid round the best, then a parabola through the three best.
BranchAligner::Measurement BranchAligner::measure(int a, int b, double aroundLag, double halfRange,
                                                  double windowSeconds) const
{
    Measurement result;
    const long centre = std::lround(aroundLag / step_);
    const long range = std::lround(halfRange / step_);
    const int stride = range > 2 * long(bitSteps_) ? kCoarseStride : 1;
    // a's window, from..from+count, must have b's lagged values inside b's buffer.
    const long pad = stride + 2;
    const long firstA = long(std::max(branches_[size_t(a)].dropped, branches_[size_t(b)].dropped)) + std::abs(centre)
                        + range + pad;
    const long endA = std::min(long(available(a)), long(available(b)) - std::abs(centre) - range - pad);
    const long from = std::max(firstA, endA - long(windowSeconds / step_));
    const long count = endA - from;
    if (count < long(kMinWindowSeconds / step_))
        return result;

    // Contiguous copies: x is a's window, y b's from lag centre - range - pad on.
    const long yFirst = from + centre - range - pad;
    std::vector<float> x(static_cast<size_t>(count));
    std::vector<float> y(static_cast<size_t>(count + 2 * (range + pad) + 1));
    for (long i = 0; i < count; ++i)
        x[size_t(i)] = at(a, size_t(from + i));
    for (size_t j = 0; j < y.size(); ++j)
        y[j] = at(b, size_t(yFirst + long(j)));
    double energyX = 0.0, energyY = 0.0;
    for (long i = 0; i < count; ++i) {
        energyX += double(x[size_t(i)]) * x[size_t(i)];
        const float v = y[size_t(i + range + pad)];
        energyY += double(v) * v;
    }
    const double norm = std::sqrt(energyX * energyY);
    if (norm <= 0.0)
        return result;
    auto correlation = [&](long lag, int every) {
        const float* ys = y.data() + (lag - (centre - range - pad));
        double sum = 0.0;
        for (long i = 0; i < count; i += every)
            sum += double(x[size_t(i)]) * ys[i];
        return sum * every / norm;
    };

    std::vector<double> values;
    for (long lag = centre - range; lag <= centre + range; lag += stride)
        values.push_back(correlation(lag, stride));
    const auto peak = size_t(std::max_element(values.begin(), values.end()) - values.begin());
    double side = 0.0;
    for (size_t i = 0; i < values.size(); ++i)
        if (std::abs(double(i) - double(peak)) * stride > bitSteps_)
            side = std::max(side, values[i]);
    long best = centre - range + long(peak) * stride;
    if (stride > 1) {
        double bestValue = -1e300;
        const long coarse = best;
        for (long lag = coarse - stride; lag <= coarse + stride; ++lag) {
            const double value = correlation(lag, 1);
            if (value > bestValue) {
                bestValue = value;
                best = lag;
            }
        }
    }
    best = std::clamp(best, centre - range - stride, centre + range + stride);
    const double before = correlation(best - 1, 1), here = correlation(best, 1), after = correlation(best + 1, 1);
    double fine = double(best);
    const double curvature = before - 2.0 * here + after;
    if (curvature < 0.0)
        fine += std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
    result.correlation = here;
    result.lagSeconds = fine * step_;
    result.ageSeconds = (double(available(a)) - double(from) - 0.5 * double(count)) * step_;
    // A narrow look whose best lies at its edge has lost the peak.
    const bool atEdge = stride == 1 && std::abs(best - centre) >= range;
    result.valid = here >= kMinCorrelation && !atEdge && (stride == 1 || here >= kSidePeakRatio * side);
    return result;
}

bool BranchAligner::update()
{
    if (sinceLook_ < size_t(kLookSeconds * double(branches()) / step_))
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
                wide[size_t(a)][size_t(b)] = measure(a, b, 0.0, kMaxLagSeconds, kWindowSeconds);

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
            Measurement m = measure(a, b, expected, kTrackingRangeBits * bitSteps_ * step_, kTrackingWindowSeconds);
            if (!m.valid) {
                // Moved further than tracking reaches (a receiver restarted)?
                m = measure(a, b, 0.0, kMaxLagSeconds, kWindowSeconds);
                if (!m.valid)
                    continue;
                if (std::abs(m.lagSeconds - expected) >= kTrackingBits * bitSteps_ * step_) {
                    far[size_t(a)] += 1.0;
                    far[size_t(b)] += 1.0;
                    continue;
                }
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
