#pragma once

#include "rtty/channel/AnalyticSignal.h"
#include "rtty/channel/DopplerTap.h"
#include "rtty/channel/ImpulseNoise.h"
#include "rtty/channel/Interference.h"
#include "rtty/channel/LevelDips.h"
#include "rtty/channel/ReceiverStages.h"
#include "rtty/channel/SelectiveFade.h"
#include "rtty/channel/SpeechNoise.h"

#include <complex>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

// An HF radio channel for real audio: Watterson two-path fading (ITU-R
// F.1487: two equal-power paths, each a complex Gaussian gain with a
// Gaussian Doppler spectrum, mean power normalised to one), a frequency
// offset with drift, selective fading of one FSK tone at a time, impulse
// noise and white noise. Seeded: the same settings and seed give the same
// samples. The fading parts work on the analytic signal, so the output lags
// the input by delaySamples(); applyAligned() takes that back out.

namespace hfchannel {

struct ChannelSettings {
    double sampleRate = 8000.0;
    double signalPower = 0.125;  // mean power of the clean signal: the reference of SNR and bursts

    bool multipath = false;
    double pathDelaySeconds = 0.0;  // second path after the first
    double dopplerSpreadHz = 0.0;   // two standard deviations of each path's Doppler spectrum

    double offsetHz = 0.0;          // at the start
    double driftHzPerMinute = 0.0;

    bool selective = false;
    double splitHz = 1500.0;        // between the two tones: one side fades at a time
    double toneOffsetHz = 212.5;    // from the split to either tone (half the shift)

    bool dips = false;               // both tones faded together, at a rhythm
    DipSettings dip{};

    bool impulses = false;
    ImpulseSettings impulse{};

    // Speech-like noise (a voice on the channel) at this power against the
    // signal, in dB; none when empty. The signal itself is kept: a recording
    // of silence gives the voice alone.
    std::optional<double> speechDb;

    // Other stations, a carrier, hum: added before the noise.
    InterferenceSettings interference{};

    std::optional<double> snrDb;    // white noise in 3 kHz; none when empty

    // The receiver after the noise: IF filter, AGC, clipping.
    ReceiverSettings receiver{};
    // The sound card's clock error; applied by applyAligned() only, as it
    // changes the number of samples.
    double clockPpm = 0.0;

    uint32_t seed = 1;
};

// The named channels of the benchmark: white, flat (one path, 0.5 Hz),
// moderate, poor, flutter, selective, offset, impulse; dips20 and dips10
// (both tones 20 or 10 dB down for 300 ms every 3 s), storm (moderate
// fading, the offset and impulse noise together) and speech (a voice on
// the channel at the signal's power). The tones' centre
// and shift place the selective fade. Empty for an unknown name.
//
// Conditions of the air and the receiver take numbers after colons, and
// parts join with '+' ("moderate+agc", "adjacent:500:6+if:500"):
//   adjacent:OFFSET_HZ:DB[:BAUD[:SHIFT]]  a second RTTY station (default 50 Bd, same shift)
//   carrier:OFFSET_HZ:DB[:DRIFT_HZ_PER_MIN]  a steady carrier, offset from the centre
//   cw:OFFSET_HZ:DB[:WPM]        a keyed carrier (Morse, default 20 wpm)
//   hum:DB[:MAINS_HZ[:SLOPE]]    mains hum and its harmonics (default 50 Hz, slope 1)
//   drift:START_HZ:HZ_PER_MIN    mistuning that drifts
//   fading:DELAY_MS:SPREAD_HZ    Rayleigh fading, one path (delay 0) or two ("flat" is fading:0:0.5)
//   dips:DEPTH_DB:SECONDS:PERIOD_S, irregular:DEPTH_DB:SECONDS:PERIOD_S
//                                both tones down together, regular or at random
//   if:WIDTH_HZ[:OFFSET_HZ]      a narrow IF filter, its centre offset from the tones'
//   agc[:HANG_S[:RELEASE_S]]     the receiver's AGC (default 0.3 s, 0.5 s)
//   clip:DB                      hard clipping at DB against the signal's peak
//   clock:PPM                    the sound card's clock that far off
//   clicks:PER_S:MIN_DB:MAX_DB   clicks alone (3 ms), peaks MIN-MAX dB over the signal's
//   crashes:PER_S:MIN_MS:MAX_MS:MIN_DB:MAX_DB  static crashes alone
//   ignition:PER_S:DB[:WIDTH_MS] a train of short pulses at a steady rate
//                                (an engine's ignition), default 60 a second, 0.2 ms
std::optional<ChannelSettings> channelPreset(const std::string& name, double sampleRate, double signalPower,
                                             double centreHz, double shiftHz, uint32_t seed);
const std::vector<std::string>& channelPresetNames();

class HfChannel {
public:
    explicit HfChannel(const ChannelSettings& settings);

    // In place, streaming: any block size gives the same result.
    void process(float* samples, size_t n);
    int delaySamples() const { return delay_; }
    // Variance per sample of the white noise added (zero without it).
    double noiseVariance() const { return noiseSigma_ * noiseSigma_; }

    // A whole recording through the channel, the lag removed (the tail
    // is flushed with silence), so that it lines up with the input.
    void applyAligned(std::vector<float>& samples);

private:
    std::complex<float> pathSum(std::complex<float> analytic);

    ChannelSettings settings_;
    bool complexPath_ = false;
    std::unique_ptr<AnalyticSignal> analytic_;
    std::unique_ptr<DopplerTap> first_, second_;
    std::unique_ptr<SelectiveFade> selective_;
    std::unique_ptr<ImpulseNoise> impulses_;
    std::unique_ptr<LevelDips> dips_;
    std::unique_ptr<SpeechNoise> speech_;
    std::unique_ptr<Interference> interference_;
    std::unique_ptr<ReceiverStages> receiver_;
    std::vector<std::complex<float>> history_;  // analytic samples, for the second path
    size_t head_ = 0;
    double pathDelaySamples_ = 0.0;
    double offsetPhase_ = 0.0;  // cycles
    long long sample_ = 0;
    int delay_ = 0;
    std::mt19937 noiseRng_;
    std::normal_distribution<double> normal_;
    double noiseSigma_ = 0.0;
};

}  // namespace hfchannel
