#pragma once

#include "rtty/dsp/CharacterFramer.h"
#include "rtty/dsp/ReceiverFrontEnd.h"
#include "rtty/dsp/RecentAudio.h"
#include "rtty/dsp/RttyParameters.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Streaming BAUDOT RTTY demodulator: one receiver's front end (tone
// filters, levels, tuning; ReceiverFrontEnd.h) read by the character framer
// (CharacterFramer.h). This class feeds them audio, lets the spectrum
// retune the front end from afar, and decodes again what was heard
// mistuned when a retune shows it was.

namespace rtty {

class RttyDemodulator {
public:
    RttyDemodulator(double sampleRate, const RttyParameters& parameters);
    ~RttyDemodulator();

    // Takes effect at once; framing starts over, the text state is kept.
    void setParameters(const RttyParameters& parameters);
    const RttyParameters& parameters() const { return parameters_; }
    double sampleRate() const { return sampleRate_; }

    // Appends decoded text: ASCII, CR and LF included.
    void process(const float* samples, size_t n, std::string& textOut);

    DecodeState state() const { return framer_.state(); }
    // Centre frequency as AFC has tracked it (the tones the filters are on).
    double measuredCentreHz() const { return frontEnd_->measuredCentreHz(); }
    // Sum of the two tones' per-bit SNR (linear), as the squelch sees it.
    double signalToNoise() const { return frontEnd_->slotSnr(); }
    // The audio taken in (the tail of a piece included).
    int64_t samplesProcessed() const { return samplesIn_ + static_cast<int64_t>(partPiece_.size()); }

    void setFrameObserver(std::function<void(const FrameEvent&)> observer) { framer_.setFrameObserver(std::move(observer)); }

private:
    void restart();
    void resetFraming(double correctionHz);
    void demodulate(const float* samples, size_t n, std::string& textOut);
    void rewind(double correctionHz, std::string& textOut);
    void processPiece(const float* samples, size_t n, std::string& textOut);

    double sampleRate_;
    RttyParameters parameters_;
    double bitSamples_ = 0.0;
    double framePeriodNominal_ = 0.0;
    std::unique_ptr<ReceiverFrontEnd> frontEnd_;
    CharacterFramer framer_;
    int64_t samplesIn_ = 0;
    static constexpr double kPieceSeconds = 0.025;
    std::vector<float> partPiece_;  // audio taken, short of a whole piece

    static constexpr double kRewindSeconds = 4.0;
    RecentAudio recentAudio_;  // the last seconds, to decode again after a big retune
    // Until the spectrum has judged the tuning once, text is held back, with
    // the text state as it was, in case all of it was heard mistuned.
    bool holding_ = false;
    std::string heldText_;
    CharacterFramer::TextState textAtHold_;
};

}  // namespace rtty
