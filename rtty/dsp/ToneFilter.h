#pragma once

#include <complex>
#include <cstddef>
#include <vector>

// Matched filter for one FSK tone: the signal is mixed to DC and summed over
// exactly one bit (a fractional bit length weights the oldest sample), so the
// output magnitude is the tone's amplitude over the last bit. Works in
// blocks; the sum is kept in double and recomputed now and then so that
// hours of audio do not accumulate rounding.
//
// Only every decimation-th window is wanted, so the sum moves on by whole
// outputs: the samples that came since the last one are added and those
// that left the window taken away, each group summed on its own. A sum
// carried from sample to sample would make every sample wait for the one
// before it. The oscillator is a renormalised phasor recurrence, run in
// several phases at once for the same reason (liquid-dsp's NCO, called per
// sample, took a third of the decoding time).

namespace rtty {

class ToneFilter {
public:
    // Magnitudes are given for every `decimation`-th input sample only.
    ToneFilter(double sampleRate, double toneHz, double baud, int decimation = 1);
    ToneFilter(const ToneFilter&) = delete;
    ToneFilter& operator=(const ToneFilter&) = delete;

    // Writes the tone's amplitude over the bit ending at every decimation-th
    // input (the first at input decimation - 1 after construction); returns
    // how many were written (at most n / decimation + 1).
    // The phasor is renormalised once per block, so blocks of up to some
    // 10^5 samples keep the oscillator exact.
    // With windowOut, the complex window sums (same scale) are written too:
    // their phase turns with any tuning error, which is what AFC measures.
    size_t process(const float* samples, size_t n, float* magnitudeOut, std::complex<float>* windowOut = nullptr);

    // Retunes without disturbing the filter's memory (used by AFC).
    void setTone(double toneHz);
    double toneHz() const { return toneHz_; }

    // Samples from a window's centre to its newest sample.
    double delaySamples() const { return delay_; }

private:
    static constexpr size_t kPhases = 8;  // oscillator phases run side by side
    void mix(const float* samples, size_t n, float* mixed);
    template <int Step>
    size_t windows(const float* mixed, size_t n, float* magnitudeOut, std::complex<float>* windowOut);

    double sampleRate_;
    double toneHz_;
    std::complex<double> phasor_{1.0, 0.0};
    std::complex<double> rotation_{1.0, 0.0};
    std::complex<double> phaseStart_[kPhases];  // rotation^k, k < kPhases
    std::complex<double> phaseStep_{1.0, 0.0};  // rotation^kPhases
    int wholeLength_;
    double fraction_;
    double delay_;
    double scale_;
    int decimation_;
    int untilOutput_;
    // Mixed samples, real and imaginary parts side by side: the newest
    // wholeLength_ + decimation_ of those before the block (all a window
    // and its edge reach back), then the block's.
    std::vector<float> mixed_;
    double sum_[2] = {0.0, 0.0};  // the window's whole samples at the last output
    // Where a bit is a whole number of outputs: the samples' sum between
    // each of the last bit's outputs and the one before (real and imaginary
    // parts side by side), oldest at groupHead_.
    int groupsPerBit_ = 0;
    std::vector<double> groups_;
    size_t groupHead_ = 0;
    size_t sinceResum_ = 0;
};

}  // namespace rtty
