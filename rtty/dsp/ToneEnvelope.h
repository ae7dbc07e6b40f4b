#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The local level of one tone for the slot likelihood: the highest one-bit
// magnitude within half a width either side. Under fading it follows the
// tone down within a bit, from both sides of the slot (the look-ahead is
// inside the decoding delay), so a faded tone is weighed by what it has
// now rather than by what it had a second ago. A tone off throughout the
// window shows only noise, which weighs it down as well: the decision then
// rests on the other tone.

namespace rtty {

// The highest of the values within halfWidth either side, computed as the
// values come (three comparisons a value, not 2 * halfWidth + 1). The
// maximum round value i is appended to `out` once value i + halfWidth has come.
class SlidingMaximum {
public:
    // With `step` > 1 the values are taken `step` at a time, as their
    // highest, and each maximum stands for all of them: the window's edges
    // move by whole steps (coarser by up to step - 1 values, and cheaper).
    explicit SlidingMaximum(int halfWidth = 0, int step = 1) : halfWidth_(halfWidth / step), step_(step) {}
    // Inline: it is called for every magnitude of both tones.
    void push(float value, std::vector<float>& out)
    {
        if (step_ == 1) {
            pushStep(value, out);
            return;
        }
        stepMaximum_ = inStep_ == 0 ? value : std::max(stepMaximum_, value);
        if (++inStep_ == step_)
            pushGroup(out);
    }

private:
    void pushGroup(std::vector<float>& out);
    void pushStep(float value, std::vector<float>& out);

    int halfWidth_;  // in steps
    int step_;
    int inStep_ = 0;
    float stepMaximum_ = 0.0f;
    int64_t next_ = 0;
    // The block of one window's width filling, its highest value so far, and
    // for each position of the block before, the highest from there to its end.
    std::vector<float> block_, suffix_;
    float highestInBlock_ = 0.0f;
    std::size_t inBlock_ = 0;
};


// The pair's common level: at every instant one tone is keyed on, so the
// larger of the two tones' magnitudes (each against its long-term
// amplitude) at the centre of any bit shows the pair's level. Its highest
// value within the half width of `pairMaximum` either side (half a bit or more, so that a bit
// centre is always inside), against the larger of the two tones' local
// levels (ToneEnvelope above, the same way), is near 1 unless both tones
// are down together: it follows a fade of both within a bit, where the
// tone levels, which look a character either side, still show the level
// before or after it. A fade of one tone (keying, selective fading) leaves
// it near 1: that tone's own level says it.
// `pairLevel` is extended as far as `markEnvelope` allows, `common` up to
// pairLevel.size() less the half width.
void extendCommonLevel(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                       const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                       std::vector<float>& pairLevel, SlidingMaximum& pairMaximum, std::vector<float>& common,
                       float markAmplitude, float spaceAmplitude);

}  // namespace rtty
