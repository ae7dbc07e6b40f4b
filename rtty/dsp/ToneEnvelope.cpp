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

}  // namespace rtty
