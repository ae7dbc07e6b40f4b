#pragma once

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>

// The natural logarithm of a positive, finite, normal double, inline and
// without a branch: the exponent from the bits, the mantissa's logarithm
// from a table of 128 points and a four-term series round the nearest one
// (|r| < 2^-8, so the series is good to a few parts in 10^13). The slot
// likelihood takes a logarithm for every on-tone it weighs; the library's
// is a call, and its float version is the less precise.

namespace rtty {

class FastLog {
public:
    FastLog()
    {
        for (std::size_t i = 0; i < kPoints; ++i) {
            const double point = 1.0 + (double(i) + 0.5) / kPoints;
            points_[i] = point;
            inverse_[i] = 1.0 / point;
            logs_[i] = std::log(point);
        }
    }

    double operator()(double y) const
    {
        const auto bits = std::bit_cast<uint64_t>(y);
        const int exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
        const uint64_t fraction = bits & ((uint64_t(1) << 52) - 1);
        const double mantissa = std::bit_cast<double>(fraction | std::bit_cast<uint64_t>(1.0));  // in [1, 2)
        const auto i = static_cast<std::size_t>(fraction >> (52 - kBits));
        const double r = (mantissa - points_[i]) * inverse_[i];
        const double series = r * (1.0 + r * (-0.5 + r * (1.0 / 3.0 - 0.25 * r)));
        return exponent * std::numbers::ln2 + logs_[i] + series;
    }

private:
    static constexpr int kBits = 7;
    static constexpr std::size_t kPoints = std::size_t(1) << kBits;
    std::array<double, kPoints> points_{}, inverse_{}, logs_{};
};

}  // namespace rtty
