#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

// Tuning: the spectrum's coarse acquisition, retuning, decoding again what
// was heard mistuned, and the matched-filter AFC.

namespace rtty {

namespace {

// The spectrum retunes the filters when it disagrees with them by more
// than this share of the baud rate (closer, the matched-filter AFC is
// finer), and decodes the recent audio again when by more than the other.
constexpr double kRetuneShare = 0.15;
constexpr double kRewindShare = 0.4;
constexpr double kRewindSeconds = 4.0;
constexpr size_t kPieceSamples = 400;

}  // namespace

void RttyDemodulator::processPiece(const float* samples, size_t n, std::string& textOut)
{
    // Further off than the matched-filter AFC can see: the spectrum says
    // where. A jump beyond the AFC's reach means what came since the last
    // printed character was heard mistuned: it is decoded again, retuned.
    acquisition_->process(samples, n);
    double offsetHz = 0.0;
    const bool estimated = acquisition_->takeEstimate(offsetHz);
    const double jump = std::fabs(offsetHz - tuningCorrectionHz_);
    if (holding_ && (estimated || acquisition_->judged())) {
        // The text of the first second waits for the spectrum's first word:
        // heard mistuned, it is dropped and decoded again, retuned.
        holding_ = false;
        if (estimated && jump > kRewindShare * parameters_.baud) {
            heldText_.clear();
            baudot_ = baudotAtHold_;
            shiftRecovery_ = shiftRecoveryAtHold_;
            lastPrintSample_ = lastPrintAtHold_;
        } else {
            textOut += heldText_;
            heldText_.clear();
        }
    }
    if (estimated) {
        if (jump > kRewindShare * parameters_.baud)
            rewind(offsetHz, textOut);
        else if (jump > kRetuneShare * parameters_.baud)
            retune(offsetHz);
    }
    recentAudio_.insert(recentAudio_.end(), samples, samples + n);
    const auto keep = static_cast<size_t>(kRewindSeconds * sampleRate_);
    if (recentAudio_.size() > 2 * keep)
        recentAudio_.erase(recentAudio_.begin(), recentAudio_.end() - long(keep));
    demodulate(samples, n, holding_ ? heldText_ : textOut);
}

void RttyDemodulator::rewind(double correctionHz, std::string& textOut)
{
    const auto printedUpTo = static_cast<int64_t>(lastPrintSample_ + framePeriodNominal_ + bitSamples_);
    const int64_t heldFrom = samplesIn_ - static_cast<int64_t>(recentAudio_.size());
    const int64_t from = std::max(heldFrom, printedUpTo);
    if (from >= samplesIn_) {
        retune(correctionHz);
        return;
    }
    const std::vector<float> audio(recentAudio_.begin() + long(from - heldFrom), recentAudio_.end());
    samplesIn_ = from;
    resetFraming(std::clamp(correctionHz, -kMaxTuningHz, kMaxTuningHz));
    for (size_t done = 0; done < audio.size(); done += kPieceSamples)
        demodulate(audio.data() + done, std::min(kPieceSamples, audio.size() - done), textOut);
}

// The window of the tone that is on turns by 2π·error·(T/2) between a
// quarter bit before and a quarter bit after the slot centre. Summing the
// turns (weighted by power) over a second or so of slots and retuning by
// half the error tracks slow drift without chasing noise.
void RttyDemodulator::measureTuning(double start, uint8_t code)
{
    const double t = bitSamples_;
    auto window = [&](bool mark, double centre) -> std::complex<double> {
        const auto index = static_cast<int64_t>(std::lround(bufferPosition(centre)));
        if (index < 0 || index >= static_cast<int64_t>(markWindow_.size()))
            return {};
        return std::complex<double>(mark ? markWindow_[size_t(index)] : spaceWindow_[size_t(index)]);
    };
    for (int slot = 0; slot <= 6; ++slot) {
        const bool mark = slot == 6 || (slot > 0 && ((code >> (slot - 1)) & 1));
        const double centre = start + (slot + 0.5) * t;
        tuningTurn_ += window(mark, centre + 0.25 * t) * std::conj(window(mark, centre - 0.25 * t));
        ++tuningSlots_;
    }
    const double slotsPerSecond = parameters_.baud;
    if (tuningSlots_ < slotsPerSecond)
        return;
    // The window sums come at whole-decimation positions; the turn is over their spacing.
    const double spacing = std::lround(0.5 * t / decimation_) * decimation_;
    const double errorHz = std::arg(tuningTurn_) * sampleRate_ / (2.0 * std::numbers::pi * spacing);
    tuningTurn_ = {};
    tuningSlots_ = 0;
    if (std::fabs(errorHz) > 0.5 * parameters_.baud)
        return;  // beyond what one measurement can tell apart from noise
    tuningCorrectionHz_ = std::clamp(tuningCorrectionHz_ + 0.5 * errorHz, -kMaxTuningHz, kMaxTuningHz);
    markFilter_->setTone(parameters_.markHz() + tuningCorrectionHz_);
    spaceFilter_->setTone(parameters_.spaceHz() + tuningCorrectionHz_);
}

void RttyDemodulator::retune(double correctionHz)
{
    tuningCorrectionHz_ = std::clamp(correctionHz, -kMaxTuningHz, kMaxTuningHz);
    tuningTurn_ = {};
    tuningSlots_ = 0;
    markFilter_->setTone(parameters_.markHz() + tuningCorrectionHz_);
    spaceFilter_->setTone(parameters_.spaceHz() + tuningCorrectionHz_);
}

}  // namespace rtty
