#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace rtty {

// The highest of the values within halfWidth either side, each weighed by
// how near it lies: full weight at the centre, falling straight to
// `edgeWeight` at the window's edges. Taken as the level of a tone that is
// keyed on only now and then, the plain maximum reads a fade's bottom at
// the highest level anywhere in the window, which at the window's edge may
// be several times the level there; the taper lets the nearer samples
// decide. Values go in as SlidingMaximum's (same step grouping, same
// delay): the value round value i is appended `step` times once value
// i + halfWidth has come.
class TaperedMaximum {
public:
    explicit TaperedMaximum(int halfWidth = 0, int step = 1, float edgeWeight = 1.0f)
        : halfWidth_(halfWidth / step), step_(step), history_(std::size_t(2 * halfWidth_ + 1))
    {
        setEdgeWeight(edgeWeight);
    }

    // Takes effect from the next maximum on.
    void setEdgeWeight(float edgeWeight)
    {
        if (edgeWeight == edgeWeight_)
            return;
        edgeWeight_ = edgeWeight;
        weights_.resize(history_.size());
        for (int j = -halfWidth_; j <= halfWidth_; ++j) {
            const float distance = halfWidth_ > 0 ? float(std::abs(j)) / float(halfWidth_) : 0.0f;
            weights_[std::size_t(j + halfWidth_)] = 1.0f - (1.0f - edgeWeight) * distance;
        }
    }

    void push(const float* values, std::size_t n, std::vector<float>& out)
    {
        for (std::size_t i = 0; i < n; ++i) {
            stepMaximum_ = inStep_ == 0 ? values[i] : std::max(stepMaximum_, values[i]);
            if (++inStep_ < step_)
                continue;
            inStep_ = 0;
            takeStep(stepMaximum_, out);
        }
    }

private:
    void takeStep(float value, std::vector<float>& out)
    {
        const std::size_t width = history_.size();
        history_[std::size_t(taken_ % int64_t(width))] = value;
        ++taken_;
        // The step now at the window's centre, and the steps round it that have come.
        const int64_t centre = taken_ - 1 - halfWidth_;
        if (centre < 0)
            return;
        float highest = std::numeric_limits<float>::lowest();
        const int64_t first = std::max<int64_t>(0, centre - halfWidth_);
        for (int64_t s = first; s < taken_; ++s)
            highest = std::max(highest, history_[std::size_t(s % int64_t(width))] * weights_[std::size_t(s - centre + halfWidth_)]);
        out.insert(out.end(), std::size_t(step_), highest);
    }

    int halfWidth_;  // in steps
    int step_;
    std::vector<float> history_, weights_;
    float edgeWeight_ = -1.0f;
    int64_t taken_ = 0;
    int inStep_ = 0;
    float stepMaximum_ = 0.0f;
};

}  // namespace rtty
