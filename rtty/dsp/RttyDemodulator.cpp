#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>
#include <cmath>

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
    recentAudio_.reset(static_cast<size_t>(kRewindSeconds * sampleRate_));
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
    // In pieces of a fixed length, counted from the first sample: AFC then
    // retunes the filters for what follows however much audio comes at
    // once, and the decisions taken between pieces (retuning, the squelch,
    // learning from raw levels or from frames) fall on the same samples
    // whether the audio comes in blocks of 160 samples or of 4096, so the
    // text does not depend on them. A piece's tail waits for the next block.
    const auto piece = std::max<size_t>(128, static_cast<size_t>(std::lround(kPieceSeconds * sampleRate_)));
    size_t done = 0;
    if (!partPiece_.empty()) {
        done = std::min(piece - partPiece_.size(), n);
        partPiece_.insert(partPiece_.end(), samples, samples + done);
        if (partPiece_.size() < piece)
            return;
        processPiece(partPiece_.data(), piece, textOut);
        partPiece_.clear();
    }
    for (; n - done >= piece; done += piece)
        processPiece(samples + done, piece, textOut);
    partPiece_.assign(samples + done, samples + n);
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
