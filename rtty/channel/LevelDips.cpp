#include "rtty/channel/LevelDips.h"

#include <cmath>
#include <numbers>

namespace hfchannel {

namespace {
constexpr double kEdgeSeconds = 0.010;
}

LevelDips::LevelDips(double sampleRate, const DipSettings& settings)
    : sampleRate_(sampleRate), settings_(settings), floor_(std::pow(10.0, -settings.depthDb / 20.0)),
      rng_(settings.seed * 2654435769u + 29u)
{
    dipSeconds_ = settings_.seconds;
    dipFloor_ = floor_;
}

// The depth as a share of the dip (0 outside, 1 at the bottom) at `into`
// seconds from its start.
static double depthInto(double into, double seconds)
{
    constexpr double edge = 0.010;
    if (into < 0.0)
        return 0.0;
    if (into < edge)
        return 0.5 - 0.5 * std::cos(std::numbers::pi * into / edge);
    if (into < seconds)
        return 1.0;
    if (into < seconds + edge)
        return 0.5 + 0.5 * std::cos(std::numbers::pi * (into - seconds) / edge);
    return 0.0;
}

float LevelDips::nextIrregular(double t)
{
    if (t >= dipStart_ + dipSeconds_ + kEdgeSeconds) {
        auto spread = [this] { return 0.3 + 1.4 * uniform_(rng_); };
        dipStart_ += std::max(settings_.periodSeconds * spread(), dipSeconds_ + 2 * kEdgeSeconds);
        dipSeconds_ = settings_.seconds * spread();
        dipFloor_ = std::pow(10.0, -settings_.depthDb * (0.5 + 0.5 * uniform_(rng_)) / 20.0);
    }
    return static_cast<float>(1.0 - depthInto(t - dipStart_, dipSeconds_) * (1.0 - dipFloor_));
}

float LevelDips::next()
{
    const double t = double(sample_++) / sampleRate_ - settings_.firstAtSeconds;
    if (t < 0.0)
        return 1.0f;
    if (settings_.irregular)
        return nextIrregular(t);
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
