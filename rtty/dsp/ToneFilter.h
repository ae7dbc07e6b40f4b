#pragma once

#include <complex>
#include <vector>

// Matched filter for one FSK tone: the signal is mixed to DC and summed over
// exactly one bit (a fractional bit length weights the oldest sample), so the
// output magnitude is the tone's amplitude over the last bit. Works in
// blocks; the sum is kept in double and recomputed now and then so that
// hours of audio do not accumulate rounding.
//
// The oscillator is a renormalised phasor recurrence rather than liquid-dsp's
// NCO: its per-sample calls took a third of the decoding time.

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
    void resum();

    double sampleRate_;
    double toneHz_;
    std::complex<double> phasor_{1.0, 0.0};
    std::complex<double> rotation_{1.0, 0.0};
    int wholeLength_;
    double fraction_;
    double delay_;
    double scale_;
    std::vector<std::complex<float>> history_;  // ring of wholeLength_ + 1 mixed samples
    size_t head_ = 0;
    std::complex<double> sum_{};
    size_t sinceResum_ = 0;
    int decimation_;
    int untilOutput_;
};

}  // namespace rtty
