#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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
        : halfWidth_(halfWidth / step), step_(step), history_(std::size_t(2 * (2 * halfWidth_ + 1)))
    {
        setEdgeWeight(edgeWeight);
    }

    // Takes effect from the next maximum on.
    void setEdgeWeight(float edgeWeight)
    {
        if (edgeWeight == edgeWeight_)
            return;
        edgeWeight_ = edgeWeight;
        weights_.resize(std::size_t(2 * halfWidth_ + 1));
        for (int j = -halfWidth_; j <= halfWidth_; ++j) {
            const float distance = halfWidth_ > 0 ? float(std::abs(j)) / float(halfWidth_) : 0.0f;
            weights_[std::size_t(j + halfWidth_)] = 1.0f - (1.0f - edgeWeight) * distance;
        }
    }

    void push(const float* values, std::size_t n, std::vector<float>& out)
    {
        // Room for every maximum these values can complete, written in place.
        const auto step = std::size_t(step_);
        const std::size_t before = out.size();
        out.resize(before + n + step);
        float* next = out.data() + before;
        for (std::size_t i = 0; i < n;) {
            if (inStep_ == 0 && n - i >= step) {
                // A whole step at once, taken in the same order.
                float highest = values[i];
                for (std::size_t k = 1; k < step; ++k)
                    highest = std::max(highest, values[i + k]);
                i += step;
                next = takeStep(highest, next);
                continue;
            }
            stepMaximum_ = inStep_ == 0 ? values[i] : std::max(stepMaximum_, values[i]);
            ++i;
            if (++inStep_ < step_)
                continue;
            inStep_ = 0;
            next = takeStep(stepMaximum_, next);
        }
        out.resize(std::size_t(next - out.data()));
    }

private:
    // Returns the end of what was written.
    float* takeStep(float value, float* next)
    {
        // Each value is kept twice, a window apart, so that every window
        // lies in one piece of memory and is read eight values at a time.
        const std::size_t width = weights_.size();
        const std::size_t slot = slot_;
        history_[slot] = history_[slot + width] = value;
        slot_ = slot + 1 == width ? 0 : slot + 1;
        ++taken_;
        // The step now at the window's centre, and the steps round it that have come.
        const int64_t centre = taken_ - 1 - halfWidth_;
        if (centre < 0)
            return next;
        // Once a whole window has come, it starts at the slot written next.
        const int64_t first = std::max<int64_t>(0, centre - halfWidth_);
        const float* values = &history_[first > 0 ? slot_ : std::size_t(first)];
        const float* weights = &weights_[std::size_t(first - centre + halfWidth_)];
        const std::size_t count = std::size_t(taken_ - first);
        const float highest = weightedMaximum(values, weights, count);
        for (int k = 0; k < step_; ++k)
            *next++ = highest;
        return next;
    }

    static float weightedMaximum(const float* values, const float* weights, std::size_t count)
    {
#if defined(__x86_64__) || defined(__i386__)
        // Eight values at a time where the processor has AVX (chosen at run
        // time: the build runs on any x86-64). The same products, and the
        // maximum does not depend on the order they are compared in.
        static const bool wide = __builtin_cpu_supports("avx");
        if (wide)
            return weightedMaximumWide(values, weights, count);
#endif
        float highest = std::numeric_limits<float>::lowest();
        std::size_t i = 0;
#if defined(__SSE__)
        if (count >= 4) {
            __m128 best = _mm_set1_ps(highest);
            for (; i + 4 <= count; i += 4)
                best = _mm_max_ps(best, _mm_mul_ps(_mm_loadu_ps(values + i), _mm_loadu_ps(weights + i)));
            alignas(16) float lanes[4];
            _mm_store_ps(lanes, best);
            highest = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
        }
#endif
        for (; i < count; ++i)
            highest = std::max(highest, values[i] * weights[i]);
        return highest;
    }

#if defined(__x86_64__) || defined(__i386__)
    [[gnu::target("avx")]] static float weightedMaximumWide(const float* values, const float* weights, std::size_t count)
    {
        float highest = std::numeric_limits<float>::lowest();
        std::size_t i = 0;
        if (count >= 8) {
            __m256 best = _mm256_set1_ps(highest);
            for (; i + 8 <= count; i += 8)
                best = _mm256_max_ps(best, _mm256_mul_ps(_mm256_loadu_ps(values + i), _mm256_loadu_ps(weights + i)));
            // The last eight again: a product taken twice is the same maximum.
            if (i < count)
                best = _mm256_max_ps(best, _mm256_mul_ps(_mm256_loadu_ps(values + count - 8),
                                                         _mm256_loadu_ps(weights + count - 8)));
            __m128 half = _mm_max_ps(_mm256_castps256_ps128(best), _mm256_extractf128_ps(best, 1));
            half = _mm_max_ps(half, _mm_movehl_ps(half, half));
            half = _mm_max_ss(half, _mm_shuffle_ps(half, half, 1));
            return _mm_cvtss_f32(half);
        }
        for (; i < count; ++i)
            highest = std::max(highest, values[i] * weights[i]);
        return highest;
    }
#endif

    int halfWidth_;  // in steps
    int step_;
    std::vector<float> history_, weights_;
    float edgeWeight_ = -1.0f;
    int64_t taken_ = 0;
    std::size_t slot_ = 0;  // of history_, written next
    int inStep_ = 0;
    float stepMaximum_ = 0.0f;
};

}  // namespace rtty
