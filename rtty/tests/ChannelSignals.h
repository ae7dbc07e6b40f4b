#pragma once
// Text sent through one of the HF channel simulator's presets, for the round
// trips of the demodulator's tests.
#include "rtty/channel/HfChannel.h"
#include "rtty/signal/FskModulator.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rtty::testing {

inline std::vector<float> throughChannel(const std::string& text, const RttyParameters& parameters,
                                         const std::string& channel, double snrDb, uint32_t seed,
                                         double sampleRate = 8000.0)
{
    std::vector<float> samples = renderText(text, sampleRate, parameters);
    auto settings =
        hfchannel::channelPreset(channel, sampleRate, 0.125, parameters.centreHz, parameters.shiftHz, seed);
    settings->snrDb = snrDb;
    hfchannel::HfChannel(*settings).applyAligned(samples);
    return samples;
}

}  // namespace rtty::testing
