#include "rtty/channel/DopplerTap.h"

#include <cmath>
#include <numbers>

namespace hfchannel {

namespace {

// Gain updates per standard deviation of the Doppler spectrum: 40 keeps the
// shaped process so smooth that linear interpolation to the audio rate adds
// well under 1 % of spurious power.
constexpr double kUpdatesPerSigma = 40.0;
constexpr double kFilterSpan = 4.0;  // the Gaussian filter is cut at ±4 of its sigmas

}  // namespace

DopplerTap::DopplerTap(double sampleRate, double spreadHz, double power, uint32_t seed)
    : rng_(seed), normal_(0.0, std::sqrt(0.5))
{
    fading_ = spreadHz > 0.0;
    steady_ = {std::sqrt(power), 0.0};
    if (!fading_)
        return;
    // Power spectrum exp(-f²/2σf²) wants the amplitude response exp(-f²/4σf²),
    // whose impulse response is a Gaussian with σt = 1/(2√2·π·σf).
    const double sigmaF = spreadHz / 2.0;
    updateRate_ = kUpdatesPerSigma * sigmaF;
    const double sigmaT = 1.0 / (2.0 * std::numbers::sqrt2 * std::numbers::pi * sigmaF);
    const int half = static_cast<int>(std::ceil(kFilterSpan * sigmaT * updateRate_));
    shape_.resize(size_t(2 * half + 1));
    double energy = 0.0;
    for (int k = -half; k <= half; ++k) {
        const double t = k / updateRate_;
        const double h = std::exp(-t * t / (2.0 * sigmaT * sigmaT));
        shape_[size_t(k + half)] = h;
        energy += h * h;
    }
    // Unit-power white input: the output power is the filter's energy.
    for (double& h : shape_)
        h *= std::sqrt(power / energy);
    white_.resize(shape_.size());
    for (auto& w : white_)
        w = {normal_(rng_), normal_(rng_)};
    step_ = updateRate_ / sampleRate;
    previous_ = draw();
    next_ = draw();
}

std::complex<double> DopplerTap::draw()
{
    white_[head_] = {normal_(rng_), normal_(rng_)};
    head_ = (head_ + 1) % white_.size();
    std::complex<double> sum;
    for (size_t k = 0; k < shape_.size(); ++k)
        sum += shape_[k] * white_[(head_ + k) % white_.size()];
    return sum;
}

std::complex<float> DopplerTap::next()
{
    if (!fading_)
        return std::complex<float>(steady_);
    const std::complex<double> gain = previous_ + phase_ * (next_ - previous_);
    phase_ += step_;
    while (phase_ >= 1.0) {
        phase_ -= 1.0;
        previous_ = next_;
        next_ = draw();
    }
    return std::complex<float>(gain);
}

}  // namespace hfchannel
