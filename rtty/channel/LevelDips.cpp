#include "rtty/channel/LevelDips.h"

#include <cmath>
#include <numbers>

namespace hfchannel {

namespace {
constexpr double kEdgeSeconds = 0.010;
}

LevelDips::LevelDips(double sampleRate, const DipSettings& settings)
    : sampleRate_(sampleRate), settings_(settings), floor_(std::pow(10.0, -settings.depthDb / 20.0))
{
}

float LevelDips::next()
{
    const double t = double(sample_++) / sampleRate_ - settings_.firstAtSeconds;
    if (t < 0.0)
        return 1.0f;
    const double into = std::fmod(t, settings_.periodSeconds);
    // Depth as a share of the dip: 0 outside, 1 at the bottom.
    double depth = 0.0;
    if (into < kEdgeSeconds)
        depth = 0.5 - 0.5 * std::cos(std::numbers::pi * into / kEdgeSeconds);
    else if (into < settings_.seconds)
        depth = 1.0;
    else if (into < settings_.seconds + kEdgeSeconds)
        depth = 0.5 + 0.5 * std::cos(std::numbers::pi * (into - settings_.seconds) / kEdgeSeconds);
    return static_cast<float>(1.0 - depth * (1.0 - floor_));
}

}  // namespace hfchannel
