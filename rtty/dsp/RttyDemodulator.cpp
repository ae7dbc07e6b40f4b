#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>

namespace rtty {

const char* parameterProblem(const RttyParameters& p, double sampleRate)
{
    using namespace limits;
    if (!(sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate))
        return "the sample rate must be between 8000 and 192000 Hz";
    if (!(p.baud >= kMinBaud && p.baud <= kMaxBaud))
        return "the speed must be between 20 and 300 baud";
    if (!(p.shiftHz >= kMinShiftHz && p.shiftHz <= kMaxShiftHz))
        return "the shift must be between 50 and 1500 Hz";
    if (!(p.stopBits >= kMinStopBits && p.stopBits <= kMaxStopBits))
        return "the stop length must be between 1 and 2 bits";
    const double low = p.centreHz - p.shiftHz / 2;
    const double high = p.centreHz + p.shiftHz / 2;
    if (!(low >= kLowestToneInBauds * p.baud))
        return "the lower tone is too close to 0 Hz for this speed";
    if (!(high <= kHighestToneOfRate * sampleRate))
        return "the upper tone is too close to half the sample rate";
    return nullptr;
}

RttyDemodulator::RttyDemodulator(double sampleRate, const RttyParameters& parameters)
    : sampleRate_(sampleRate), parameters_(parameters), framer_(sampleRate, parameters)
{
    restart();
}

RttyDemodulator::~RttyDemodulator() = default;

void RttyDemodulator::setParameters(const RttyParameters& parameters)
{
    parameters_ = parameters;
    framer_.setParameters(parameters);
    restart();
}

void RttyDemodulator::restart()
{
    bitSamples_ = sampleRate_ / parameters_.baud;
    framePeriodNominal_ = (6.0 + parameters_.stopBits) * bitSamples_;
    frontEnd_ = std::make_unique<ReceiverFrontEnd>(sampleRate_, parameters_);
    recentAudio_.clear();
    holding_ = true;
    heldText_.clear();
    textAtHold_ = framer_.textState();
    resetFraming(0.0);
}

void RttyDemodulator::resetFraming(double correctionHz)
{
    frontEnd_->restart(samplesIn_, correctionHz);
    framer_.restart(*frontEnd_);
}

void RttyDemodulator::process(const float* samples, size_t n, std::string& textOut)
{
    // In pieces of a twentieth of a second at most, so that AFC retunes
    // the filters for what follows however much audio comes at once.
    const auto piece = std::max<size_t>(256, static_cast<size_t>(0.05 * sampleRate_));
    for (size_t done = 0; done < n; done += piece)
        processPiece(samples + done, std::min(piece, n - done), textOut);
}

void RttyDemodulator::demodulate(const float* samples, size_t n, std::string& textOut)
{
    frontEnd_->process(samples, n, !framer_.locked());
    samplesIn_ += static_cast<int64_t>(n);
    framer_.updateSquelch();
    framer_.run(textOut);
    framer_.discardOld();
}

}  // namespace rtty
