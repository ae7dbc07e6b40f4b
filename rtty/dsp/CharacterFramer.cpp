#include "rtty/dsp/CharacterFramer.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr double kFlywheelGain = 0.15;  // share of a frame's timing error taken at once
constexpr double kPeriodGain = 0.02;
constexpr double kPeriodClamp = 0.02;   // tracked period within ±2 % of the framed one
constexpr double kSquelchOpen = 8.0;    // slot SNR sum, linear
constexpr double kSquelchClose = 5.0;
constexpr double kAcquireScore = 1.5;   // frame score, in units of the typical slot LLR
constexpr double kTrafficSeconds = 2.0;
// A start or stop slot against the frame by this share of a good frame's
// |LLR| there ends the lock; weaker ones are a fade, which the flywheel
// rides through for up to kMaxCoast frames in a row (more let a crash
// hand the flywheel a wrong clock).
constexpr double kConfidentSlot = 0.25;
constexpr double kWeakFrame = 0.35;  // share of a good frame's score
constexpr double kStrongFrame = 0.5;
constexpr int kMaxCoast = 2;
constexpr int kSteadyClockFrames = 8;
// A locked character's start is looked for on every fourth step of its
// grid, and then round the best, where the slot SNR is at least this
// (about 0 dB in 3 kHz at 50 Bd): under two fifths of the grid's LLRs.
// Nearer the noise a start between the steps looked at is the best now and
// then: at the white-noise 1 % point the coarse search moved a lock here
// and there, for better or worse, a dozen characters on one file of eight.
constexpr double kCoarseGridSnr = 100.0;
constexpr int kCoarseGridStride = 4;
constexpr double kBreakSeconds = 3.0;           // a gap this long is a new transmission
constexpr double kFlywheelMemorySeconds = 3.0;  // the old clock is preferred this long after a lost lock
constexpr double kFlywheelPhaseBits = 0.15;
constexpr double kFlywheelBonus = 0.5;          // share of the best score

}  // namespace

const char* decodeStateName(DecodeState state)
{
    switch (state) {
    case DecodeState::NoSignal: return "no signal";
    case DecodeState::Searching: return "searching";
    case DecodeState::Synchronised: return "synchronised";
    case DecodeState::Traffic: return "traffic";
    }
    return "?";
}

CharacterFramer::CharacterFramer(double sampleRate, const RttyParameters& parameters)
    : sampleRate_(sampleRate), baudot_(parameters.unshiftOnSpace)
{
    setParameters(parameters);
}

void CharacterFramer::setParameters(const RttyParameters& parameters)
{
    parameters_ = parameters;
    baudot_.setUnshiftOnSpace(parameters.unshiftOnSpace);
    bitSamples_ = sampleRate_ / parameters_.baud;
    framePeriodNominal_ = (6.0 + parameters_.stopBits) * bitSamples_;
}

void CharacterFramer::restart(SoftBitSource& source)
{
    source_ = &source;
    pending_.clear();
    confirmed_ = false;
    framePeriod_ = framePeriodNominal_;
    locked_ = false;
    lostInFade_ = false;
    framesSinceLock_ = 0;
    coasted_ = 0;
    goodScore_ = 0.0;
    goodSlot_ = 0.0;
    squelchOpen_ = false;
    // The first start needs a bit of history before it, and the filters a bit to fill.
    searchFrom_ = static_cast<double>(source.samplesIn()) + 2.0 * bitSamples_;
}

void CharacterFramer::restoreTextState(const TextState& state)
{
    baudot_ = state.baudot;
    shiftRecovery_ = state.shiftRecovery;
    lastPrintSample_ = state.lastPrintSample;
}

DecodeState CharacterFramer::state() const
{
    if (!squelchOpen_ || !source_)
        return DecodeState::NoSignal;
    const int64_t now = source_->samplesIn();
    const auto recent = static_cast<int64_t>(kTrafficSeconds * sampleRate_);
    if (now - lastPrintSample_ <= recent)
        return DecodeState::Traffic;
    if (locked_ || now - lastFrameSample_ <= recent)
        return DecodeState::Synchronised;
    return DecodeState::Searching;
}

void CharacterFramer::updateSquelch()
{
    const double snr = source_->slotSnr();
    if (squelchOpen_ && snr < kSquelchClose) {
        squelchOpen_ = false;
        squelchClosedSinceFrame_ = true;
    } else if (!squelchOpen_ && snr >= kSquelchOpen)
        squelchOpen_ = true;
}

void CharacterFramer::run(std::string& textOut)
{
    textOut_ = &textOut;
    while (locked_ ? stepLocked() : stepSearching()) {
    }
    textOut_ = nullptr;
}

void CharacterFramer::discardOld()
{
    source_->discardBefore((locked_ ? predictedStart_ : searchFrom_) - 2.0 * bitSamples_);
}

double CharacterFramer::lastScorable() const
{
    return source_->newestCentre() - 6.5 * bitSamples_;
}

bool CharacterFramer::stepLocked()
{
    const double halfWindow = 0.5 * bitSamples_;
    if (predictedStart_ + halfWindow > lastScorable())
        return false;

    const double step = bitSamples_ / kGridPerBit;
    // Near the noise the score has peaks of its own between the steps: the
    // whole grid is looked at there.
    const int stride = source_->slotSnr() >= kCoarseGridSnr ? kCoarseGridStride : 1;
    double bestScore = 0.0, before = 0.0, after = 0.0;
    const double gridFirst = predictedStart_ - (kGridPerBit / 2) * step;
    int peak = gridPeak(gridFirst, kGridPerBit + 1, stride, bestScore, before, after);
    // Inside a fade of both tones the slot SNR learnt before it says
    // nothing of the frame: the score's smooth rise is lost in what noise
    // is left, so a weak frame is looked for on the whole grid.
    if (stride > 1 && bestScore < kStrongFrame * goodScore_)
        peak = gridPeak(gridFirst, kGridPerBit + 1, 1, bestScore, before, after);
    const int best = peak - kGridPerBit / 2;
    const bool atEdge = std::abs(best) == kGridPerBit / 2;
    const double found = refinePeak(predictedStart_ + best * step, step, before, bestScore, after);
    const double error = found - predictedStart_;
    const double gain = std::max(kFlywheelGain, 1.0 / (1.0 + framesSinceLock_));
    const double start = predictedStart_ + gain * error;

    const double at = atEdge ? predictedStart_ : start;
    const double startLlr = source_->llrAt(at + 0.5 * bitSamples_), stopLlr = source_->llrAt(at + 6.5 * bitSamples_);
    const bool framed = !atEdge && startLlr < 0.0 && stopLlr > 0.0;
    // Only a confident contradiction ends the lock: mark where the start
    // should be (an idle gap) or space in the stop (a slip). Anything
    // weaker is a fade, and machine traffic keeps its clock through it.
    const double confident = kConfidentSlot * goodSlot_;
    const bool contradicted = startLlr >= confident || stopLlr <= -confident;
    // A strong peak at the window's edge is the clock moving (another stop
    // length, a gap), which the search below finds.
    const bool moved = atEdge && bestScore >= kWeakFrame * goodScore_;
    // A fade's edge pulls the peak to the window's edge as well: the frame
    // that straddles it scores higher the more of its slots it moves out
    // of the fade. There the predicted instant still frames (space in the
    // start, mark in the stop), which a clock that really moved does not.
    // Only a clock held for a while is kept so: a voice frames short runs,
    // and riding its edges on would print more of it.
    const bool fadeEdge = moved && startLlr < 0.0 && stopLlr > 0.0 && framesSinceLock_ >= kSteadyClockFrames;
    if (squelchOpen_ && !framed && !contradicted && (!moved || fadeEdge) && coasted_ < kMaxCoast) {
        ++coasted_;
        acceptFrame(predictedStart_, bestScore, true);
        predictedStart_ += framePeriod_;
        return true;
    }
    if (atEdge || !squelchOpen_ || !framed) {
        // A gap, a shorter stop, a lost frame or the end of the signal:
        // search afresh, from a bit early so that a start at the window's
        // edge is inside the search.
        locked_ = false;
        lostInFade_ = squelchOpen_ && !contradicted && !moved;
        searchFrom_ = predictedStart_ - bitSamples_;
        return true;
    }
    // After a fade the clock is trusted again only on a strong frame: a
    // weak one that frames by chance would let a wrong clock coast on.
    if (bestScore >= kStrongFrame * goodScore_)
        coasted_ = 0;
    goodSlot_ += (goodSlot_ == 0.0 ? 1.0 : 1.0 / 16.0) * (0.5 * (stopLlr - startLlr) - goodSlot_);
    // A faded frame's timing is noisy: it moves the flywheel less.
    const double strength = goodScore_ > 0.0 ? std::min(1.0, bestScore / goodScore_) : 1.0;
    const double timed = predictedStart_ + strength * gain * error;
    framePeriod_ += strength * kPeriodGain * error;
    framePeriod_ = std::clamp(framePeriod_, (1.0 - kPeriodClamp) * framedPeriod_, (1.0 + kPeriodClamp) * framedPeriod_);
    double dataLlrs[5];
    const double score = frameScore(timed, dataLlrs);
    acceptFrame(timed, score, false, dataLlrs);
    predictedStart_ = timed + framePeriod_;
    return true;
}

bool CharacterFramer::stepSearching()
{
    const double span = 1.5 * framePeriodNominal_;
    const double newest = lastScorable();
    // With one stop bit, room for the character after the last candidate as well.
    const bool checkNext = parameters_.stopBits < 1.25;
    const double lookahead = checkNext ? framePeriodNominal_ + 4 * bitSamples_ / kGridPerBit : 0.0;
    if (searchFrom_ + span + lookahead > newest)
        return false;
    if (!squelchOpen_) {
        searchFrom_ += framePeriodNominal_;
        return true;
    }

    const double step = bitSamples_ / kGridPerBit;
    const int count = static_cast<int>(span / step) + 1;
    std::vector<double>& scores = scores_;
    gridScores(searchFrom_, count, scores);
    const double bestScore = *std::max_element(scores.begin(), scores.end());
    // The earliest acceptable peak marks the first character; a better peak
    // within half a frame of the best so far is where it starts. On a line set
    // for one stop bit, continuous text lets a start a few bits off frame a
    // character as well as the right one, but rarely two in a row: there
    // the next character's score counts too.
    const double threshold = std::max(kAcquireScore * source_->slotSnr(), 0.5 * bestScore);
    int chosen = -1;
    double chosenScore = -1e300;
    const int sameCharacter = static_cast<int>(0.5 * framePeriodNominal_ / step);
    for (int j = 1; j + 1 < count; ++j) {
        if (chosen >= 0 && j > chosen + sameCharacter)
            break;
        const double score = scores[size_t(j)];
        if (score < threshold || score < scores[size_t(j - 1)] || score < scores[size_t(j + 1)])
            continue;
        const double start = searchFrom_ + j * step;
        if (!frameShapeOk(start))
            continue;
        double withNext = checkNext ? score + std::max(0.0, nextFrameScore(start)) : score;
        // Shortly after a lock was lost in a fade (not in a gap, which moves
        // the clock; under flutter even a confident slot may be a fade), the
        // old character clock is the likely one: machine traffic keeps it.
        if ((lostInFade_ || source_->fastFadingSeen()) && start - lastStart_ < kFlywheelMemorySeconds * sampleRate_
            && std::fabs(std::remainder(start - lastStart_, framePeriod_)) < kFlywheelPhaseBits * bitSamples_)
            withNext += kFlywheelBonus * bestScore;
        if (withNext > chosenScore) {
            chosenScore = withNext;
            chosen = j;
        }
    }
    if (chosen >= 0) {
        const double start = refinePeak(searchFrom_ + chosen * step, step, scores[size_t(chosen)]);
        // Within a transmission that printed (no real break since: a fade,
        // a burst, an idle gap), text goes on at once; after a break the
        // new lock must hold first.
        const bool sameTransmission = !squelchClosedSinceFrame_ && start - lastStart_ < kBreakSeconds * sampleRate_;
        confirmed_ = confirmed_ && sameTransmission;
        // Characters that follow one another fix the period: 1, 1.42, 1.5 or 2 stop bits.
        const double interval = (start - lastStart_) / bitSamples_;
        if (interval > 6.9 && interval < 8.1) {
            double period = interval;
            for (double candidate : {7.0, 7.42, 7.5, 8.0})
                if (std::fabs(interval - candidate) < 0.15)
                    period = candidate;
            framePeriod_ = period * bitSamples_;
        } else {
            framePeriod_ = framePeriodNominal_;
            if (squelchClosedSinceFrame_ || interval * bitSamples_ > kBreakSeconds * sampleRate_) {
                baudot_.reset();  // after a real break, text resumes in letters
                shiftRecovery_.reset();
            }
        }
        framedPeriod_ = framePeriod_;
        locked_ = true;
        lostInFade_ = false;
        framesSinceLock_ = 0;
        coasted_ = 0;
        acceptFrame(start, scores[size_t(chosen)]);
        predictedStart_ = start + framePeriod_;
        return true;
    }
    searchFrom_ += framePeriodNominal_;
    return true;
}

// The best score of a character right after one that starts at `start`.
double CharacterFramer::nextFrameScore(double start) const
{
    const double step = bitSamples_ / kGridPerBit;
    double best = -1e300;
    for (int j = -4; j <= 4; ++j) {
        const double next = start + framePeriodNominal_ + j * step;
        if (frameShapeOk(next))
            best = std::max(best, frameScore(next));
    }
    return best;
}

}  // namespace rtty
