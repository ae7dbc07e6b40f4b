#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>

namespace rtty {

void SlidingMaximum::push(float value, std::vector<float>& out)
{
    if (step_ == 1) {
        pushStep(value, out);
        return;
    }
    stepMaximum_ = inStep_ == 0 ? value : std::max(stepMaximum_, value);
    if (++inStep_ < step_)
        return;
    inStep_ = 0;
    const size_t before = out.size();
    pushStep(stepMaximum_, out);
    if (out.size() > before)
        out.insert(out.end(), size_t(step_ - 1), out.back());
}

void SlidingMaximum::pushStep(float value, std::vector<float>& out)
{
    if (ring_.empty()) {
        std::size_t capacity = 1;
        while (capacity < std::size_t(2 * halfWidth_ + 2))
            capacity *= 2;
        ring_.resize(capacity);
    }
    const std::size_t mask = ring_.size() - 1;
    const int64_t index = next_++;
    while (size_ > 0 && ring_[(front_ + size_ - 1) & mask].second <= value)
        --size_;
    ring_[(front_ + size_) & mask] = {index, value};
    ++size_;
    const int64_t centre = index - halfWidth_;
    if (centre < 0)
        return;
    while (ring_[front_].first < centre - halfWidth_) {
        front_ = (front_ + 1) & mask;
        --size_;
    }
    out.push_back(ring_[front_].second);
}

void PairLevels::reset(int halfWidth)
{
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
    const float markScale = 1.0f / std::max(scales.markAmplitude, kTiny);
    const float spaceScale = 1.0f / std::max(scales.spaceAmplitude, kTiny);
    const float markFloor = kAboveNoise * scales.markNoise, spaceFloor = kAboveNoise * scales.spaceNoise;
    for (std::size_t i = levels.rawGain.size(); i < markEnvelope.size(); ++i) {
        const float mark = markMagnitudes[i], space = spaceMagnitudes[i];
        levels.rawGain.push_back(std::max(mark * markScale, space * spaceScale));
        levels.gainMaximum.push(levels.rawGain.back(), levels.pairGain);
        levels.markMaximum.push(mark, levels.markPeak);
        levels.spaceMaximum.push(space, levels.spacePeak);
    }
    for (std::size_t i = levels.common.size(); i < levels.markPeak.size(); ++i) {
        // The share of the tone that stands out against its long-term
        // amplitude here, the one keyed on. Noise in the filter of a tone
        // faded out may stand out as well: it counts only where the other
        // tone is heard, or where it stands above noise itself. Where
        // nothing tells, no fade of both.
        const float mark = levels.markPeak[i], space = levels.spacePeak[i];
        const bool markOn = mark * markScale >= space * spaceScale;
        const float on = markOn ? mark : space, onLevel = markOn ? markEnvelope[i] : spaceEnvelope[i];
        const float onFloor = markOn ? markFloor : spaceFloor;
        const bool otherHeard = markOn ? spaceEnvelope[i] > spaceFloor : markEnvelope[i] > markFloor;
        const bool tells = onLevel > onFloor && (otherHeard || on > onFloor);
        // Both tones far below the noise they were learnt with: digital
        // silence, the signal gone.
        const bool silent = mark < kSilence * markFloor && space < kSilence * spaceFloor;
        levels.common.push_back(silent ? 0.0f : tells ? std::min(1.0f, on / onLevel) : 1.0f);
    }
}

}  // namespace rtty
