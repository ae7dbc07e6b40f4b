#include "rtty/channel/HfChannel.h"

#include "rtty/channel/ChannelConditions.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace hfchannel {

namespace {

// Audio tones lie above 200 Hz; the analytic signal need not be exact below.
constexpr double kLowestAudioHz = 200.0;

}  // namespace

const std::vector<std::string>& channelPresetNames()
{
    static const std::vector<std::string> names{"white",   "flat",     "moderate", "poor",     "flutter", "selective",
                                                 "offset",  "impulse",  "dips20",   "dips10",   "storm",   "speech",
                                                 "adjacent", "carrier", "cw",       "hum",      "drift",   "dips",
                                                 "irregular", "fading", "if",     "agc",      "clip",     "clock"};
    return names;
}

namespace {

bool applyNamedPreset(const std::string& name, ChannelSettings& s, double centreHz, double shiftHz)
{
    auto watterson = [&s](double delayMs, double spreadHz) {
        s.multipath = true;
        s.pathDelaySeconds = delayMs / 1000.0;
        s.dopplerSpreadHz = spreadHz;
    };
    if (name == "white") {
    } else if (name == "flat") {
        watterson(0.0, 0.5);
    } else if (name == "moderate") {
        watterson(1.0, 0.5);
    } else if (name == "poor") {
        watterson(2.0, 1.0);
    } else if (name == "flutter") {
        watterson(0.5, 10.0);
    } else if (name == "selective") {
        s.selective = true;
        s.splitHz = centreHz;
        s.toneOffsetHz = shiftHz / 2.0;
    } else if (name == "offset") {
        s.offsetHz = 37.0;
        s.driftHzPerMinute = 1.0;
    } else if (name == "impulse") {
        s.impulses = true;
    } else if (name == "dips20" || name == "dips10") {
        s.dips = true;
        s.dip.depthDb = name == "dips20" ? 20.0 : 10.0;
    } else if (name == "storm") {
        watterson(1.0, 0.5);
        s.offsetHz = 37.0;
        s.driftHzPerMinute = 1.0;
        s.impulses = true;
    } else if (name == "speech") {
        s.speechDb = 0.0;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::optional<ChannelSettings> channelPreset(const std::string& name, double sampleRate, double signalPower,
                                             double centreHz, double shiftHz, uint32_t seed)
{
    ChannelSettings s;
    s.sampleRate = sampleRate;
    s.signalPower = signalPower;
    s.seed = seed;
    size_t begin = 0;
    while (true) {
        const size_t end = name.find('+', begin);
        const std::string part = name.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (!applyNamedPreset(part, s, centreHz, shiftHz) && !applyCondition(part, s, centreHz, shiftHz))
            return std::nullopt;
        if (end == std::string::npos)
            return s;
        begin = end + 1;
    }
}

HfChannel::HfChannel(const ChannelSettings& settings)
    : settings_(settings), noiseRng_(settings.seed * 2654435761u + 17u)
{
    const double rate = settings.sampleRate;
    complexPath_ = settings.multipath || settings.selective || settings.offsetHz != 0.0 || settings.driftHzPerMinute != 0.0;
    if (complexPath_) {
        analytic_ = std::make_unique<AnalyticSignal>(rate, kLowestAudioHz);
        delay_ = analytic_->delaySamples();
    }
    if (settings.multipath) {
        // Each path carries half the power, so that the mean power is kept.
        const double power = settings.pathDelaySeconds > 0.0 ? 0.5 : 1.0;
        first_ = std::make_unique<DopplerTap>(rate, settings.dopplerSpreadHz, power, settings.seed * 7919u + 1u);
        if (settings.pathDelaySeconds > 0.0)
            second_ = std::make_unique<DopplerTap>(rate, settings.dopplerSpreadHz, power, settings.seed * 7919u + 2u);
        pathDelaySamples_ = settings.pathDelaySeconds * rate;
        history_.assign(size_t(std::ceil(pathDelaySamples_)) + 2, {});
    }
    if (settings.selective) {
        selective_ = std::make_unique<SelectiveFade>(rate, settings.splitHz, settings.toneOffsetHz, settings.seed * 104729u + 3u);
        delay_ += selective_->delaySamples();
    }
    if (settings.impulses)
        impulses_ = std::make_unique<ImpulseNoise>(rate, settings.signalPower, settings.impulse, settings.seed * 15485863u + 5u);
    if (settings.dips)
        dips_ = std::make_unique<LevelDips>(rate, settings.dip);
    if (settings.speechDb)
        speech_ = std::make_unique<SpeechNoise>(rate, settings.signalPower * std::pow(10.0, *settings.speechDb / 10.0),
                                                settings.seed * 32452843u + 7u);
    if (settings.interference.adjacent || settings.interference.carrier || settings.interference.hum)
        interference_ = std::make_unique<Interference>(rate, settings.signalPower, settings.interference,
                                                       settings.seed * 49979687u + 11u);
    {
        auto receiver = std::make_unique<ReceiverStages>(rate, settings.signalPower, settings.receiver);
        if (receiver->active())
            receiver_ = std::move(receiver);
    }
    if (settings.snrDb) {
        const double snr = std::pow(10.0, *settings.snrDb / 10.0);
        noiseSigma_ = std::sqrt(settings.signalPower * (rate / 2.0) / (3000.0 * snr));
    }
}

std::complex<float> HfChannel::pathSum(std::complex<float> analytic)
{
    if (!first_)
        return analytic;
    head_ = (head_ + 1) % history_.size();
    history_[head_] = analytic;
    std::complex<float> out = first_->next() * analytic;
    if (second_) {
        // The later path, linearly interpolated between whole samples.
        const double whole = std::floor(pathDelaySamples_);
        const auto fraction = static_cast<float>(pathDelaySamples_ - whole);
        const size_t size = history_.size();
        const auto at = [&](size_t back) { return history_[(head_ + size - back) % size]; };
        const std::complex<float> late = (1.0f - fraction) * at(size_t(whole)) + fraction * at(size_t(whole) + 1);
        out += second_->next() * late;
    }
    return out;
}

void HfChannel::process(float* samples, size_t n)
{
    const double rate = settings_.sampleRate;
    for (size_t i = 0; i < n && complexPath_; ++i) {
        std::complex<float> z = pathSum(analytic_->step(samples[i]));
        if (settings_.offsetHz != 0.0 || settings_.driftHzPerMinute != 0.0) {
            const double seconds = double(sample_) / rate;
            offsetPhase_ += (settings_.offsetHz + settings_.driftHzPerMinute * seconds / 60.0) / rate;
            offsetPhase_ -= std::floor(offsetPhase_);
            z *= std::complex<float>(std::polar(1.0, 2.0 * std::numbers::pi * offsetPhase_));
        }
        if (selective_)
            z = selective_->step(z);
        samples[i] = z.real();
        ++sample_;
    }
    if (!complexPath_)
        sample_ += static_cast<long long>(n);
    if (dips_)
        for (size_t i = 0; i < n; ++i)
            samples[i] *= dips_->next();
    if (speech_)
        for (size_t i = 0; i < n; ++i)
            samples[i] += speech_->next();
    if (interference_)
        for (size_t i = 0; i < n; ++i)
            samples[i] += interference_->next();
    if (impulses_)
        impulses_->add(samples, n);
    if (noiseSigma_ > 0.0)
        for (size_t i = 0; i < n; ++i)
            samples[i] += static_cast<float>(noiseSigma_ * normal_(noiseRng_));
    if (receiver_)
        receiver_->process(samples, n);
}

void HfChannel::applyAligned(std::vector<float>& samples)
{
    const size_t length = samples.size();
    samples.resize(length + size_t(delay_), 0.0f);
    process(samples.data(), samples.size());
    samples.erase(samples.begin(), samples.begin() + delay_);
    samples.resize(length);
    if (settings_.clockPpm != 0.0)
        samples = resampleForClockError(samples, settings_.clockPpm);
}

}  // namespace hfchannel
