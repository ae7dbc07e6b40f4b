#include "rtty/channel/ToneGains.h"

#include <cmath>
#include <numbers>

namespace hfchannel {

std::vector<std::complex<float>> toneGains(const ChannelSettings& settings, double toneHz, size_t length)
{
    ChannelSettings noiseless = settings;
    noiseless.snrDb.reset();
    noiseless.speechDb.reset();
    noiseless.impulses = false;
    noiseless.interference = {};
    // Nonlinear or length-changing: no gain of a tone describes them.
    noiseless.receiver.agc.reset();
    noiseless.receiver.clipDb.reset();
    noiseless.clockPpm = 0.0;

    const double step = 2.0 * std::numbers::pi * toneHz / settings.sampleRate;
    std::vector<float> cosine(length), sine(length);
    for (size_t n = 0; n < length; ++n) {
        // The phase taken modulo a turn in double, so that long recordings keep float precision.
        const double phase = std::fmod(step * double(n), 2.0 * std::numbers::pi);
        cosine[n] = static_cast<float>(std::cos(phase));
        sine[n] = static_cast<float>(std::sin(phase));
    }
    HfChannel(noiseless).applyAligned(cosine);
    HfChannel(noiseless).applyAligned(sine);

    std::vector<std::complex<float>> gains(length);
    for (size_t n = 0; n < length; ++n) {
        const double phase = std::fmod(step * double(n), 2.0 * std::numbers::pi);
        gains[n] = std::complex<float>(std::complex<double>(cosine[n], sine[n]) * std::polar(1.0, -phase));
    }
    return gains;
}

}  // namespace hfchannel
