#pragma once

#include "rtty/dsp/Baudot.h"
#include "rtty/dsp/RttyParameters.h"
#include "rtty/dsp/ShiftRecovery.h"
#include "rtty/dsp/SoftBitSource.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Frames BAUDOT characters from soft bit decisions. A maximum-likelihood
// search for the start instant over the whole frame (start, five data bits,
// stop, and the mark before the start) lets the data transitions help the
// timing. Once characters follow one another, a flywheel predicts the next
// start and tracks the character period, riding through fades; a gap or a
// lost frame falls back to a wide search. A squelch on the source's slot SNR
// keeps noise from printing. The text state (case, shift recovery) is kept
// across restarts of the framing.

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
    double startLlr = 0.0, stopLlr = 0.0;  // of the start and stop slots
};

class CharacterFramer {
public:
    CharacterFramer(double sampleRate, const RttyParameters& parameters);

    // Takes effect at the next restart(); the text state is kept.
    void setParameters(const RttyParameters& parameters);
    // Framing starts over with the source's next audio.
    void restart(SoftBitSource& source);
    // Frames what the source newly holds, appending the text.
    void run(std::string& textOut);
    // Frames the source can no longer answer for are never asked about: it
    // may drop what lies before the framer's next look.
    void discardOld();

    bool locked() const { return locked_; }
    bool squelchOpen() const { return squelchOpen_; }
    // Follows the source's SNR (after it learnt from raw audio).
    void updateSquelch();
    DecodeState state() const;

    // The text decoder's state, saved and restored round text held back.
    struct TextState {
        baudot::Decoder baudot{true};
        ShiftRecovery shiftRecovery;
        int64_t lastPrintSample = 0;
    };
    TextState textState() const { return {baudot_, shiftRecovery_, lastPrintSample_}; }
    void restoreTextState(const TextState& state);
    // Start of the last character that printed something.
    int64_t lastPrintSample() const { return lastPrintSample_; }

    void setFrameObserver(std::function<void(const FrameEvent&)> observer) { observer_ = std::move(observer); }

private:
    static constexpr int kGridPerBit = 32;  // start search resolution

    double lastScorable() const;  // the newest start a frame score can be computed for
    // The five data slots' LLRs go to `dataLlrs` if given.
    double frameScore(double start, double* dataLlrs = nullptr) const;
    bool frameShapeOk(double start) const;
    double nextFrameScore(double start) const;
    static double gridScore(const double* llrs);
    void gridScores(double first, int count, std::vector<double>& scores);
    int gridPeak(double first, int count, int stride, double& bestScore, double& before, double& after);
    double refinePeak(double start, double step, double peakScore) const;
    static double refinePeak(double start, double step, double before, double peakScore, double after);
    bool stepLocked();
    bool stepSearching();
    // `dataLlrs`: the data slots' LLRs at `start` if already known.
    void acceptFrame(double start, double score, bool coasted = false, const double* dataLlrs = nullptr);
    void printCode(uint8_t code, double start);
    bool onCharacterClock(double interval) const;
    bool resumesHeldRun(double start) const;

    double sampleRate_;
    RttyParameters parameters_;
    double bitSamples_ = 0.0;
    double framePeriodNominal_ = 0.0;
    SoftBitSource* source_ = nullptr;
    baudot::Decoder baudot_;
    ShiftRecovery shiftRecovery_;
    std::vector<double> gridLlr_, scores_;
    std::vector<char> gridKnown_;

    bool locked_ = false;
    double predictedStart_ = 0.0;
    double framePeriod_ = 0.0;   // tracked
    double framedPeriod_ = 0.0;  // as found when framing started
    double searchFrom_ = 0.0;
    double lastStart_ = -1e300;
    double lastPeriod_ = 0.0;   // the tracked period when it framed
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
    // The first characters of a transmission print only once a few have
    // framed one after another: noise and voices frame a character or two
    // here and there, traffic runs on. Until a real break, text then goes
    // on at once.
    struct Pending {
        uint8_t code = 0;
        double start = 0.0;
        double next = 0.0;  // start of the next frame framed, once there is one
    };
    std::vector<Pending> pending_;
    bool confirmed_ = false;
    int framedInRow_ = 0;

    std::function<void(const FrameEvent&)> observer_;
};

}  // namespace rtty
