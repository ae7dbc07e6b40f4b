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

    // The same for n values, written in place; a block's values go through
    // the run of the window block they fall in without a test per value
    // for the start and the end of the warm-up. The state is worked on in
    // locals: the values are floats, as some members are, and stores to
    // either would make the compiler reload the other.
    void push(const float* values, std::size_t n, std::vector<float>& out)
    {
        // Room for every maximum these values can complete.
        const std::size_t before = out.size();
        out.resize(before + n + std::size_t(step_));
        float* next = out.data() + before;
        if (step_ == 1) {
            next = pushSteps<true>(values, n, next);
        } else {
            // Each whole step's highest value, some at a time.
            constexpr std::size_t kChunk = 256;
            float grouped[kChunk];
            std::size_t count = 0;
            int inStep = inStep_;
            float stepMaximum = stepMaximum_;
            const auto step = std::size_t(step_);
            for (std::size_t i = 0; i < n;) {
                if (inStep == 0 && n - i >= step) {
                    // A whole step at once, taken in the same order.
                    float highest = values[i];
                    for (std::size_t k = 1; k < step; ++k)
                        highest = std::max(highest, values[i + k]);
                    i += step;
                    grouped[count++] = highest;
                } else {
                    const float value = values[i++];
                    stepMaximum = inStep == 0 ? value : std::max(stepMaximum, value);
                    if (++inStep < step_)
                        continue;
                    inStep = 0;
                    grouped[count++] = stepMaximum;
                }
                if (count == kChunk) {
                    next = pushSteps<false>(grouped, count, next);
                    count = 0;
                }
            }
            inStep_ = inStep;
            stepMaximum_ = stepMaximum;
            next = pushSteps<false>(grouped, count, next);
        }
        out.resize(std::size_t(next - out.data()));
    }

private:
    // Whole steps' highest values in; each maximum completed is written
    // step_ times from `next` on. Returns the end of what was written.
    template <bool Single>
    float* pushSteps(const float* values, std::size_t n, float* next)
    {
        float* const block = block_.data();
        const float* const suffix = suffix_.data();
        const std::size_t width = width_;
        const int copies = Single ? 1 : step_;
        float highestInBlock = highestInBlock_;
        std::size_t at = inBlock_;
        int64_t index = next_;
        auto write = [&](float highest) {
            if (Single)
                *next++ = highest;
            else
                for (int k = 0; k < copies; ++k)
                    *next++ = highest;
        };
        for (std::size_t i = 0; i < n;) {
            const std::size_t run = std::min(width - at, n - i);
            const float* const in = values + i;
            if (index >= halfWidth_) {
                // Every value completes a maximum.
                std::size_t r = 0;
                if (at == 0) {
                    highestInBlock = in[0];
                    block[0] = in[0];
                    write(width == 1 ? highestInBlock : std::max(suffix[1], highestInBlock));
                    r = 1;
                    ++at;
                }
                // Up to the block's last position, which has nothing after it.
                const std::size_t beforeLast = at + (run - r) == width ? run - 1 : run;
                for (; r < beforeLast; ++r, ++at) {
                    block[at] = in[r];
                    highestInBlock = std::max(highestInBlock, in[r]);
                    write(std::max(suffix[at + 1], highestInBlock));
                }
                if (r < run) {
                    block[at] = in[r];
                    highestInBlock = std::max(highestInBlock, in[r]);
                    write(highestInBlock);
                    ++at;
                }
                index += int64_t(run);
            } else {
                for (std::size_t r = 0; r < run; ++r, ++at) {
                    const float value = in[r];
                    block[at] = value;
                    highestInBlock = at == 0 ? value : std::max(highestInBlock, value);
                    if (index++ >= halfWidth_)
                        write(at + 1 == width ? highestInBlock : std::max(suffix[at + 1], highestInBlock));
                }
            }
            i += run;
            if (at == width) {
                closeBlock();
                at = 0;
            }
        }
        highestInBlock_ = highestInBlock;
        inBlock_ = at;
        next_ = index;
        return next;
    }

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
