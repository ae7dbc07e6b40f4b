#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The audio cut into Hann-windowed segments of a power-of-two length (the
// shortest of at least `seconds`), one every `hop` samples from the first,
// each transformed by FFTW once it is whole. The frequency acquisition
// reads every segment and the carrier notch every other one: one transform
// serves both.

struct fftwf_plan_s;

namespace rtty {

class HannSegments {
public:
    // `hopShare`: the hop as a share of the length (1 or 1/2).
    HannSegments(double sampleRate, double seconds, double hopShare);
    ~HannSegments();
    HannSegments(const HannSegments&) = delete;
    HannSegments& operator=(const HannSegments&) = delete;

    static std::size_t lengthFor(double sampleRate, double seconds);
    std::size_t length() const { return length_; }

    // Takes new audio; whole segments then come from transformNext().
    void append(const float* samples, std::size_t n);
    // Transforms the next whole segment, if there is one: its bins
    // 0..length/2, interleaved re, im, are then in transform().
    bool transformNext();
    const float* transform() const { return transformOut_.get(); }
    // Segments transformed so far.
    int64_t count() const { return count_; }

private:
    std::size_t length_, hop_;
    // FFTW's buffers come aligned from FFTW: on the heap's chance alignment
    // it would pick other kernels, and the transforms would round otherwise
    // from one run (or build) to the next.
    struct FftwFree {
        void operator()(float* buffer) const;
    };
    std::unique_ptr<float[], FftwFree> input_;
    std::unique_ptr<float[], FftwFree> transformOut_;
    fftwf_plan_s* plan_ = nullptr;
    std::vector<float> window_, pending_;
    std::size_t pendingUsed_ = 0;  // pending_ before this is transformed
    int64_t count_ = 0;
};

}  // namespace rtty
