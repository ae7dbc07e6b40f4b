#include "rtty/dsp/ToneFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rtty {

namespace {

constexpr size_t kResumSamples = size_t(1) << 16;

// A complex value's real and imaginary parts side by side, in one vector
// register (SSE2 on x86-64, NEON elsewhere): each operation on it is the
// scalar one on both parts, rounded alike, so the sums are those of
// scalar code, at half the instructions.
using Doubles = double __attribute__((vector_size(16)));
using FloatPair = float __attribute__((vector_size(8)));
using FloatQuad = float __attribute__((vector_size(16)));

#if defined(__SSE2__)
// GCC spells a conversion of two floats as two scalar ones: the intrinsics
// say what is meant.
inline Doubles loadPair(const float* at)
{
    return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(at))));
}

inline void storePair(float* at, Doubles value)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(at), _mm_castps_si128(_mm_cvtpd_ps(value)));
}

// Four floats: re[0], im[0], re[1], im[1].
inline void storeInterleaved(float* at, Doubles re, Doubles im)
{
    _mm_storeu_ps(at, _mm_unpacklo_ps(_mm_cvtpd_ps(re), _mm_cvtpd_ps(im)));
}
#else
inline Doubles loadPair(const float* at)
{
    FloatPair pair;
    std::memcpy(&pair, at, sizeof pair);
    return __builtin_convertvector(pair, Doubles);
}

inline void storePair(float* at, Doubles value)
{
    const FloatPair pair = __builtin_convertvector(value, FloatPair);
    std::memcpy(at, &pair, sizeof pair);
}

inline void storeInterleaved(float* at, Doubles re, Doubles im)
{
    const FloatPair r = __builtin_convertvector(re, FloatPair), i = __builtin_convertvector(im, FloatPair);
    const FloatQuad both = {r[0], i[0], r[1], i[1]};
    std::memcpy(at, &both, sizeof both);
}
#endif

inline Doubles loadDoubles(const double* at)
{
    Doubles value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline void storeDoubles(double* at, Doubles value)
{
    std::memcpy(at, &value, sizeof value);
}

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
    mixed_.assign(2 * size_t(wholeLength_ + decimation_), 0.0f);
    if (wholeLength_ % decimation_ == 0) {
        groupsPerBit_ = wholeLength_ / decimation_;
        groups_.assign(2 * size_t(groupsPerBit_), 0.0);
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

// mixed[2i], mixed[2i + 1] = samples[i] · phasor · rotation^i. Each of
// kPhases phasors steps kPhases samples at a time: independent recurrences,
// taken two at a time (their real parts in one vector, their imaginary
// parts in another), each lane the scalar arithmetic.
void ToneFilter::mix(const float* samples, size_t n, float* mixed)
{
    constexpr size_t kPairs = kPhases / 2;
    Doubles phaseRe[kPairs], phaseIm[kPairs];
    for (size_t k = 0; k < kPhases; ++k) {
        const std::complex<double> phase = phasor_ * phaseStart_[k];
        phaseRe[k / 2][k % 2] = phase.real();
        phaseIm[k / 2][k % 2] = phase.imag();
    }
    const Doubles stepRe = {phaseStep_.real(), phaseStep_.real()};
    const Doubles stepIm = {phaseStep_.imag(), phaseStep_.imag()};
    size_t i = 0;
    for (; i + kPhases <= n; i += kPhases) {
        for (size_t p = 0; p < kPairs; ++p) {
            const Doubles x = loadPair(samples + i + 2 * p);
            storeInterleaved(mixed + 2 * (i + 2 * p), x * phaseRe[p], x * phaseIm[p]);
        }
        for (size_t p = 0; p < kPairs; ++p) {
            const Doubles next = phaseRe[p] * stepRe - phaseIm[p] * stepIm;
            phaseIm[p] = phaseRe[p] * stepIm + phaseIm[p] * stepRe;
            phaseRe[p] = next;
        }
    }
    const size_t left = n - i;
    for (size_t k = 0; k < left; ++k) {
        mixed[2 * (i + k)] = static_cast<float>(samples[i + k] * phaseRe[k / 2][k % 2]);
        mixed[2 * (i + k) + 1] = static_cast<float>(samples[i + k] * phaseIm[k / 2][k % 2]);
    }
    // The phase of the next sample: the next phasor in line, renormalised.
    const double nextRe = phaseRe[left / 2][left % 2], nextIm = phaseIm[left / 2][left % 2];
    const double norm = std::sqrt(nextRe * nextRe + nextIm * nextIm);
    phasor_ = {nextRe / norm, nextIm / norm};
}

size_t ToneFilter::process(const float* samples, size_t n, float* magnitudeOut, std::complex<float>* windowOut)
{
    const size_t kept = size_t(wholeLength_ + decimation_);
    // Grown, never shrunk: pieces of audio come in a few sizes by turns.
    if (mixed_.size() < 2 * (kept + n))
        mixed_.resize(2 * (kept + n));
    mix(samples, n, mixed_.data() + 2 * kept);

    // mixed[2k], mixed[2k + 1]: the mixed sample k of this block; negative
    // k reach back into the samples kept from before (as far as -kept).
    const float* mixed = mixed_.data() + 2 * kept;
    // The sums of the samples between outputs have their length fixed at
    // compile time for the usual decimations: the same sums, unrolled.
    switch (decimation_) {
    case 1: return windows<1>(mixed, n, magnitudeOut, windowOut);
    case 2: return windows<2>(mixed, n, magnitudeOut, windowOut);
    case 3: return windows<3>(mixed, n, magnitudeOut, windowOut);
    case 4: return windows<4>(mixed, n, magnitudeOut, windowOut);
    case 5: return windows<5>(mixed, n, magnitudeOut, windowOut);
    case 6: return windows<6>(mixed, n, magnitudeOut, windowOut);
    case 7: return windows<7>(mixed, n, magnitudeOut, windowOut);
    case 8: return windows<8>(mixed, n, magnitudeOut, windowOut);
    default: return windows<0>(mixed, n, magnitudeOut, windowOut);
    }
}

// The windows ending in this block (Step 0: decimation_ samples apart).
template <int Step>
size_t ToneFilter::windows(const float* mixed, size_t n, float* magnitudeOut, std::complex<float>* windowOut)
{
    const auto length = static_cast<ptrdiff_t>(wholeLength_);
    const ptrdiff_t step = Step > 0 ? Step : static_cast<ptrdiff_t>(decimation_);
    const size_t kept = size_t(length + step);
    const double fraction = fraction_, scale = scale_;
    auto at = [mixed](ptrdiff_t k) { return loadPair(mixed + 2 * k); };
    Doubles sum = loadDoubles(sum_);
    double* const groups = groups_.data();
    const size_t groupCount = size_t(groupsPerBit_);
    size_t groupHead = groupHead_;
    size_t sinceResum = sinceResum_;
    size_t written = 0;
    auto k = static_cast<ptrdiff_t>(untilOutput_ - 1);
    for (; k < static_cast<ptrdiff_t>(n); k += step) {
        // The samples since the last output come in, as many leave. On a
        // bit of whole outputs those leaving came in together, and their
        // sum is the one kept from then (the same sum, to the last bit).
        Doubles in = {0.0, 0.0}, out = {0.0, 0.0};
        for (ptrdiff_t j = 0; j < step; ++j)
            in += at(k - j);
        if (groupCount > 0) {
            out = loadDoubles(groups + 2 * groupHead);
            storeDoubles(groups + 2 * groupHead, in);
            groupHead = groupHead + 1 == groupCount ? 0 : groupHead + 1;
        } else {
            for (ptrdiff_t j = 0; j < step; ++j)
                out += at(k - length - j);
        }
        sum += in - out;
        sinceResum += size_t(step);
        if (sinceResum >= kResumSamples) {
            sum = Doubles{0.0, 0.0};
            for (ptrdiff_t j = 0; j < length; ++j)
                sum += at(k - j);
            sinceResum = 0;
        }
        // The sample just before the whole window counts by the fraction.
        const Doubles window = sum + fraction * at(k - length);
        if (windowOut)
            storePair(reinterpret_cast<float*>(windowOut + written), scale * window);
        const Doubles square = window * window;
        magnitudeOut[written++] = static_cast<float>(scale * std::sqrt(square[0] + square[1]));
    }
    untilOutput_ = static_cast<int>(k - static_cast<ptrdiff_t>(n) + 1);
    storeDoubles(sum_, sum);
    groupHead_ = groupHead;
    sinceResum_ = sinceResum;
    // What the next block's windows reach back to.
    std::copy(mixed + 2 * (ptrdiff_t(n) - ptrdiff_t(kept)), mixed + 2 * ptrdiff_t(n), mixed_.begin());
    return written;
}

}  // namespace rtty
