#include "rtty/dsp/HannSegments.h"
#include "rtty/dsp/FftwPlanner.h"

#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <numbers>

namespace rtty {

std::size_t HannSegments::lengthFor(double sampleRate, double seconds)
{
    std::size_t length = 256;
    while (double(length) < seconds * sampleRate)
        length *= 2;
    return length;
}

HannSegments::HannSegments(double sampleRate, double seconds, double hopShare)
    : length_(lengthFor(sampleRate, seconds)),
      hop_(std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(hopShare * double(length_)))))
{
    makeFftwPlannerThreadSafe();
    window_.resize(length_);
    for (std::size_t i = 0; i < length_; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(length_)));
    input_.reset(fftwf_alloc_real(length_));
    transformOut_.reset(fftwf_alloc_real(2 * (length_ / 2 + 1)));
    pending_.reserve(4 * length_);
    plan_ = fftwf_plan_dft_r2c_1d(static_cast<int>(length_), input_.get(),
                                  reinterpret_cast<fftwf_complex*>(transformOut_.get()), FFTW_ESTIMATE);
}

HannSegments::~HannSegments()
{
    fftwf_destroy_plan(plan_);
}

void HannSegments::FftwFree::operator()(float* buffer) const
{
    fftwf_free(buffer);
}

void HannSegments::append(const float* samples, std::size_t n)
{
    // Unused audio is moved to the front only when room runs out, not on
    // every call: the pieces that come are small against a segment.
    if (pendingUsed_ > 0 && pending_.size() + n > pending_.capacity()) {
        pending_.erase(pending_.begin(), pending_.begin() + long(pendingUsed_));
        pendingUsed_ = 0;
    }
    pending_.insert(pending_.end(), samples, samples + n);
}

bool HannSegments::transformNext()
{
    if (pending_.size() - pendingUsed_ < length_)
        return false;
    const float* segment = pending_.data() + pendingUsed_;
    for (std::size_t i = 0; i < length_; ++i)
        input_[i] = segment[i] * window_[i];
    fftwf_execute(plan_);
    pendingUsed_ += hop_;
    ++count_;
    return true;
}

}  // namespace rtty
