#include "rtty/dsp/CharacterFramer.h"

#include <algorithm>
#include <cmath>

// A framed character: its bits decided, the levels learnt from them, the
// tuning measured, the text printed.

namespace rtty {

namespace {

// Characters framed one after another (idle gaps allowed) before a new
// transmission's text prints.
constexpr int kConfirmFrames = 8;
constexpr double kLongestGapBits = 6.0;
// Only a frame that fits as FSK does counts towards those: every slot of a
// real character is about as decided as the slot SNR says, which gives a
// score near four times it, and at the weakest signals still twice it in
// nearly every frame. A voice frames characters at about the same rhythm,
// but from a few slots that happen to fit (one to two times the slot SNR).
// A frame read on the character clock in a fade (coasted) counts for
// nothing without breaking the run: the text is held a little longer, not
// lost. A frame framed afresh below that share takes one off the run: real
// traffic at the white-noise 1 % point gave none in 2,000 frames, while a
// voice frames several between the few that fit, and reached the eight
// after two seconds of such frames (87 characters in a minute).
constexpr double kConfirmScoreShare = 2.0;
// Where a signal comes up, a frame often straddles the onset: its start bit
// from the noise before, the rest from the carrier's idle mark, a letter
// where nothing was sent. The transmission's real characters then follow
// one another on the character clock; that frame is followed only after
// the rest of the idle. At most this many such frames are dropped from a
// transmission's head.
constexpr int kMostOnsetFrames = 2;
constexpr double kHeldRunFadeSeconds = 2.0;
constexpr double kHeldRunPhaseBits = 0.2;

}  // namespace

void CharacterFramer::acceptFrame(double start, double score, bool coasted, const double* dataLlrs)
{
    const double t = bitSamples_;
    uint8_t code = 0;
    double reliability = 1e300;
    double llrs[5];
    for (int bit = 1; bit <= 5; ++bit) {
        const double llr = llrs[bit - 1] = dataLlrs ? dataLlrs[bit - 1] : source_->llrAt(start + (bit + 0.5) * t);
        if (llr > 0.0)
            code |= static_cast<uint8_t>(1u << (bit - 1));
        reliability = std::min(reliability, std::fabs(llr));
    }
    code = shiftRecovery_.correct(code, llrs, baudot_.inFigures());

    // Decision-directed levels from the slots just decided.
    source_->learnFrame(start, t, code);
    updateSquelch();
    if (squelchOpen_ && !coasted)
        source_->tuneOnFrame(start, t, code);

    // A coasted frame deep in a fade still prints its best guess: most of its
    // bits are usually right, a wrong letter costs no more than a lost one,
    // and a shift left out garbles the group after it as surely as a wrong
    // one (on moderate fading, skipping the frames whose weakest bit had
    // odds below 7 to 1 lost more than it saved, skipping only such shifts
    // too).
    const bool print = squelchOpen_;
    if (!coasted)
        goodScore_ += (goodScore_ == 0.0 ? 1.0 : 1.0 / 16.0) * (score - goodScore_);
    FrameEvent event;
    if (observer_)
        event = {start, code, score, reliability, print, source_->slotSnr(), source_->llrAt(start + 0.5 * t),
                 source_->llrAt(start + 6.5 * t)};
    if (!confirmed_) {
        // Traffic runs on, character after character; noise and voices frame
        // one here and there. What an isolated frame would print is dropped.
        if (start - lastStart_ > framePeriodNominal_ + kLongestGapBits * bitSamples_ && !resumesHeldRun(start)) {
            pending_.clear();
            framedInRow_ = 0;
        }
        if (!coasted && score >= kConfirmScoreShare * source_->slotSnr())
            ++framedInRow_;
        else if (!coasted)
            framedInRow_ = std::max(0, framedInRow_ - 1);
        if (!pending_.empty() && pending_.back().next == 0.0)
            pending_.back().next = start;
        if (print)
            pending_.push_back({code, start});
        if (framedInRow_ >= kConfirmFrames) {
            confirmed_ = true;
            size_t first = 0;
            while (first < pending_.size() && int(first) < kMostOnsetFrames && pending_[first].next != 0.0
                   && !onCharacterClock(pending_[first].next - pending_[first].start))
                ++first;
            for (size_t k = first; k < pending_.size(); ++k)
                printCode(pending_[k].code, pending_[k].start);
            pending_.clear();
        }
    } else if (print) {
        printCode(code, start);
    }
    lastFrameSample_ = static_cast<int64_t>(start);
    lastStart_ = start;
    lastPeriod_ = framePeriod_;
    squelchClosedSinceFrame_ = false;
    ++framesSinceLock_;
    if (observer_)
        observer_(event);
}

// A fade in a transmission's first characters loses the lock for a few
// frames; the run held so far goes on when the framing resumes on its
// character clock (machine traffic keeps it through a fade) within
// kHeldRunFadeSeconds. Noise and voices frame at random instants: the
// chance that one lands within kHeldRunPhaseBits of an old clock is about
// 2 x 0.2 / 7.5, and the run must then still reach kConfirmFrames.
bool CharacterFramer::resumesHeldRun(double start) const
{
    if (pending_.empty() || framedInRow_ == 0 || start - lastStart_ > kHeldRunFadeSeconds * sampleRate_)
        return false;
    const double phase = std::remainder(start - lastStart_, lastPeriod_);
    return std::fabs(phase) < kHeldRunPhaseBits * bitSamples_;
}

// One character period of any stop length (1 to 2 bits) after another.
bool CharacterFramer::onCharacterClock(double interval) const
{
    const double bits = interval / bitSamples_;
    return bits > 6.9 && bits < 8.1;
}

void CharacterFramer::printCode(uint8_t code, double start)
{
    std::string& textOut = *textOut_;
    const size_t before = textOut.size();
    const bool figuresBefore = baudot_.inFigures();
    baudot_.decode(code, textOut);
    shiftRecovery_.decoded(code, figuresBefore, textOut.size() > before ? textOut.back() : '\0');
    if (textOut.size() > before)
        lastPrintSample_ = static_cast<int64_t>(start);
}

}  // namespace rtty
