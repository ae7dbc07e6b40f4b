#pragma once

#include "rtty/channel/HfChannel.h"

#include <complex>
#include <vector>

// What a channel did to one steady tone, sample by sample: the complex gain
// (fading paths, the frequency offset, a selective fade, dips) it applied to
// a tone at `toneHz`, lined up with HfChannel::applyAligned's output. The
// channel is linear in its input and its random draws do not depend on it,
// so a cosine and a sine at the tone's frequency, sent through noiseless
// copies with the same seed, give the gain exactly: y_cos + j·y_sin is the
// gain times the tone. Additive parts (impulses, a voice, white noise) are
// left out; they are the noise, not the channel's gain.

namespace hfchannel {

std::vector<std::complex<float>> toneGains(const ChannelSettings& settings, double toneHz, size_t length);

}  // namespace hfchannel
