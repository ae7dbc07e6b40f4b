#pragma once

// The measurements behind AutoLineSearch, each usable on its own.

#include <string>
#include <vector>

namespace rtty::als {

// Welch power spectrum: Hann segments of about one second, half overlapping.
struct Spectrum {
    std::vector<double> power;
    double binHz = 0.0;
    double floor = 0.0;  // median power between 150 Hz and 3600 Hz
    double at(double hz) const;
};
Spectrum welchSpectrum(const std::vector<float>& samples, double sampleRate);

// The two tones' powers, each divided by its own level (its mean over
// 0.1 s either side), as d = (high - low) / (high + low): near +1 or -1
// while one tone is keyed on, near 0 for two steady carriers, uniform for
// noise. A fade that takes both tones down together, or one alone, leaves
// it as it is, so keying is recognised without the two powers having to
// move against each other.
struct Discriminator {
    std::vector<float> values;
    double samplesPerValue = 1.0;
    double firstSample = 0.0;  // input sample that values[0] is centred on
};
Discriminator discriminator(const std::vector<float>& samples, double sampleRate, double lowHz, double highHz);

struct Keyedness {
    double meanMagnitude = 0.0;        // mean |d|: 0.5 for noise, towards 1 for FSK
    double lowShare = 0.0, highShare = 0.0;  // of the time each tone is clearly the one on
    bool looksKeyed() const;
};
Keyedness keyedness(const Discriminator& d);

// Two spectral peaks keyed against each other.
struct TonePair {
    double lowHz = 0.0;
    double highHz = 0.0;
    Keyedness keying;
};
// The candidate pairs, best keyed first; empty with `reason` set when there
// are none (and `seen` saying what there was instead).
enum class Seen { Nothing, Silence, Noise, NoiseBursts, Carrier, UnkeyedTones, Tones };
std::vector<TonePair> findTonePairs(const std::vector<float>& samples, double sampleRate, const Spectrum& spectrum,
                                    std::string& reason, Seen& seen);

// Share of 5 ms blocks whose power stands 10 dB or more above the median
// block: clicks and crashes.
double burstShare(const std::vector<float>& samples, double sampleRate);

// The keying as the discriminator sees it: instants where the tone that is
// on changes, and the stretches (sample ranges, edges trimmed) where each
// tone is on (where to measure each tone's frequency).
struct Keying {
    std::vector<double> transitionSeconds;
    std::vector<std::pair<size_t, size_t>> lowRuns, highRuns;
};
Keying keying(const std::vector<float>& samples, double sampleRate, const TonePair& tones);

// The frequency near toneHz (within ±searchHz) that concentrates the most
// power in the runs where the tone is on: the keyed spectrum's peaks can
// sit beside the tone, this cannot.
double refineTone(const std::vector<float>& samples, double sampleRate,
                  const std::vector<std::pair<size_t, size_t>>& runs, double toneHz, double searchHz);

}  // namespace rtty::als
