#include "rtty/dsp/TonePairFilter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace rtty {

namespace {

// As in ToneFilter: the window sums are recomputed from their samples this often.
constexpr size_t kResumSamples = size_t(1) << 16;

// Four doubles: mark re, im, space re, im of one sample or sum, or four
// oscillator phases of one tone. Every operation on them is the scalar one
// on each lane, rounded alike, on whichever instructions a path compiles to.
using Doubles = double __attribute__((vector_size(32)));
using Floats = float __attribute__((vector_size(16)));
// Values of these types never cross a call (every function taking or
// giving one is inlined), so how the two paths would pass them does not matter.
#pragma GCC diagnostic ignored "-Wpsabi"

using State = TonePairFilter::State;

[[gnu::always_inline]] inline Floats loadFloats(const float* at)
{
    Floats value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

[[gnu::always_inline]] inline void storeFloats(float* at, Floats value)
{
    std::memcpy(at, &value, sizeof value);
}

[[gnu::always_inline]] inline Doubles loadDoubles(const double* at)
{
    Doubles value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

[[gnu::always_inline]] inline void storeDoubles(double* at, Doubles value)
{
    std::memcpy(at, &value, sizeof value);
}

[[gnu::always_inline]] inline Doubles broadcast(double value)
{
    return Doubles{value, value, value, value};
}

// For any processor of the architecture (SSE2 on x86-64: each vector in two halves).
namespace base {

[[gnu::always_inline]] inline Doubles widen(const float* at)
{
    return __builtin_convertvector(loadFloats(at), Doubles);
}

[[gnu::always_inline]] inline Floats narrow(Doubles value)
{
    return __builtin_convertvector(value, Floats);
}

#include "rtty/dsp/TonePairKernel.inc"

}  // namespace base

#if defined(__x86_64__) || defined(__i386__)
// With AVX, and without FMA: a fused multiply-add would round differently.
// The conversions are spelt out, as GCC splits the generic ones in halves.
#pragma GCC push_options
#pragma GCC target("avx")
namespace wide {

[[gnu::always_inline]] inline Doubles widen(const float* at)
{
    return Doubles(_mm256_cvtps_pd(_mm_loadu_ps(at)));
}

[[gnu::always_inline]] inline Floats narrow(Doubles value)
{
    return Floats(_mm256_cvtpd_ps(__m256d(value)));
}

#include "rtty/dsp/TonePairKernel.inc"

}  // namespace wide
#pragma GCC pop_options
#endif

}  // namespace

bool TonePairFilter::wideVectorsAvailable()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool available = __builtin_cpu_supports("avx");
    return available;
#else
    return false;  // one path only
#endif
}

TonePairFilter::TonePairFilter(double sampleRate, double markHz, double spaceHz, double baud, int decimation)
    : sampleRate_(sampleRate), toneHz_{markHz, spaceHz}, wide_(wideVectorsAvailable())
{
    State& s = state_;
    s.decimation = std::max(decimation, 1);
    s.untilOutput = s.decimation;
    const double bitSamples = sampleRate / baud;
    s.wholeLength = static_cast<int>(std::floor(bitSamples));
    s.fraction = bitSamples - s.wholeLength;
    const double whole = s.wholeLength;
    delay_ = (whole * (whole - 1) / 2 + s.fraction * whole) / bitSamples;
    s.scale = 2.0 / bitSamples;
    s.phasor[0] = s.phasor[1] = {1.0, 0.0};
    // Before the first sample the filters have heard silence.
    mixed_.assign(4 * size_t(s.wholeLength + s.decimation), 0.0f);
    if (s.wholeLength % s.decimation == 0) {
        s.groupsPerBit = s.wholeLength / s.decimation;
        groups_.assign(4 * size_t(s.groupsPerBit), 0.0);
        s.groups = groups_.data();
    }
    setTones(markHz, spaceHz);
}

void TonePairFilter::setTones(double markHz, double spaceHz)
{
    toneHz_[0] = markHz;
    toneHz_[1] = spaceHz;
    for (int t = 0; t < 2; ++t) {
        const std::complex<double> rotation = std::polar(1.0, -2.0 * std::numbers::pi * toneHz_[t] / sampleRate_);
        state_.phaseStart[t][0] = 1.0;
        for (size_t k = 1; k < kPhases; ++k)
            state_.phaseStart[t][k] = state_.phaseStart[t][k - 1] * rotation;
        state_.phaseStep[t] = state_.phaseStart[t][kPhases - 1] * rotation;
    }
}

size_t TonePairFilter::process(const float* samples, size_t n, float* markOut, float* spaceOut,
                               std::complex<float>* markWindowOut, std::complex<float>* spaceWindowOut)
{
    const size_t kept = size_t(state_.wholeLength + state_.decimation);
    // Grown, never shrunk: pieces of audio come in a few sizes by turns.
    if (mixed_.size() < 4 * (kept + n))
        mixed_.resize(4 * (kept + n));
    // mixed[4k ...]: the mixed sample k of this block; negative k reach back
    // into the samples kept from before (as far as -kept).
    float* const mixed = mixed_.data() + 4 * kept;
#if defined(__x86_64__) || defined(__i386__)
    const size_t written =
        wide_ ? wide::filterBlock(state_, samples, n, mixed, markOut, spaceOut, markWindowOut, spaceWindowOut)
              : base::filterBlock(state_, samples, n, mixed, markOut, spaceOut, markWindowOut, spaceWindowOut);
#else
    const size_t written = base::filterBlock(state_, samples, n, mixed, markOut, spaceOut, markWindowOut, spaceWindowOut);
#endif
    // What the next block's windows reach back to.
    std::copy(mixed + 4 * (ptrdiff_t(n) - ptrdiff_t(kept)), mixed + 4 * ptrdiff_t(n), mixed_.begin());
    return written;
}

}  // namespace rtty
