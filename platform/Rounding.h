#pragma once
// Conversions from floating point (or wider integers) to 16- and 32-bit
// integers: round to nearest, halves to the even neighbour. A value that
// does not fit gives std::nullopt, so callers decide what overflow means.
#include <cstdint>
#include <optional>

namespace platform {

std::optional<int32_t> toInt32(double value);
std::optional<int16_t> toInt16(double value);
std::optional<int16_t> toInt16(int64_t value);

}  // namespace platform
