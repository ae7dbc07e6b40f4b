#pragma once

#include <complex>
#include <cstdint>
#include <random>
#include <vector>

// One path of a Watterson channel: a complex Gaussian gain whose Doppler
// spectrum is Gaussian, as ITU-R F.1487 defines it (the spread is two
// standard deviations of that spectrum). White complex Gaussian noise at a
// low rate is shaped by a Gaussian filter and interpolated to the audio
// rate; the gain's mean power is `power`. A spread of zero gives a steady
// gain of that power.

namespace hfchannel {

class DopplerTap {
public:
    DopplerTap(double sampleRate, double spreadHz, double power, uint32_t seed);

    // The gain for the next audio sample.
    std::complex<float> next();

    // Rate at which the gain is drawn before interpolation.
    double updateRate() const { return updateRate_; }

private:
    std::complex<double> draw();

    std::mt19937 rng_;
    std::normal_distribution<double> normal_;
    std::vector<double> shape_;                 // Gaussian filter, 2K + 1 taps
    std::vector<std::complex<double>> white_;   // ring of the last 2K + 1 inputs
    size_t head_ = 0;
    double updateRate_ = 1.0;
    double step_ = 0.0;      // update periods per audio sample
    double phase_ = 0.0;     // position between previous_ and next_
    std::complex<double> previous_, next_;
    std::complex<double> steady_;
    bool fading_ = false;
};

}  // namespace hfchannel
