#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>

namespace rtty {

void extendToneEnvelope(const std::vector<float>& magnitudes, std::vector<float>& envelope, int halfWidth)
{
    const auto size = static_cast<long>(magnitudes.size());
    for (auto i = static_cast<long>(envelope.size()); i + halfWidth < size; ++i) {
        const long from = std::max(0L, i - halfWidth);
        envelope.push_back(*std::max_element(magnitudes.begin() + from, magnitudes.begin() + i + halfWidth + 1));
    }
}

void extendCommonLevel(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                       const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                       std::vector<float>& pairLevel, std::vector<float>& common, int halfWidth,
                       float markAmplitude, float spaceAmplitude)
{
    constexpr float kTiny = 1e-30f;
    const float markScale = 1.0f / std::max(markAmplitude, kTiny), spaceScale = 1.0f / std::max(spaceAmplitude, kTiny);
    for (size_t i = pairLevel.size(); i < markEnvelope.size(); ++i)
        pairLevel.push_back(std::max(markMagnitudes[i] * markScale, spaceMagnitudes[i] * spaceScale));
    const auto size = static_cast<long>(pairLevel.size());
    for (auto i = static_cast<long>(common.size()); i + halfWidth < size; ++i) {
        const long from = std::max(0L, i - halfWidth);
        const float now = *std::max_element(pairLevel.begin() + from, pairLevel.begin() + i + halfWidth + 1);
        const auto at = static_cast<size_t>(i);
        const float around = std::max(markEnvelope[at] * markScale, spaceEnvelope[at] * spaceScale);
        common.push_back(now / std::max(around, kTiny));
    }
}

}  // namespace rtty
