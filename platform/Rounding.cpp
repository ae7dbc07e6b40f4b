#include "Rounding.h"

#include <cfenv>
#include <cmath>

namespace platform {

namespace {
std::optional<double> roundHalfEven(double value)
{
    if (!std::isfinite(value)) return std::nullopt;
    // nearbyint follows the current rounding mode, which is to-nearest-even
    // unless someone changed it; do not depend on that.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return rounded;
}
}  // namespace

std::optional<int32_t> toInt32(double value)
{
    const auto rounded = roundHalfEven(value);
    if (!rounded || *rounded < INT32_MIN || *rounded > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(*rounded);
}

std::optional<int16_t> toInt16(double value)
{
    const auto rounded = roundHalfEven(value);
    if (!rounded || *rounded < INT16_MIN || *rounded > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(*rounded);
}

std::optional<int16_t> toInt16(int64_t value)
{
    if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<int16_t>(value);
}

}  // namespace platform
