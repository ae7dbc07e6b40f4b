#pragma once
// The card's terms for what the RTTY demodulator of rtty/ says and takes,
// shared by the channels that decode audio.
#include "DecodingChannel.h"
#include "rtty/dsp/CharacterFramer.h"
#include "rtty/dsp/RttyParameters.h"

#include <algorithm>
#include <cmath>

namespace cardserver {

inline rtty::RttyParameters demodulatorParameters(const LineParameters& line, const ReceiverOptions& options)
{
    rtty::RttyParameters p;
    p.baud = line.baud;
    p.shiftHz = line.shift;
    p.centreHz = line.centre;
    p.inverted = line.inverted;
    p.stopBits = options.stopBits;
    p.unshiftOnSpace = options.unshiftOnSpace;
    return p;
}

inline ChannelState channelState(rtty::DecodeState state)
{
    switch (state) {
    case rtty::DecodeState::NoSignal: return ChannelState::Idle;
    case rtty::DecodeState::Searching: return ChannelState::Search;
    case rtty::DecodeState::Synchronised:
    case rtty::DecodeState::Traffic: return ChannelState::Traffic;
    }
    return ChannelState::Search;
}

// The tones' SNR (linear, as the demodulator measures it) in dB, 0 when
// there is nothing to hear.
inline int signalLevel(double snr)
{
    return snr > 1 ? std::clamp(int(std::lround(10 * std::log10(snr))), 0, 99) : 0;
}

}  // namespace cardserver
