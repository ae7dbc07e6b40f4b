#pragma once

#include <complex>
#include <cstddef>
#include <vector>

// The mark and space tones' matched filters (ToneFilter.h) run over the
// same samples in one pass: each sample is read once, and the two tones'
// real and imaginary parts sit side by side in one vector of four doubles
// (AVX where the processor has it, chosen at run time; two SSE2 halves,
// or plain vector code, elsewhere). Each lane does a ToneFilter's scalar
// arithmetic in its order, so the outputs are those of two ToneFilters to
// the last bit, whichever path runs.

namespace rtty {

class TonePairFilter {
public:
    TonePairFilter(double sampleRate, double markHz, double spaceHz, double baud, int decimation = 1);
    TonePairFilter(const TonePairFilter&) = delete;
    TonePairFilter& operator=(const TonePairFilter&) = delete;

    // As ToneFilter::process for each tone: magnitudes (and the complex
    // window sums) of the bits ending at every decimation-th input; returns
    // how many of each were written (at most n / decimation + 1).
    size_t process(const float* samples, size_t n, float* markOut, float* spaceOut, std::complex<float>* markWindowOut,
                   std::complex<float>* spaceWindowOut);

    // Retunes without disturbing the filters' memory (used by AFC).
    void setTones(double markHz, double spaceHz);
    double markHz() const { return toneHz_[0]; }
    double spaceHz() const { return toneHz_[1]; }
    double delaySamples() const { return delay_; }

    // Whether the wide path runs on this processor; tests may turn it off
    // to compare the two.
    static bool wideVectorsAvailable();
    void useWideVectors(bool use) { wide_ = use && wideVectorsAvailable(); }

    static constexpr size_t kPhases = 8;  // oscillator phases run side by side, per tone
    // What the kernels work on (TonePairFilter.cpp).
    struct State {
        std::complex<double> phasor[2];
        std::complex<double> phaseStart[2][kPhases];  // rotation^k, k < kPhases
        std::complex<double> phaseStep[2];            // rotation^kPhases
        int wholeLength = 0;
        double fraction = 0.0;
        double scale = 0.0;
        int decimation = 1;
        int untilOutput = 1;
        // The two windows' whole samples at the last output: mark re, im, space re, im.
        alignas(32) double sum[4] = {0.0, 0.0, 0.0, 0.0};
        // Where a bit is a whole number of outputs: the samples' sum between
        // each of the last bit's outputs and the one before, four doubles
        // each, oldest at groupHead.
        int groupsPerBit = 0;
        double* groups = nullptr;
        size_t groupHead = 0;
        size_t sinceResum = 0;
    };

private:
    double sampleRate_;
    double toneHz_[2];
    double delay_;
    bool wide_;
    State state_;
    std::vector<double> groups_;
    // Mixed samples, four floats each (mark re, im, space re, im): the
    // newest wholeLength + decimation of those before the block (all a
    // window and its edge reach back), then the block's.
    std::vector<float> mixed_;
};

}  // namespace rtty
