#include "rtty/dsp/ToneFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rtty {

namespace {

constexpr size_t kResumSamples = size_t(1) << 16;

}  // namespace

ToneFilter::ToneFilter(double sampleRate, double toneHz, double baud, int decimation)
    : sampleRate_(sampleRate), toneHz_(toneHz), decimation_(std::max(decimation, 1)), untilOutput_(decimation_)
{
    const double bitSamples = sampleRate / baud;
    wholeLength_ = static_cast<int>(std::floor(bitSamples));
    fraction_ = bitSamples - wholeLength_;
    const double n = wholeLength_;
    delay_ = (n * (n - 1) / 2 + fraction_ * n) / bitSamples;
    scale_ = 2.0 / bitSamples;
    // Before the first sample the filter has heard silence.
    mixedRe_.assign(size_t(wholeLength_ + decimation_), 0.0f);
    mixedIm_.assign(size_t(wholeLength_ + decimation_), 0.0f);
    if (wholeLength_ % decimation_ == 0) {
        groupsPerBit_ = wholeLength_ / decimation_;
        groups_.assign(size_t(groupsPerBit_), {});
    }
    setTone(toneHz);
}

void ToneFilter::setTone(double toneHz)
{
    toneHz_ = toneHz;
    rotation_ = std::polar(1.0, -2.0 * std::numbers::pi * toneHz / sampleRate_);
    phaseStart_[0] = 1.0;
    for (size_t k = 1; k < kPhases; ++k)
        phaseStart_[k] = phaseStart_[k - 1] * rotation_;
    phaseStep_ = phaseStart_[kPhases - 1] * rotation_;
}

// re/im[i] = samples[i] · phasor · rotation^i. Each of kPhases phasors
// steps kPhases samples at a time: independent recurrences that the
// compiler can interleave or vectorise.
void ToneFilter::mix(const float* samples, size_t n, float* re, float* im)
{
    double phaseRe[kPhases], phaseIm[kPhases];
    for (size_t k = 0; k < kPhases; ++k) {
        const std::complex<double> phase = phasor_ * phaseStart_[k];
        phaseRe[k] = phase.real();
        phaseIm[k] = phase.imag();
    }
    const double stepRe = phaseStep_.real(), stepIm = phaseStep_.imag();
    size_t i = 0;
    for (; i + kPhases <= n; i += kPhases) {
        for (size_t k = 0; k < kPhases; ++k) {
            re[i + k] = static_cast<float>(samples[i + k] * phaseRe[k]);
            im[i + k] = static_cast<float>(samples[i + k] * phaseIm[k]);
        }
        for (size_t k = 0; k < kPhases; ++k) {
            const double next = phaseRe[k] * stepRe - phaseIm[k] * stepIm;
            phaseIm[k] = phaseRe[k] * stepIm + phaseIm[k] * stepRe;
            phaseRe[k] = next;
        }
    }
    const size_t left = n - i;
    for (size_t k = 0; k < left; ++k) {
        re[i + k] = static_cast<float>(samples[i + k] * phaseRe[k]);
        im[i + k] = static_cast<float>(samples[i + k] * phaseIm[k]);
    }
    // The phase of the next sample: the next phasor in line, renormalised.
    const double nextRe = phaseRe[left], nextIm = phaseIm[left];
    const double norm = std::sqrt(nextRe * nextRe + nextIm * nextIm);
    phasor_ = {nextRe / norm, nextIm / norm};
}

size_t ToneFilter::process(const float* samples, size_t n, float* magnitudeOut, std::complex<float>* windowOut)
{
    const auto length = static_cast<ptrdiff_t>(wholeLength_);
    const auto step = static_cast<ptrdiff_t>(decimation_);
    const size_t kept = size_t(length + step);
    mixedRe_.resize(kept + n);
    mixedIm_.resize(kept + n);
    mix(samples, n, mixedRe_.data() + kept, mixedIm_.data() + kept);

    // re[k], im[k]: the mixed sample k of this block; negative k reach back
    // into the samples kept from before (as far as -kept).
    const float* re = mixedRe_.data() + kept;
    const float* im = mixedIm_.data() + kept;
    // The sums of the samples between outputs have their length fixed at
    // compile time for the usual decimations: the same sums, unrolled.
    switch (decimation_) {
    case 1: return windows<1>(re, im, n, magnitudeOut, windowOut);
    case 2: return windows<2>(re, im, n, magnitudeOut, windowOut);
    case 3: return windows<3>(re, im, n, magnitudeOut, windowOut);
    case 4: return windows<4>(re, im, n, magnitudeOut, windowOut);
    case 5: return windows<5>(re, im, n, magnitudeOut, windowOut);
    case 6: return windows<6>(re, im, n, magnitudeOut, windowOut);
    case 7: return windows<7>(re, im, n, magnitudeOut, windowOut);
    case 8: return windows<8>(re, im, n, magnitudeOut, windowOut);
    default: return windows<0>(re, im, n, magnitudeOut, windowOut);
    }
}

// The windows ending in this block (Step 0: decimation_ samples apart).
template <int Step>
size_t ToneFilter::windows(const float* re, const float* im, size_t n, float* magnitudeOut, std::complex<float>* windowOut)
{
    const auto length = static_cast<ptrdiff_t>(wholeLength_);
    const ptrdiff_t step = Step > 0 ? Step : static_cast<ptrdiff_t>(decimation_);
    const size_t kept = size_t(length + step);
    const double fraction = fraction_, scale = scale_;
    double sumRe = sumRe_, sumIm = sumIm_;
    size_t written = 0;
    auto k = static_cast<ptrdiff_t>(untilOutput_ - 1);
    for (; k < static_cast<ptrdiff_t>(n); k += step) {
        // The samples since the last output come in, as many leave. On a
        // bit of whole outputs those leaving came in together, and their
        // sum is the one kept from then (the same sum, to the last bit).
        double inRe = 0.0, inIm = 0.0, outRe = 0.0, outIm = 0.0;
        for (ptrdiff_t j = 0; j < step; ++j) {
            inRe += re[k - j];
            inIm += im[k - j];
        }
        if (groupsPerBit_ > 0) {
            std::complex<double>& group = groups_[groupHead_];
            outRe = group.real();
            outIm = group.imag();
            group = {inRe, inIm};
            groupHead_ = groupHead_ + 1 == groups_.size() ? 0 : groupHead_ + 1;
        } else {
            for (ptrdiff_t j = 0; j < step; ++j) {
                outRe += re[k - length - j];
                outIm += im[k - length - j];
            }
        }
        sumRe += inRe - outRe;
        sumIm += inIm - outIm;
        sinceResum_ += size_t(step);
        if (sinceResum_ >= kResumSamples) {
            sumRe = sumIm = 0.0;
            for (ptrdiff_t j = 0; j < length; ++j) {
                sumRe += re[k - j];
                sumIm += im[k - j];
            }
            sinceResum_ = 0;
        }
        // The sample just before the whole window counts by the fraction.
        const double windowRe = sumRe + fraction * re[k - length];
        const double windowIm = sumIm + fraction * im[k - length];
        if (windowOut)
            windowOut[written] = {static_cast<float>(scale * windowRe), static_cast<float>(scale * windowIm)};
        magnitudeOut[written++] = static_cast<float>(scale * std::sqrt(windowRe * windowRe + windowIm * windowIm));
    }
    untilOutput_ = static_cast<int>(k - static_cast<ptrdiff_t>(n) + 1);
    sumRe_ = sumRe;
    sumIm_ = sumIm;
    // What the next block's windows reach back to.
    std::copy(mixedRe_.end() - long(kept), mixedRe_.end(), mixedRe_.begin());
    std::copy(mixedIm_.end() - long(kept), mixedIm_.end(), mixedIm_.begin());
    return written;
}

}  // namespace rtty
