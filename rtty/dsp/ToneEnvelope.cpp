#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>
#include <limits>

namespace rtty {

namespace {
// The time over which a difference of the tones' levels is followed: a fade of
// both shows one for the half width of the tone levels at each edge, a fade
// of one tone (selective fading) for seconds.
constexpr double kUnlikeBits = 8.0;
}  // namespace

void PairLevels::reset(int halfWidth, double outputsPerBit)
{
    unlike = 0.0f;
    unlikeAlpha = static_cast<float>(1.0 / (kUnlikeBits * outputsPerBit));
    rawGain.clear();
    pairGain.clear();
    markPeak.clear();
    spacePeak.clear();
    common.clear();
    gainMaximum = SlidingMaximum(halfWidth);
    markMaximum = SlidingMaximum(halfWidth);
    spaceMaximum = SlidingMaximum(halfWidth);
}

void PairLevels::erase(std::size_t count)
{
    for (std::vector<float>* values : {&rawGain, &pairGain, &markPeak, &spacePeak, &common})
        values->erase(values->begin(), values->begin() + long(std::min(count, values->size())));
}

void extendPairLevels(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                      const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                      const ToneScales& scales, PairLevels& levels)
{
    constexpr float kTiny = 1e-30f;
    // A local level this many times the noise's RMS magnitude or more
    // holds the tone; below it, the highest of a few noise samples.
    constexpr float kAboveNoise = 2.5f;
    constexpr float kSilence = 0.05f;
    // The two tones' local levels this close (as gains) are one fade.
    constexpr float kAlike = 0.5f;
    const float markScale = 1.0f / std::max(scales.markAmplitude, kTiny);
    const float spaceScale = 1.0f / std::max(scales.spaceAmplitude, kTiny);
    const float markFloor = kAboveNoise * scales.markNoise, spaceFloor = kAboveNoise * scales.spaceNoise;
    const std::size_t first = levels.rawGain.size();
    if (markEnvelope.size() > first) {
        levels.rawGain.resize(markEnvelope.size());
        float* const rawGain = levels.rawGain.data();
        for (std::size_t i = first; i < markEnvelope.size(); ++i)
            rawGain[i] = std::max(markMagnitudes[i] * markScale, spaceMagnitudes[i] * spaceScale);
    }
    // The maxima take the new values as a block: no state reloaded per value.
    const std::size_t added = levels.rawGain.size() - first;
    levels.gainMaximum.push(levels.rawGain.data() + first, added, levels.pairGain);
    levels.markMaximum.push(markMagnitudes.data() + first, added, levels.markPeak);
    levels.spaceMaximum.push(spaceMagnitudes.data() + first, added, levels.spacePeak);
    // Written through plain pointers, the share of unlike levels in a
    // local: a store to the vectors would make the compiler reload it.
    const std::size_t from = levels.common.size(), to = levels.markPeak.size();
    if (to <= from)
        return;
    levels.common.resize(to);
    float* const common = levels.common.data();
    const float* const markPeak = levels.markPeak.data();
    const float* const spacePeak = levels.spacePeak.data();
    float unlikeShare = levels.unlike;
    const float unlikeAlpha = levels.unlikeAlpha;
    for (std::size_t i = from; i < to; ++i) {
        // The share of the tone keyed on here: the one that stands out
        // against its long-term amplitude at the output itself, its highest
        // magnitude round it against its local level. Where the other tone
        // is faded out (selective fading), noise may stand out in the
        // on-tone's stead, and the share would read a fade of one tone as
        // one of both: it counts only where the on-tone stands above noise,
        // or where the other tone's local level is heard and, unless one
        // tone has been down for a while, at the on-tone's gain. Where
        // nothing tells, no fade of both.
        const float mark = markPeak[i], space = spacePeak[i];
        const bool markOn = markMagnitudes[i] * markScale >= spaceMagnitudes[i] * spaceScale;
        const float onPeak = markOn ? mark : space;
        const float onLevel = markOn ? markEnvelope[i] : spaceEnvelope[i];
        const float otherLevel = markOn ? spaceEnvelope[i] : markEnvelope[i];
        const float onGain = onLevel * (markOn ? markScale : spaceScale);
        const float otherGain = otherLevel * (markOn ? spaceScale : markScale);
        const float onFloor = markOn ? markFloor : spaceFloor, otherFloor = markOn ? spaceFloor : markFloor;
        // One tone faded for longer than the edge of a fade of both: the
        // other tone's level then says nothing about the pair's.
        const bool unlike = otherGain < kAlike * onGain || onGain < kAlike * otherGain;
        unlikeShare += unlikeAlpha * ((unlike ? 1.0f : 0.0f) - unlikeShare);
        const bool oneToneFaded = unlikeShare > 0.5f;
        const bool otherAlike = otherLevel > otherFloor && !(oneToneFaded && unlike);
        const bool tells = onLevel > onFloor && (otherAlike || onPeak > onFloor);
        // Both tones far below the noise they were learnt with: digital
        // silence, the signal gone.
        const bool silent = mark < kSilence * markFloor && space < kSilence * spaceFloor;
        common[i] = silent ? 0.0f : tells ? std::min(1.0f, onPeak / onLevel) : 1.0f;
    }
    levels.unlike = unlikeShare;
}

}  // namespace rtty
