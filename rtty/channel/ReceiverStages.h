#pragma once

#include <liquid/liquid.h>

#include <optional>
#include <vector>

// What the receiver and the sound card do to the audio after the antenna
// (after the channel's noise): a narrow IF filter, the AGC, clipping of an
// overdriven input, and a sound card whose clock runs off its nominal rate.

namespace hfchannel {

struct IfFilter {
    double centreHz = 1500.0;
    double widthHz = 500.0;     // between the passband edges (1 dB ripple; -6 dB about 15 % wider)
    unsigned poles = 8;         // a crystal or mechanical filter's 8 poles
};

struct Agc {
    double attackSeconds = 0.002;
    double hangSeconds = 0.3;     // held after a peak before it lets go
    double releaseSeconds = 0.5;  // then the gain comes back at 1/e per this long
};

struct ReceiverSettings {
    std::optional<IfFilter> filter;
    std::optional<Agc> agc;
    // Hard clipping at this level against the clean signal's peak (dB;
    // -6 clips at half the peak). After the AGC: the sound card's input.
    std::optional<double> clipDb;
};

class ReceiverStages {
public:
    ReceiverStages(double sampleRate, double signalPower, const ReceiverSettings& settings);
    ~ReceiverStages();
    ReceiverStages(const ReceiverStages&) = delete;
    ReceiverStages& operator=(const ReceiverStages&) = delete;

    bool active() const;
    void process(float* samples, size_t n);

private:
    double sampleRate_;
    ReceiverSettings settings_;
    iirfilt_rrrf filter_ = nullptr;
    // AGC: the peak level it follows, and how long it has held it.
    double agcTarget_ = 0.0, agcLevel_ = 0.0, attack_ = 0.0, release_ = 1.0;
    long long hangLeft_ = 0, hangSamples_ = 0;
    double clipLevel_ = 0.0;
};

// The recording as a sound card whose clock runs `ppm` parts per million
// fast would have taken it at the nominal rate: more samples per second
// of signal, so every tone lies lower and every bit lasts longer by that
// share. Band-limited interpolation; lined up with the input at the start.
std::vector<float> resampleForClockError(const std::vector<float>& samples, double ppm);

}  // namespace hfchannel
