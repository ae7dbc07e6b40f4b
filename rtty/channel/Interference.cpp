#include "rtty/channel/Interference.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hfchannel {

namespace {
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kKeyEdgeSeconds = 0.005;

double amplitudeFor(double signalPower, double levelDb)
{
    // A sine of this amplitude has the given power against the signal's.
    return std::sqrt(2.0 * signalPower * std::pow(10.0, levelDb / 10.0));
}
}  // namespace

Interference::Interference(double sampleRate, double signalPower, const InterferenceSettings& settings, uint32_t seed)
    : sampleRate_(sampleRate), settings_(settings), rng_(seed * 3266489917u + 13u)
{
    if (settings_.adjacent)
        adjacentAmplitude_ = amplitudeFor(signalPower, settings_.adjacent->levelDb);
    if (settings_.carrier) {
        carrierAmplitude_ = amplitudeFor(signalPower, settings_.carrier->levelDb);
        // A heterodyne's phase against the signal is arbitrary.
        carrierPhase_ = uniform_(rng_);
    }
    if (settings_.hum) {
        const Hum& hum = *settings_.hum;
        // Harmonics above 3 kHz lie outside any RTTY receiver's passband.
        const int harmonics = std::max(1, int(std::min(0.45 * sampleRate_, 3000.0) / hum.mainsHz));
        double sumSquares = 0.0;
        for (int k = 1; k <= harmonics; ++k)
            sumSquares += std::pow(double(k), -2.0 * hum.slope);
        const double scale = amplitudeFor(signalPower, hum.levelDb) / std::sqrt(sumSquares);
        for (int k = 1; k <= harmonics; ++k) {
            humMagnitude_.push_back(scale * std::pow(double(k), -hum.slope));
            humPhasor_.push_back(std::polar(humMagnitude_.back(), 0.7 * k));
            humStep_.push_back(std::polar(1.0, kTwoPi * hum.mainsHz * k / sampleRate_));
        }
    }
}

bool Interference::active() const
{
    return settings_.adjacent || settings_.carrier || settings_.hum;
}

float Interference::next()
{
    double out = 0.0;
    if (settings_.adjacent)
        out += adjacentSample();
    if (settings_.carrier)
        out += carrierSample();
    if (settings_.hum)
        out += humSample();
    ++sample_;
    return static_cast<float>(out);
}

float Interference::adjacentSample()
{
    const AdjacentStation& station = *settings_.adjacent;
    const double samplesPerBit = sampleRate_ / station.baud;
    if (bitLeft_ <= 0.0) {
        if (bitsLeftInCharacter_ == 0) {
            bitsLeftInCharacter_ = 6;  // five data and the stop bit after this start bit
            mark_ = false;
            bitLeft_ += samplesPerBit;
        } else {
            --bitsLeftInCharacter_;
            mark_ = bitsLeftInCharacter_ == 0 ? true : bit_(rng_) == 1;
            bitLeft_ += bitsLeftInCharacter_ == 0 ? 1.5 * samplesPerBit : samplesPerBit;
        }
    }
    bitLeft_ -= 1.0;
    const double hz = station.centreHz + (mark_ ? station.shiftHz / 2.0 : -station.shiftHz / 2.0);
    adjacentPhase_ += hz / sampleRate_;
    adjacentPhase_ -= std::floor(adjacentPhase_);
    return static_cast<float>(adjacentAmplitude_ * std::sin(kTwoPi * adjacentPhase_));
}

float Interference::carrierSample()
{
    const Carrier& carrier = *settings_.carrier;
    if (carrier.keyedWpm > 0.0) {
        if (keyLeft_ <= 0) {
            // PARIS timing: a dot is 1.2 / wpm seconds; elements and gaps drawn at random.
            const double dot = 1.2 / carrier.keyedWpm;
            keyDown_ = !keyDown_;
            const double units = keyDown_ ? (uniform_(rng_) < 0.5 ? 1.0 : 3.0)
                                          : (uniform_(rng_) < 0.6 ? 1.0 : uniform_(rng_) < 0.75 ? 3.0 : 7.0);
            keyLeft_ = static_cast<long long>(units * dot * sampleRate_);
        }
        --keyLeft_;
        const double step = 1.0 / (kKeyEdgeSeconds * sampleRate_);
        keyLevel_ = keyDown_ ? std::min(1.0, keyLevel_ + step) : std::max(0.0, keyLevel_ - step);
    }
    const double seconds = double(sample_) / sampleRate_;
    carrierPhase_ += (carrier.hz + carrier.driftHzPerMinute * seconds / 60.0) / sampleRate_;
    carrierPhase_ -= std::floor(carrierPhase_);
    const double shaped = 0.5 - 0.5 * std::cos(std::numbers::pi * keyLevel_);
    return static_cast<float>(carrierAmplitude_ * shaped * std::sin(kTwoPi * carrierPhase_));
}

float Interference::humSample()
{
    double out = 0.0;
    for (size_t k = 0; k < humPhasor_.size(); ++k) {
        out += humPhasor_[k].imag();
        humPhasor_[k] *= humStep_[k];
    }
    // Keep the phasors' length from creeping over long recordings.
    if (sample_ % 4096 == 0)
        for (size_t k = 0; k < humPhasor_.size(); ++k)
            humPhasor_[k] *= humMagnitude_[k] / std::abs(humPhasor_[k]);
    return static_cast<float>(out);
}

}  // namespace hfchannel
