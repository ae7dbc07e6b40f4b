#pragma once

#include "rtty/dsp/Baudot.h"
#include "rtty/dsp/FrequencyAcquisition.h"
#include "rtty/dsp/RttyParameters.h"
#include "rtty/dsp/ShiftRecovery.h"
#include "rtty/dsp/SlotLikelihood.h"
#include "rtty/dsp/ToneFilter.h"

#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Streaming BAUDOT RTTY demodulator.
//
// Each tone has a one-bit matched filter; their magnitudes give a soft
// decision (LLR) for a bit centred at any instant. Characters are framed by
// a maximum-likelihood search for the start instant over the whole frame
// (start, five data bits, stop, and the mark before the start), so the data
// transitions help the timing. Once characters follow one another, a
// flywheel predicts the next start and tracks the character period; a gap
// or a lost frame falls back to a wide search. A squelch on the measured
// tone SNR keeps noise from printing.

namespace rtty {

enum class DecodeState {
    NoSignal,      // no FSK signal above the noise
    Searching,     // a signal, no characters framed
    Synchronised,  // characters framed recently, none printing (idle, shifts)
    Traffic,       // printable characters decoded within the last two seconds
};
const char* decodeStateName(DecodeState state);

// One framed character, for diagnostics and line search.
struct FrameEvent {
    double startSample = 0.0;  // instant of the start bit's leading edge
    uint8_t code = 0;
    double score = 0.0;        // frame log-likelihood score
    double reliability = 0.0;  // least |LLR| of the data bits
    bool printed = false;      // passed the squelch
    double signalToNoise = 0.0;  // as signalToNoise() had it
};

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

    DecodeState state() const;
    // Centre frequency as AFC has tracked it (the tones the filters are on).
    double measuredCentreHz() const;
    // Sum of the two tones' per-bit SNR (linear), as the squelch sees it.
    double signalToNoise() const { return likelihood_.slotSnr(); }
    int64_t samplesProcessed() const { return samplesIn_; }

    void setFrameObserver(std::function<void(const FrameEvent&)> observer) { observer_ = std::move(observer); }

private:
    static constexpr int kGridPerBit = 32;  // start search resolution
    static constexpr double kMaxTuningHz = 100.0;  // AFC and acquisition range round the set centre

    void restart();
    void resetFraming(double correctionHz);
    void demodulate(const float* samples, size_t n, std::string& textOut);
    void rewind(double correctionHz, std::string& textOut);
    double lastScorable() const;  // the newest start a frame score can be computed for
    void processPiece(const float* samples, size_t n, std::string& textOut);
    double llrAt(double centre) const;
    // Position in the magnitude buffers of the window centred at `centre`.
    double bufferPosition(double centre) const;
    double frameScore(double start) const;
    bool frameShapeOk(double start) const;
    double nextFrameScore(double start) const;
    void gridScores(double first, int count, std::vector<double>& scores);
    double refinePeak(double start, double step, double peakScore) const;
    bool stepLocked();
    bool stepSearching();
    void acceptFrame(double start, double score, std::string& textOut, bool coasted = false);
    void trimBuffer();
    void updateSquelch();
    void measureTuning(double start, uint8_t code);
    void retune(double correctionHz);

    double sampleRate_;
    RttyParameters parameters_;
    double bitSamples_ = 0.0;
    double framePeriodNominal_ = 0.0;
    std::unique_ptr<ToneFilter> markFilter_, spaceFilter_;
    SlotLikelihood likelihood_;
    baudot::Decoder baudot_;

    // Tone magnitudes every decimation_ samples: output m (counted from the
    // last restart) is for sample restartSample_ + decimation_ - 1 + m * decimation_.
    std::vector<float> markMagnitude_, spaceMagnitude_;
    std::vector<float> markEnvelope_, spaceEnvelope_;  // see ToneEnvelope.h; shorter by the look-ahead
    int envelopeHalfWidth_ = 0;
    std::vector<std::complex<float>> markWindow_, spaceWindow_;
    int decimation_ = 1;
    int64_t restartSample_ = 0;
    int64_t bufferStart_ = 0;  // output index of element 0
    int64_t samplesIn_ = 0;
    std::vector<float> scratchMark_, scratchSpace_;
    std::vector<std::complex<float>> scratchMarkWindow_, scratchSpaceWindow_;
    std::vector<double> gridLlr_, scores_;

    bool locked_ = false;
    double predictedStart_ = 0.0;
    double framePeriod_ = 0.0;   // tracked
    double framedPeriod_ = 0.0;  // as found when framing started
    double searchFrom_ = 0.0;
    double lastStart_ = -1e300;
    int framesSinceLock_ = 0;
    int coasted_ = 0;           // frames in a row read on the flywheel alone
    bool lostInFade_ = false;   // the last lock ended in a fade, not at a gap
    double goodScore_ = 0.0;    // running mean score of frames that framed
    double goodSlot_ = 0.0;     // and of the |LLR| of their start and stop slots
    bool squelchClosedSinceFrame_ = false;
    bool squelchOpen_ = false;
    int64_t lastFrameSample_ = INT64_MIN / 2;
    int64_t lastPrintSample_ = INT64_MIN / 2;
    std::string* textOut_ = nullptr;
    ShiftRecovery shiftRecovery_;

    // AFC: phase turn of the on-tone's window across each decided slot.
    std::complex<double> tuningTurn_{};
    int tuningSlots_ = 0;
    double tuningCorrectionHz_ = 0.0;
    std::unique_ptr<FrequencyAcquisition> acquisition_;  // pulls in from afar, squelch or not
    std::vector<float> recentAudio_;  // the last seconds, to decode again after a big retune
    // Until the spectrum has judged the tuning once, text is held back, with
    // the text state as it was, in case all of it was heard mistuned.
    bool holding_ = false;
    std::string heldText_;
    baudot::Decoder baudotAtHold_;
    ShiftRecovery shiftRecoveryAtHold_;
    int64_t lastPrintAtHold_ = 0;

    std::function<void(const FrameEvent&)> observer_;
};

}  // namespace rtty
