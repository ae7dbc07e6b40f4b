#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace rtty {

// The last seconds of audio, to decode again after a big retune: from
// `keep` samples up to twice that many, the oldest `keep` dropped at once
// when there are more (so what a rewind reaches back to is the same as it
// always was), held in a ring so that nothing is ever moved.
class RecentAudio {
public:
    void reset(std::size_t keep)
    {
        keep_ = keep;
        ring_.assign(2 * keep, 0.0f);
        size_ = 0;
        end_ = 0;
    }

    void append(const float* samples, std::size_t n)
    {
        const std::size_t capacity = ring_.size();
        size_ += n;
        if (size_ > 2 * keep_)
            size_ = keep_;
        if (capacity == 0)
            return;
        if (n >= capacity) {
            std::copy(samples + (n - capacity), samples + n, ring_.begin());
            end_ = 0;
            return;
        }
        const std::size_t first = std::min(n, capacity - end_);
        std::copy(samples, samples + first, ring_.begin() + long(end_));
        std::copy(samples + first, samples + n, ring_.begin());
        end_ = (end_ + n) % capacity;
    }

    std::size_t size() const { return size_; }

    // The newest `count` samples (at most size()), oldest first.
    std::vector<float> newest(std::size_t count) const
    {
        count = std::min(count, size_);
        std::vector<float> out(count);
        const std::size_t capacity = ring_.size();
        if (count == 0)
            return out;
        const std::size_t start = (end_ + capacity - count) % capacity;
        const std::size_t first = std::min(count, capacity - start);
        std::copy(ring_.begin() + long(start), ring_.begin() + long(start + first), out.begin());
        std::copy(ring_.begin(), ring_.begin() + long(count - first), out.begin() + long(first));
        return out;
    }

private:
    std::size_t keep_ = 0;
    std::vector<float> ring_;
    std::size_t size_ = 0;
    std::size_t end_ = 0;  // where the next sample goes
};

}  // namespace rtty
