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

void extendCommonLevel(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                       const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                       std::vector<float>& pairLevel, SlidingMaximum& pairMaximum, std::vector<float>& common,
                       float markAmplitude, float spaceAmplitude)
{
    constexpr float kTiny = 1e-30f;
    const float markScale = 1.0f / std::max(markAmplitude, kTiny), spaceScale = 1.0f / std::max(spaceAmplitude, kTiny);
    const std::size_t done = common.size();
    for (std::size_t i = pairLevel.size(); i < markEnvelope.size(); ++i) {
        pairLevel.push_back(std::max(markMagnitudes[i] * markScale, spaceMagnitudes[i] * spaceScale));
        pairMaximum.push(pairLevel.back(), common);
    }
    // The pair's highest level round each new slot, against the tones' local levels there.
    for (std::size_t i = done; i < common.size(); ++i)
        common[i] /= std::max(std::max(markEnvelope[i] * markScale, spaceEnvelope[i] * spaceScale), kTiny);
}

}  // namespace rtty
