#include "rtty/channel/AnalyticSignal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <liquid/liquid.h>

namespace hfchannel {

namespace {

// A Kaiser half-band filter of semi-length m with 60 dB stop band has a
// transition about 0.9·fs/m wide, centred on 0 Hz; half of it must fall
// below the lowest frequency of interest.
unsigned semiLength(double sampleRate, double lowestHz)
{
    const double m = 0.45 * sampleRate / std::max(lowestHz, 1.0);
    return static_cast<unsigned>(std::clamp(std::ceil(m), 8.0, 4000.0));
}

}  // namespace

AnalyticSignal::AnalyticSignal(double sampleRate, double lowestHz)
{
    const unsigned m = semiLength(sampleRate, lowestHz);
    filter_ = firhilbf_create(m, 60.0f);
    delay_ = static_cast<int>(2 * m);
}

AnalyticSignal::~AnalyticSignal()
{
    firhilbf_destroy(filter_);
}

std::complex<float> AnalyticSignal::step(float sample)
{
    std::complex<float> out;
    firhilbf_r2c_execute(filter_, sample, &out);
    return out;
}

}  // namespace hfchannel
