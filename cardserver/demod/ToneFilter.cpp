#include "cardserver/demod/ToneFilter.h"

#include <cmath>
#include <numbers>

namespace rtty {

ToneFilter::ToneFilter(double sampleRate, double toneHz, double baud)
    : sampleRate_(sampleRate), toneHz_(toneHz), oscillator_(nco_crcf_create(LIQUID_VCO))
{
    const double bitSamples = sampleRate / baud;
    wholeLength_ = static_cast<int>(std::floor(bitSamples));
    fraction_ = bitSamples - wholeLength_;
    const double n = wholeLength_;
    delay_ = (n * (n - 1) / 2 + fraction_ * n) / bitSamples;
    scale_ = 2.0 / bitSamples;
    history_.assign(static_cast<size_t>(wholeLength_) + 1, {});
    setTone(toneHz);
}

ToneFilter::~ToneFilter()
{
    nco_crcf_destroy(oscillator_);
}

void ToneFilter::setTone(double toneHz)
{
    toneHz_ = toneHz;
    nco_crcf_set_frequency(oscillator_, static_cast<float>(2.0 * std::numbers::pi * toneHz / sampleRate_));
}

void ToneFilter::resum()
{
    const size_t oldest = head_ + 1 == history_.size() ? 0 : head_ + 1;
    sum_ = {};
    for (size_t i = 0; i < history_.size(); ++i)
        if (i != oldest)
            sum_ += std::complex<double>(history_[i]);
    sinceResum_ = 0;
}

void ToneFilter::process(const float* samples, size_t n, float* magnitudeOut)
{
    mixIn_.resize(n);
    mixOut_.resize(n);
    for (size_t i = 0; i < n; ++i)
        mixIn_[i] = {samples[i], 0.0f};
    nco_crcf_mix_block_down(oscillator_, mixIn_.data(), mixOut_.data(), static_cast<unsigned>(n));

    const size_t ring = history_.size();
    for (size_t i = 0; i < n; ++i) {
        // The ring holds the newest wholeLength_ + 1 samples: the whole
        // window and, oldest, the edge sample that counts by the fraction.
        head_ = head_ + 1 == ring ? 0 : head_ + 1;
        history_[head_] = mixOut_[i];
        const size_t oldest = head_ + 1 == ring ? 0 : head_ + 1;
        const std::complex<double> edge(history_[oldest]);
        sum_ += std::complex<double>(mixOut_[i]) - edge;
        const std::complex<double> window = sum_ + fraction_ * edge;
        magnitudeOut[i] = static_cast<float>(scale_ * std::abs(window));
        if (++sinceResum_ >= (1u << 16))
            resum();
    }
}

}  // namespace rtty
