#pragma once

#include <complex>
#include <liquid/liquid.h>
#include <vector>

// Matched filter for one FSK tone: the signal is mixed to DC and summed over
// exactly one bit (a fractional bit length weights the oldest sample), so the
// output magnitude is the tone's amplitude over the last bit. Works in
// blocks; the sum is kept in double and recomputed now and then so that
// hours of audio do not accumulate rounding.

namespace rtty {

class ToneFilter {
public:
    ToneFilter(double sampleRate, double toneHz, double baud);
    ~ToneFilter();
    ToneFilter(const ToneFilter&) = delete;
    ToneFilter& operator=(const ToneFilter&) = delete;

    // magnitudeOut[i] is the tone's amplitude over the bit ending at input i.
    void process(const float* samples, size_t n, float* magnitudeOut);

    // Retunes without disturbing the filter's memory (used by AFC).
    void setTone(double toneHz);
    double toneHz() const { return toneHz_; }

    // Samples from a window's centre to its newest sample.
    double delaySamples() const { return delay_; }

private:
    void resum();

    double sampleRate_;
    double toneHz_;
    nco_crcf oscillator_;
    int wholeLength_;
    double fraction_;
    double delay_;
    double scale_;
    std::vector<std::complex<float>> history_;  // ring of wholeLength_ + 1 mixed samples
    size_t head_ = 0;
    std::complex<double> sum_{};
    size_t sinceResum_ = 0;
    std::vector<std::complex<float>> mixIn_, mixOut_;
};

}  // namespace rtty
