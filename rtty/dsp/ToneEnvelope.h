#pragma once

#include "rtty/dsp/SlidingMaximum.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The local level of one tone for the slot likelihood: the highest one-bit
// magnitude within half a width either side. Under fading it follows the
// tone down within a bit, from both sides of the slot (the look-ahead is
// inside the decoding delay), so a faded tone is weighed by what it has
// now rather than by what it had a second ago. A tone off throughout the
// window shows only noise, which weighs it down as well: the decision then
// rests on the other tone.

namespace rtty {

// The pair's level now, at every output, two ways. At every instant one
// tone is keyed on, so the larger of the two tones' magnitudes at the
// centre of any bit shows the pair's level; its highest value within the
// half width of the maxima (half a bit or more, so that a bit centre is
// always inside) follows a fade of both tones within a bit, where the tone
// levels (ToneEnvelope above), which look a character either side, still
// show the level before or after it.
//  - `pairGain`: each tone taken against its long-term amplitude: the
//    pair's gain now, for a receiver that has no local levels yet.
//  - `common`: each tone taken against its own local level: near 1 unless
//    both tones are down together, a share that scales the local levels.
//    A fade of one tone (keying, selective fading) leaves it near 1, since
//    the on-tone stands at its own (faded) level; that tone's level says
//    it. A tone whose local level is within noise (off throughout, or
//    faded out) says nothing about the pair and is left out; with both
//    left out the share is 1.
// The four vectors are extended as far as `markEnvelope` allows, less the
// half width of the maxima for the two maxima.
struct PairLevels {
    std::vector<float> rawGain;  // before its maximum
    std::vector<float> pairGain;
    std::vector<float> markPeak, spacePeak;  // each tone's highest magnitude round each output
    std::vector<float> common;
    SlidingMaximum gainMaximum, markMaximum, spaceMaximum;
    float unlike = 0.0f;  // how much of late the tones' local levels differed
    float unlikeAlpha = 0.0f;
    void reset(int halfWidth, double outputsPerBit);
    void erase(std::size_t count);
};
struct ToneScales {
    float markAmplitude = 0.0f, spaceAmplitude = 0.0f;
    float markNoise = 0.0f, spaceNoise = 0.0f;  // RMS magnitude of each tone's filter while off
};
void extendPairLevels(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                      const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                      const ToneScales& scales, PairLevels& levels);

}  // namespace rtty
