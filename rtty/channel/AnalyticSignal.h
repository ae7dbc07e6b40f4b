#pragma once

#include <complex>

struct firhilbf_s;

// Real audio to its analytic signal (positive frequencies only), one sample
// at a time, through liquid-dsp's half-band Hilbert filter. The output lags
// the input by delaySamples(). The filter is long enough to be flat from
// `lowestHz` up to half the sample rate less the same margin.

namespace hfchannel {

class AnalyticSignal {
public:
    AnalyticSignal(double sampleRate, double lowestHz);
    ~AnalyticSignal();
    AnalyticSignal(const AnalyticSignal&) = delete;
    AnalyticSignal& operator=(const AnalyticSignal&) = delete;

    std::complex<float> step(float sample);
    int delaySamples() const { return delay_; }

private:
    ::firhilbf_s* filter_;
    int delay_;
};

}  // namespace hfchannel
