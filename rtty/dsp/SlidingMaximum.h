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
        if (step_ != 1) {
            pushGrouped(value, out);
            return;
        }
        float highest;
        if (take(value, highest))
            out.push_back(highest);
    }

    // The same for n values. The state is worked on in locals: the values
    // are floats, as some members are, and stores to either would make the
    // compiler reload the other.
    void push(const float* values, std::size_t n, std::vector<float>& out)
    {
        // Room for every maximum these values can complete, written in place.
        const std::size_t before = out.size();
        out.resize(before + n + std::size_t(step_));
        float* next = out.data() + before;
        float* const block = block_.data();
        const float* const suffix = suffix_.data();
        const int step = step_;
        const std::size_t width = width_;
        int inStep = inStep_;
        float stepMaximum = stepMaximum_, highestInBlock = highestInBlock_;
        std::size_t at = inBlock_;
        int64_t index = next_;
        for (std::size_t i = 0; i < n; ++i) {
            const float value = values[i];
            stepMaximum = inStep == 0 ? value : std::max(stepMaximum, value);
            if (++inStep < step)
                continue;
            inStep = 0;
            block[at] = stepMaximum;
            highestInBlock = at == 0 ? stepMaximum : std::max(highestInBlock, stepMaximum);
            const bool last = at + 1 == width;
            if (index++ >= halfWidth_) {
                const float highest = last ? highestInBlock : std::max(suffix[at + 1], highestInBlock);
                for (int k = 0; k < step; ++k)
                    *next++ = highest;
            }
            ++at;
            if (last) {
                closeBlock();
                at = 0;
            }
        }
        inStep_ = inStep;
        stepMaximum_ = stepMaximum;
        highestInBlock_ = highestInBlock;
        inBlock_ = at;
        next_ = index;
        out.resize(std::size_t(next - out.data()));
    }

private:
    // One value (a whole step's highest) in; true with the maximum it completes.
    bool take(float value, float& highest)
    {
        const std::size_t at = inBlock_;
        block_[at] = value;
        highestInBlock_ = at == 0 ? value : std::max(highestInBlock_, value);
        const bool last = at + 1 == width_;
        // The window of values next_ - width + 1 ... next_: from position
        // at + 1 of the block before, or this block alone once it is whole.
        const bool complete = next_++ >= halfWidth_;
        if (complete)
            highest = last ? highestInBlock_ : std::max(suffix_[at + 1], highestInBlock_);
        inBlock_ = at + 1;
        if (last)
            closeBlock();
        return complete;
    }
    [[gnu::noinline]] void pushGrouped(float value, std::vector<float>& out)
    {
        stepMaximum_ = inStep_ == 0 ? value : std::max(stepMaximum_, value);
        if (++inStep_ < step_)
            return;
        inStep_ = 0;
        float highest;
        if (take(stepMaximum_, highest))
            out.insert(out.end(), std::size_t(step_), highest);
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
