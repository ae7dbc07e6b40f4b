#pragma once

#include "rtty/channel/HfChannel.h"

#include <string>

// The numbered conditions of channelPreset ("adjacent:500:6", "clock:1000",
// ...; the list is at channelPreset). Each adds its part to `settings`;
// false for an unknown name or numbers that do not parse.

namespace hfchannel {

bool applyCondition(const std::string& part, ChannelSettings& settings, double centreHz, double shiftHz);

}  // namespace hfchannel
