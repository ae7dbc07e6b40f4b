#pragma once

#include "IdealTimingDetector.h"

#include <complex>
#include <string>
#include <vector>

// A yardstick for fading channels: the ideal-timing detector's knowledge
// (each character's start, the true tones) plus what the channel did to
// each tone at every sample (its complex gain, from hfchannel::toneGains)
// and the white noise's variance. Each data bit is decided by the
// likelihood ratio of the two tones under those known gains, with only the
// transmitter's carrier phase unknown: for tone k, with u_k(n) the tone as
// the channel delivered it,
//     L_k = ln I0(|Σ r(n)·u_k(n)| / σ²) − Σ |u_k(n)|² / (4σ²),
// and the larger wins. A tone faded deep gives little evidence either way,
// so a bit is lost only when the sent tone is down and the other is too
// weak to show its absence; that is what a demodulator that tracked both
// levels perfectly could reach. Impulses and a voice are outside its model
// (it takes the noise as white), so on those channels it is no bound.

namespace bench {

struct KnownChannel {
    std::vector<std::complex<float>> markGain, spaceGain;  // per sample of the received audio
    double amplitude = 0.0;      // of the transmitted tone
    double noiseVariance = 0.0;  // per sample
};

std::string toneAwareDecode(const std::vector<float>& received, const std::vector<double>& starts,
                            const IdealTiming& line, const KnownChannel& channel);

// The transmitted tone's amplitude, from the clean recording over its characters.
double toneAmplitude(const std::vector<float>& clean, const std::vector<double>& starts, const IdealTiming& line,
                     double stopBits);

}  // namespace bench
