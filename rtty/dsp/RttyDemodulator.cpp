#include "rtty/dsp/RttyDemodulator.h"

#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

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
constexpr double kBreakSeconds = 3.0;           // a gap this long is a new transmission
constexpr double kFlywheelMemorySeconds = 3.0;  // the old clock is preferred this long after a lost lock
constexpr double kFlywheelPhaseBits = 0.15;
constexpr double kFlywheelBonus = 0.5;          // share of the best score
// Tone levels from a window round each slot just over a character long,
// so that it holds a start (space) and a stop (mark) whatever the text:
// each tone shows its present level there (ToneEnvelope.h).
constexpr double kEnvelopeBits = 3.75;

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
    : sampleRate_(sampleRate), parameters_(parameters), baudot_(parameters.unshiftOnSpace)
{
    restart();
}

RttyDemodulator::~RttyDemodulator() = default;

void RttyDemodulator::setParameters(const RttyParameters& parameters)
{
    parameters_ = parameters;
    baudot_.setUnshiftOnSpace(parameters.unshiftOnSpace);
    restart();
}

void RttyDemodulator::restart()
{
    bitSamples_ = sampleRate_ / parameters_.baud;
    framePeriodNominal_ = (6.0 + parameters_.stopBits) * bitSamples_;
    // Magnitudes every 1/32 bit or closer: windows are boxcars, so their
    // magnitudes are nearly linear between outputs and interpolate well.
    decimation_ = std::max(1, static_cast<int>(bitSamples_ / kGridPerBit));
    envelopeHalfWidth_ = static_cast<int>(std::lround(kEnvelopeBits * bitSamples_ / decimation_));
    acquisition_ = std::make_unique<FrequencyAcquisition>(sampleRate_, parameters_.markHz(), parameters_.spaceHz(),
                                                          parameters_.baud, kMaxTuningHz);
    recentAudio_.clear();
    holding_ = true;
    heldText_.clear();
    baudotAtHold_ = baudot_;
    shiftRecoveryAtHold_ = shiftRecovery_;
    lastPrintAtHold_ = lastPrintSample_;
    resetFraming(0.0);
}

void RttyDemodulator::resetFraming(double correctionHz)
{
    framePeriod_ = framePeriodNominal_;
    tuningCorrectionHz_ = correctionHz;
    markFilter_ = std::make_unique<ToneFilter>(sampleRate_, parameters_.markHz() + correctionHz, parameters_.baud, decimation_);
    spaceFilter_ = std::make_unique<ToneFilter>(sampleRate_, parameters_.spaceHz() + correctionHz, parameters_.baud, decimation_);
    likelihood_.reset();
    markMagnitude_.clear();
    spaceMagnitude_.clear();
    markEnvelope_.clear();
    spaceEnvelope_.clear();
    markWindow_.clear();
    spaceWindow_.clear();
    tuningTurn_ = {};
    tuningSlots_ = 0;
    restartSample_ = samplesIn_;
    bufferStart_ = 0;
    locked_ = false;
    lostInFade_ = false;
    framesSinceLock_ = 0;
    coasted_ = 0;
    goodScore_ = 0.0;
    goodSlot_ = 0.0;
    squelchOpen_ = false;
    // The first start needs a bit of history before it, and the filters a bit to fill.
    searchFrom_ = static_cast<double>(samplesIn_) + 2.0 * bitSamples_;
}

double RttyDemodulator::measuredCentreHz() const
{
    return 0.5 * (markFilter_->toneHz() + spaceFilter_->toneHz());
}

DecodeState RttyDemodulator::state() const
{
    if (!squelchOpen_)
        return DecodeState::NoSignal;
    const auto recent = static_cast<int64_t>(kTrafficSeconds * sampleRate_);
    if (samplesIn_ - lastPrintSample_ <= recent)
        return DecodeState::Traffic;
    if (locked_ || samplesIn_ - lastFrameSample_ <= recent)
        return DecodeState::Synchronised;
    return DecodeState::Searching;
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
    const size_t most = n / size_t(decimation_) + 1;
    scratchMark_.resize(most);
    scratchSpace_.resize(most);
    scratchMarkWindow_.resize(most);
    scratchSpaceWindow_.resize(most);
    const size_t outputs = markFilter_->process(samples, n, scratchMark_.data(), scratchMarkWindow_.data());
    spaceFilter_->process(samples, n, scratchSpace_.data(), scratchSpaceWindow_.data());
    markMagnitude_.insert(markMagnitude_.end(), scratchMark_.begin(), scratchMark_.begin() + long(outputs));
    spaceMagnitude_.insert(spaceMagnitude_.end(), scratchSpace_.begin(), scratchSpace_.begin() + long(outputs));
    markWindow_.insert(markWindow_.end(), scratchMarkWindow_.begin(), scratchMarkWindow_.begin() + long(outputs));
    spaceWindow_.insert(spaceWindow_.end(), scratchSpaceWindow_.begin(), scratchSpaceWindow_.begin() + long(outputs));
    extendToneEnvelope(markMagnitude_, markEnvelope_, envelopeHalfWidth_);
    extendToneEnvelope(spaceMagnitude_, spaceEnvelope_, envelopeHalfWidth_);
    samplesIn_ += static_cast<int64_t>(n);

    // Until frames are found, the levels come from the raw magnitudes.
    if (!locked_) {
        const double timeConstant = 16.0 * bitSamples_ / decimation_;
        for (size_t i = 0; i < outputs; ++i)
            likelihood_.learnSample(scratchMark_[i], scratchSpace_[i], timeConstant);
    }
    updateSquelch();

    textOut_ = &textOut;
    while (locked_ ? stepLocked() : stepSearching()) {
    }
    textOut_ = nullptr;
    trimBuffer();
}

void RttyDemodulator::updateSquelch()
{
    const double snr = likelihood_.slotSnr();
    if (squelchOpen_ && snr < kSquelchClose) {
        squelchOpen_ = false;
        squelchClosedSinceFrame_ = true;
    } else if (!squelchOpen_ && snr >= kSquelchOpen)
        squelchOpen_ = true;
}

// The newest instant a frame score can be computed for.
double RttyDemodulator::lastScorable() const
{
    return static_cast<double>(samplesIn_) - (2.0 + envelopeHalfWidth_) * decimation_ - markFilter_->delaySamples()
           - 6.5 * bitSamples_;
}

bool RttyDemodulator::stepLocked()
{
    const double halfWindow = 0.5 * bitSamples_;
    if (predictedStart_ + halfWindow > lastScorable())
        return false;

    const double step = bitSamples_ / kGridPerBit;
    gridScores(predictedStart_ - (kGridPerBit / 2) * step, kGridPerBit + 1, scores_);
    const auto peak = std::max_element(scores_.begin(), scores_.end());
    const int best = static_cast<int>(peak - scores_.begin()) - kGridPerBit / 2;
    const double bestScore = *peak;
    const bool atEdge = std::abs(best) == kGridPerBit / 2;
    const double found = refinePeak(predictedStart_ + best * step, step, bestScore);
    const double error = found - predictedStart_;
    const double gain = std::max(kFlywheelGain, 1.0 / (1.0 + framesSinceLock_));
    const double start = predictedStart_ + gain * error;

    const double at = atEdge ? predictedStart_ : start;
    const double startLlr = llrAt(at + 0.5 * bitSamples_), stopLlr = llrAt(at + 6.5 * bitSamples_);
    const bool framed = !atEdge && startLlr < 0.0 && stopLlr > 0.0;
    // Only a confident contradiction ends the lock: mark where the start
    // should be (an idle gap) or space in the stop (a slip). Anything
    // weaker is a fade, and machine traffic keeps its clock through it.
    const double confident = kConfidentSlot * goodSlot_;
    const bool contradicted = startLlr >= confident || stopLlr <= -confident;
    // A strong peak at the window's edge is the clock moving (another stop
    // length, a gap), which the search below finds.
    const bool moved = atEdge && bestScore >= kWeakFrame * goodScore_;
    if (squelchOpen_ && !framed && !contradicted && !moved && coasted_ < kMaxCoast) {
        ++coasted_;
        acceptFrame(predictedStart_, bestScore, *textOut_, true);
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
    acceptFrame(timed, frameScore(timed), *textOut_);
    predictedStart_ = timed + framePeriod_;
    return true;
}

bool RttyDemodulator::stepSearching()
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
    const double threshold = std::max(kAcquireScore * likelihood_.slotSnr(), 0.5 * bestScore);
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
        if ((lostInFade_ || likelihood_.fastFadingSeen()) && start - lastStart_ < kFlywheelMemorySeconds * sampleRate_
            && std::fabs(std::remainder(start - lastStart_, framePeriod_)) < kFlywheelPhaseBits * bitSamples_)
            withNext += kFlywheelBonus * bestScore;
        if (withNext > chosenScore) {
            chosenScore = withNext;
            chosen = j;
        }
    }
    if (chosen >= 0) {
        const double start = refinePeak(searchFrom_ + chosen * step, step, scores[size_t(chosen)]);
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
        acceptFrame(start, scores[size_t(chosen)], *textOut_);
        predictedStart_ = start + framePeriod_;
        return true;
    }
    searchFrom_ += framePeriodNominal_;
    return true;
}

// The best score of a character right after one that starts at `start`.
double RttyDemodulator::nextFrameScore(double start) const
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




void RttyDemodulator::trimBuffer()
{
    const double keepFrom = (locked_ ? predictedStart_ : searchFrom_) - 2.0 * bitSamples_;
    const auto drop = static_cast<int64_t>(bufferPosition(keepFrom));
    if (drop < (int64_t(1) << 14))
        return;
    markMagnitude_.erase(markMagnitude_.begin(), markMagnitude_.begin() + drop);
    markEnvelope_.erase(markEnvelope_.begin(), markEnvelope_.begin() + drop);
    spaceEnvelope_.erase(spaceEnvelope_.begin(), spaceEnvelope_.begin() + drop);
    spaceMagnitude_.erase(spaceMagnitude_.begin(), spaceMagnitude_.begin() + drop);
    markWindow_.erase(markWindow_.begin(), markWindow_.begin() + drop);
    spaceWindow_.erase(spaceWindow_.begin(), spaceWindow_.begin() + drop);
    bufferStart_ += drop;
}

}  // namespace rtty
