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

// Two spectral peaks whose short-time powers move against each other.
struct TonePair {
    double lowHz = 0.0;
    double highHz = 0.0;
    double correlation = 0.0;  // of their 5 ms powers; FSK is strongly negative
};
// The candidate pairs, best first; empty with `reason` set when there are none.
std::vector<TonePair> findTonePairs(const std::vector<float>& samples, double sampleRate, const Spectrum& spectrum,
                                    std::string& reason);

// The keying as 5 ms tone filters see it: instants where the stronger tone
// changes, and the stretches (sample ranges, edges trimmed) where each tone
// is on.
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

// Speeds (45.45, 50, 75, 100) whose bit fits the intervals between keying
// transitions, fastest first; the fit needs single bits, so a 50 Bd signal
// with 1.5 stop bits is not taken for 100 Bd.
std::vector<double> candidateBauds(const Keying& keying);

}  // namespace rtty::als
