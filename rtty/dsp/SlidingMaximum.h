#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace rtty {

// The highest of the values within halfWidth either side, computed as the
// values come (three comparisons a value, not 2 * halfWidth + 1). The
// maximum round value i is appended to `out` once value i + halfWidth has come.
//
// Van Herk / Gil-Werman: the values go in blocks of one window's width. A
// window spans the end of the block before (the highest from its start to
// that block's end, computed once the block is whole) and the start of the
// one filling (the highest so far): one comparison each, whatever the
// values, where a queue of falling values branches on every one. A value's
// work is inline; only a whole block's backward pass is a call.
class SlidingMaximum {
public:
    // With `step` > 1 the values are taken `step` at a time, as their
    // highest, and each maximum stands for all of them: the window's edges
    // move by whole steps (coarser by up to step - 1 values, and cheaper).
    explicit SlidingMaximum(int halfWidth = 0, int step = 1)
        : halfWidth_(halfWidth / step), step_(step), width_(std::size_t(2 * halfWidth_ + 1)),
          block_(width_), suffix_(width_, std::numeric_limits<float>::lowest())  // nothing before the first value
    {
    }

    void push(float value, std::vector<float>& out)
    {
        if (step_ == 1)
            pushOne(value, out, 1);
        else
            pushGrouped(value, out);
    }
    // The same for n values.
    void push(const float* values, std::size_t n, std::vector<float>& out)
    {
        if (step_ == 1) {
            for (std::size_t i = 0; i < n; ++i)
                pushOne(values[i], out, 1);
        } else {
            for (std::size_t i = 0; i < n; ++i)
                pushGrouped(values[i], out);
        }
    }

private:
    // One value (a whole step's highest), standing for `copies` outputs.
    void pushOne(float value, std::vector<float>& out, int copies)
    {
        const std::size_t at = inBlock_;
        block_[at] = value;
        highestInBlock_ = at == 0 ? value : std::max(highestInBlock_, value);
        const bool last = at + 1 == width_;
        // The window of values next_ - width + 1 ... next_: from position
        // at + 1 of the block before, or this block alone once it is whole.
        if (next_++ >= halfWidth_) {
            const float highest = last ? highestInBlock_ : std::max(suffix_[at + 1], highestInBlock_);
            if (copies == 1)
                out.push_back(highest);
            else
                out.insert(out.end(), std::size_t(copies), highest);
        }
        inBlock_ = at + 1;
        if (last)
            closeBlock();
    }
    void pushGrouped(float value, std::vector<float>& out)
    {
        stepMaximum_ = inStep_ == 0 ? value : std::max(stepMaximum_, value);
        if (++inStep_ < step_)
            return;
        inStep_ = 0;
        pushOne(stepMaximum_, out, step_);
    }
    // The block is whole: the highest from each of its positions to its end.
    [[gnu::noinline]] void closeBlock()
    {
        float highest = block_[width_ - 1];
        for (std::size_t j = width_; j-- > 0;)
            suffix_[j] = highest = std::max(highest, block_[j]);
        inBlock_ = 0;
    }

    int halfWidth_;  // in steps
    int step_;
    std::size_t width_;  // of a window, in steps
    int inStep_ = 0;
    float stepMaximum_ = 0.0f;
    int64_t next_ = 0;
    // The block of one window's width filling, its highest value so far, and
    // for each position of the block before, the highest from there to its end.
    std::vector<float> block_, suffix_;
    float highestInBlock_ = 0.0f;
    std::size_t inBlock_ = 0;
};

}  // namespace rtty
