#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>
#include <cmath>

// Tuning: the spectrum's coarse acquisition, retuning, and decoding again
// what was heard mistuned.

namespace rtty {

namespace {

// The spectrum retunes the filters when it disagrees with them by more
// than this share of the baud rate (closer, the matched-filter AFC is
// finer), and decodes the recent audio again when by more than the other.
constexpr double kRetuneShare = 0.15;
constexpr double kRewindShare = 0.4;
constexpr size_t kPieceSamples = 400;

}  // namespace

void RttyDemodulator::processPiece(const float* samples, size_t n, std::string& textOut)
{
    // Further off than the matched-filter AFC can see: the spectrum says
    // where. A jump beyond the AFC's reach means what came since the last
    // printed character was heard mistuned: it is decoded again, retuned.
    frontEnd_->observeSpectrum(samples, n);
    double offsetHz = 0.0;
    const bool estimated = frontEnd_->takeSpectrumEstimate(offsetHz);
    const double jump = std::fabs(offsetHz - frontEnd_->tuningCorrectionHz());
    if (holding_ && (estimated || frontEnd_->spectrumJudged())) {
        // The text of the first second waits for the spectrum's first word:
        // heard mistuned, it is dropped and decoded again, retuned.
        holding_ = false;
        if (estimated && jump > kRewindShare * parameters_.baud) {
            heldText_.clear();
            framer_.restoreTextState(textAtHold_);
        } else {
            textOut += heldText_;
            heldText_.clear();
        }
    }
    if (estimated) {
        if (jump > kRewindShare * parameters_.baud)
            rewind(offsetHz, textOut);
        else if (jump > kRetuneShare * parameters_.baud)
            frontEnd_->retune(offsetHz);
    }
    recentAudio_.append(samples, n);
    demodulate(samples, n, holding_ ? heldText_ : textOut);
}

void RttyDemodulator::rewind(double correctionHz, std::string& textOut)
{
    const auto printedUpTo = static_cast<int64_t>(framer_.lastPrintSample() + framePeriodNominal_ + bitSamples_);
    const int64_t heldFrom = samplesIn_ - static_cast<int64_t>(recentAudio_.size());
    const int64_t from = std::max(heldFrom, printedUpTo);
    if (from >= samplesIn_) {
        frontEnd_->retune(correctionHz);
        return;
    }
    const std::vector<float> audio = recentAudio_.newest(size_t(samplesIn_ - from));
    samplesIn_ = from;
    resetFraming(std::clamp(correctionHz, -ReceiverFrontEnd::kMaxTuningHz, ReceiverFrontEnd::kMaxTuningHz));
    for (size_t done = 0; done < audio.size(); done += kPieceSamples)
        demodulate(audio.data() + done, std::min(kPieceSamples, audio.size() - done), textOut);
}

}  // namespace rtty
