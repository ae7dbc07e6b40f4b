#include "rtty/channel/ReceiverStages.h"

#include <algorithm>
#include <cmath>

namespace hfchannel {

ReceiverStages::ReceiverStages(double sampleRate, double signalPower, const ReceiverSettings& settings)
    : sampleRate_(sampleRate), settings_(settings)
{
    if (settings_.filter) {
        // liquid's band-pass takes the lower passband edge as the prototype's
        // cut-off and mirrors it about the centre.
        const IfFilter& f = *settings_.filter;
        filter_ = iirfilt_rrrf_create_prototype(LIQUID_IIRDES_CHEBY1, LIQUID_IIRDES_BANDPASS, LIQUID_IIRDES_SOS,
                                                std::max(1u, f.poles / 2), float((f.centreHz - f.widthHz / 2.0) / sampleRate),
                                                float(f.centreHz / sampleRate), 1.0f, 60.0f);
    }
    const double peak = std::sqrt(2.0 * signalPower);
    if (settings_.agc) {
        const Agc& agc = *settings_.agc;
        agcTarget_ = peak;
        agcLevel_ = peak;
        attack_ = 1.0 - std::exp(-1.0 / (agc.attackSeconds * sampleRate_));
        release_ = std::exp(-1.0 / (agc.releaseSeconds * sampleRate_));
        hangSamples_ = static_cast<long long>(agc.hangSeconds * sampleRate_);
    }
    if (settings_.clipDb)
        clipLevel_ = peak * std::pow(10.0, *settings_.clipDb / 20.0);
}

ReceiverStages::~ReceiverStages()
{
    if (filter_)
        iirfilt_rrrf_destroy(filter_);
}

bool ReceiverStages::active() const
{
    return settings_.filter || settings_.agc || settings_.clipDb;
}

void ReceiverStages::process(float* samples, size_t n)
{
    if (filter_)
        for (size_t i = 0; i < n; ++i)
            iirfilt_rrrf_execute(filter_, samples[i], &samples[i]);
    if (settings_.agc) {
        // A peak-following AGC: quick to cut on anything loud, slow to give
        // the gain back, so that a click or a strong neighbour in the
        // passband leaves the signal down for the hang and release.
        for (size_t i = 0; i < n; ++i) {
            const double magnitude = std::fabs(samples[i]);
            if (magnitude > agcLevel_) {
                agcLevel_ += attack_ * (magnitude - agcLevel_);
                hangLeft_ = hangSamples_;
            } else if (hangLeft_ > 0) {
                --hangLeft_;
            } else {
                agcLevel_ = std::max(magnitude, agcLevel_ * release_);
            }
            samples[i] = static_cast<float>(samples[i] * agcTarget_ / std::max(agcLevel_, 1e-9));
        }
    }
    if (settings_.clipDb)
        for (size_t i = 0; i < n; ++i)
            samples[i] = static_cast<float>(std::clamp(double(samples[i]), -clipLevel_, clipLevel_));
}

std::vector<float> resampleForClockError(const std::vector<float>& samples, double ppm)
{
    const float rate = static_cast<float>(1.0 + ppm * 1e-6);
    resamp_rrrf resampler = resamp_rrrf_create(rate, 15, 0.45f, 60.0f, 256);
    const unsigned delay = resamp_rrrf_get_delay(resampler);
    std::vector<float> out;
    out.reserve(size_t(double(samples.size()) * rate) + 64);
    float produced[4];
    unsigned count = 0;
    for (size_t i = 0; i < samples.size() + delay; ++i) {
        resamp_rrrf_execute(resampler, i < samples.size() ? samples[i] : 0.0f, produced, &count);
        out.insert(out.end(), produced, produced + count);
    }
    resamp_rrrf_destroy(resampler);
    out.erase(out.begin(), out.begin() + std::min<size_t>(delay, out.size()));
    return out;
}

}  // namespace hfchannel
