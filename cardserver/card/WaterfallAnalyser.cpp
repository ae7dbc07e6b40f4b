#include "WaterfallAnalyser.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace cardserver {

namespace {

size_t fftLength(double sampleRate)
{
    size_t length = 256;
    while (double(length) < sampleRate / 4) length *= 2;
    return length;
}

}  // namespace

WaterfallAnalyser::WaterfallAnalyser(double sampleRate)
    : m_sampleRate(sampleRate), m_length(fftLength(sampleRate)), m_window(m_length), m_input(m_length),
      m_output(m_length / 2 + 1)
{
    for (size_t i = 0; i < m_length; ++i)
        m_window[i] = float(0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(m_length)));
    m_plan = fftwf_plan_dft_r2c_1d(int(m_length), m_input.data(), reinterpret_cast<fftwf_complex*>(m_output.data()),
                                   FFTW_ESTIMATE);
}

WaterfallAnalyser::~WaterfallAnalyser() { fftwf_destroy_plan(m_plan); }

void WaterfallAnalyser::append(const float* samples, size_t n)
{
    m_history.insert(m_history.end(), samples, samples + n);
    // Enough for windows ending anywhere in the latest few seconds.
    const size_t keep = m_length + size_t(m_sampleRate * 4);
    if (m_history.size() > keep) m_history.erase(m_history.begin(), m_history.end() - long(keep));
}

cardproto::WaterfallFrame WaterfallAnalyser::frame(size_t back, double fromHz, double toHz)
{
    // Zeros stand in for audio not yet heard.
    const long end = long(m_history.size()) - long(std::min(back, m_history.size()));
    for (size_t i = 0; i < m_length; ++i) {
        const long at = end - long(m_length) + long(i);
        m_input[i] = at >= 0 ? m_history[size_t(at)] * m_window[i] : 0.0f;
    }
    fftwf_execute(m_plan);
    cardproto::WaterfallFrame frame;
    const double width = binHz();
    const size_t first = size_t(std::clamp(std::ceil(fromHz / width), 0.0, double(m_output.size() - 1)));
    const size_t last = size_t(std::clamp(std::floor(toHz / width), double(first), double(m_output.size() - 1)));
    frame.firstHz = double(first) * width;
    frame.binHz = width;
    // A full-scale tone reads 0 dB: the Hann window passes half its amplitude.
    const double fullScale = double(m_length) / 4;
    frame.bins.reserve(last - first + 1);
    for (size_t k = first; k <= last; ++k) {
        const double magnitude = std::abs(m_output[k]) / fullScale;
        frame.bins.push_back(frame.code(20 * std::log10(std::max(magnitude, 1e-12))));
    }
    return frame;
}

}  // namespace cardserver
