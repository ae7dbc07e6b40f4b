#include "rtty/dsp/ToneFilter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace rtty {

ToneFilter::ToneFilter(double sampleRate, double toneHz, double baud, int decimation)
    : sampleRate_(sampleRate), toneHz_(toneHz), decimation_(std::max(decimation, 1)), untilOutput_(decimation_)
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

void ToneFilter::setTone(double toneHz)
{
    toneHz_ = toneHz;
    rotation_ = std::polar(1.0, -2.0 * std::numbers::pi * toneHz / sampleRate_);
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

size_t ToneFilter::process(const float* samples, size_t n, float* magnitudeOut, std::complex<float>* windowOut)
{
    // Plain arithmetic on locals: std::complex products check for
    // infinities on every call, and members would be stored every sample.
    // Two phasors, for even and odd samples, keep the recurrence from
    // serialising the loop.
    const size_t ring = history_.size();
    std::complex<float>* history = history_.data();
    size_t head = head_;
    double evenRe = phasor_.real(), evenIm = phasor_.imag();
    double oddRe = evenRe * rotation_.real() - evenIm * rotation_.imag();
    double oddIm = evenRe * rotation_.imag() + evenIm * rotation_.real();
    const std::complex<double> rotation2 = rotation_ * rotation_;
    const double rotateRe = rotation2.real(), rotateIm = rotation2.imag();
    double sumRe = sum_.real(), sumIm = sum_.imag();
    const double fraction = fraction_, scale = scale_;
    int untilOutput = untilOutput_;
    size_t written = 0;

    auto step = [&](size_t i, double phaseRe, double phaseIm) {
        const auto mixedRe = static_cast<float>(samples[i] * phaseRe);
        const auto mixedIm = static_cast<float>(samples[i] * phaseIm);
        // The ring holds the newest wholeLength_ + 1 samples: the whole
        // window and, oldest, the edge sample that counts by the fraction.
        head = head + 1 == ring ? 0 : head + 1;
        history[head] = {mixedRe, mixedIm};
        const size_t oldest = head + 1 == ring ? 0 : head + 1;
        const double edgeRe = history[oldest].real(), edgeIm = history[oldest].imag();
        sumRe += mixedRe - edgeRe;
        sumIm += mixedIm - edgeIm;
        if (--untilOutput > 0)
            return;
        untilOutput = decimation_;
        const double windowRe = sumRe + fraction * edgeRe;
        const double windowIm = sumIm + fraction * edgeIm;
        if (windowOut)
            windowOut[written] = {static_cast<float>(scale * windowRe), static_cast<float>(scale * windowIm)};
        magnitudeOut[written++] = static_cast<float>(scale * std::sqrt(windowRe * windowRe + windowIm * windowIm));
    };
    auto advance = [&](double& re, double& im) {
        const double next = re * rotateRe - im * rotateIm;
        im = re * rotateIm + im * rotateRe;
        re = next;
    };

    size_t i = 0;
    for (; i + 1 < n; i += 2) {
        step(i, evenRe, evenIm);
        step(i + 1, oddRe, oddIm);
        advance(evenRe, evenIm);
        advance(oddRe, oddIm);
    }
    if (i < n) {
        step(i, evenRe, evenIm);
        evenRe = oddRe;  // the next sample is the odd phasor's
        evenIm = oddIm;
    }
    const double norm = std::sqrt(evenRe * evenRe + evenIm * evenIm);
    phasor_ = {evenRe / norm, evenIm / norm};
    head_ = head;
    untilOutput_ = untilOutput;
    sum_ = {sumRe, sumIm};
    sinceResum_ += n;
    if (sinceResum_ >= (1u << 16))
        resum();
    return written;
}

}  // namespace rtty
