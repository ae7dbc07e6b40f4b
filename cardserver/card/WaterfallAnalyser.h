#pragma once
// Magnitude spectra of the latest audio with FFTW: a Hann window of about a
// quarter of a second (a few hertz a bin), ending wherever the caller asks.
#include "protocol/WaterfallFrame.h"

#include <complex>
#include <vector>

struct fftwf_plan_s;

namespace cardserver {

class WaterfallAnalyser {
public:
    explicit WaterfallAnalyser(double sampleRate);
    ~WaterfallAnalyser();
    WaterfallAnalyser(const WaterfallAnalyser&) = delete;
    WaterfallAnalyser& operator=(const WaterfallAnalyser&) = delete;

    double sampleRate() const { return m_sampleRate; }
    size_t length() const { return m_length; }
    double binHz() const { return m_sampleRate / double(m_length); }

    void append(const float* samples, size_t n);
    size_t held() const { return m_history.size(); }
    // The spectrum of the window that ends `back` samples before the newest
    // one, over the input's frequencies [fromHz, toHz].
    cardproto::WaterfallFrame frame(size_t back, double fromHz, double toHz);

private:
    double m_sampleRate;
    size_t m_length;
    std::vector<float> m_window, m_input, m_history;
    std::vector<std::complex<float>> m_output;
    fftwf_plan_s* m_plan = nullptr;
};

}  // namespace cardserver
