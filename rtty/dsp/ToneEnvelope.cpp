#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>
#include <limits>

namespace rtty {

// A whole step of values: its highest goes in, and stands for all of them.
void SlidingMaximum::pushGroup(std::vector<float>& out)
{
    inStep_ = 0;
    const size_t before = out.size();
    pushStep(stepMaximum_, out);
    if (out.size() > before) {
        const float highest = out.back();
        out.resize(out.size() + size_t(step_ - 1), highest);
    }
}

// Van Herk / Gil-Werman: the values go in blocks of one window's width.
// A window spans the end of the block before (the highest from its start
// to that block's end, computed once the block is whole) and the start of
// the one filling (the highest so far): one comparison each, whatever the
// values, where a queue of falling values branches on every one.
void SlidingMaximum::pushStep(float value, std::vector<float>& out)
{
    const auto width = std::size_t(2 * halfWidth_ + 1);
    if (block_.empty()) {
        block_.resize(width);
        // Before the first value there is nothing: no maximum from there.
        suffix_.assign(width, std::numeric_limits<float>::lowest());
    }
    const std::size_t at = inBlock_;
    block_[at] = value;
    highestInBlock_ = at == 0 ? value : std::max(highestInBlock_, value);
    const int64_t index = next_++;
    const bool last = at + 1 == width;
    // The window of values index - width + 1 ... index: from position
    // at + 1 of the block before, or this block alone once it is whole.
    if (index >= halfWidth_)
        out.push_back(last ? highestInBlock_ : std::max(suffix_[at + 1], highestInBlock_));
    if (!last) {
        inBlock_ = at + 1;
        return;
    }
    float highest = block_[width - 1];
    for (std::size_t j = width; j-- > 0;)
        suffix_[j] = highest = std::max(highest, block_[j]);
    inBlock_ = 0;
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
