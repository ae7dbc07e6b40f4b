#include "cardserver/demod/RttyDemodulator.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr int kGridPerBit = 32;       // start search resolution
constexpr double kFlywheelGain = 0.25;  // share of a frame's timing error taken at once
constexpr double kPeriodGain = 0.02;
constexpr double kPeriodClamp = 0.02;   // tracked period within ±2 % of the framed one
constexpr double kSquelchOpen = 8.0;    // slot SNR sum, linear
constexpr double kSquelchClose = 5.0;
constexpr double kAcquireScore = 1.5;   // frame score, in units of the typical slot LLR
constexpr double kTrafficSeconds = 2.0;

double logCosh(double x)
{
    const double a = std::fabs(x);
    return a + std::log1p(std::exp(-2.0 * a)) - 0.6931471805599453;
}

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
    if (!(sampleRate >= 8000.0 && sampleRate <= 192000.0))
        return "the sample rate must be between 8000 and 192000 Hz";
    if (!(p.baud >= 20.0 && p.baud <= 300.0))
        return "the speed must be between 20 and 300 baud";
    if (!(p.shiftHz >= 50.0 && p.shiftHz <= 1500.0))
        return "the shift must be between 50 and 1500 Hz";
    if (!(p.stopBits >= 1.0 && p.stopBits <= 2.0))
        return "the stop length must be between 1 and 2 bits";
    const double low = p.centreHz - p.shiftHz / 2;
    const double high = p.centreHz + p.shiftHz / 2;
    if (!(low >= 2.0 * p.baud))
        return "the lower tone is too close to 0 Hz for this speed";
    if (!(high <= 0.45 * sampleRate))
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
    framePeriod_ = framePeriodNominal_;
    markFilter_ = std::make_unique<ToneFilter>(sampleRate_, parameters_.markHz(), parameters_.baud);
    spaceFilter_ = std::make_unique<ToneFilter>(sampleRate_, parameters_.spaceHz(), parameters_.baud);
    likelihood_.reset();
    markMagnitude_.clear();
    spaceMagnitude_.clear();
    bufferStart_ = samplesIn_;
    locked_ = false;
    framesSinceLock_ = 0;
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

double RttyDemodulator::llrAt(double centre) const
{
    const double position = centre + markFilter_->delaySamples() - static_cast<double>(bufferStart_);
    const double whole = std::floor(position);
    auto index = static_cast<int64_t>(whole);
    const auto size = static_cast<int64_t>(markMagnitude_.size());
    if (index < 0 || index + 1 >= size)
        return 0.0;
    const auto fraction = static_cast<float>(position - whole);
    const auto i = static_cast<size_t>(index);
    const float mark = markMagnitude_[i] + fraction * (markMagnitude_[i + 1] - markMagnitude_[i]);
    const float space = spaceMagnitude_[i] + fraction * (spaceMagnitude_[i + 1] - spaceMagnitude_[i]);
    return likelihood_.llr(mark, space);
}

// Log-likelihood score of a character starting at `start`: the known slots
// (mark before, start space, stop mark) count with their LLR, the unknown
// data slots with how decided they are.
double RttyDemodulator::frameScore(double start) const
{
    const double t = bitSamples_;
    double score = 0.5 * llrAt(start - 0.5 * t) - 0.5 * llrAt(start + 0.5 * t) + 0.5 * llrAt(start + 6.5 * t);
    for (int bit = 1; bit <= 5; ++bit)
        score += logCosh(0.5 * llrAt(start + (bit + 0.5) * t));
    return score;
}

bool RttyDemodulator::frameShapeOk(double start) const
{
    const double t = bitSamples_;
    return llrAt(start - 0.5 * t) > 0.0 && llrAt(start + 0.5 * t) < 0.0 && llrAt(start + 6.5 * t) > 0.0;
}

double RttyDemodulator::refinePeak(double start, double step, double peakScore) const
{
    const double before = frameScore(start - step);
    const double after = frameScore(start + step);
    const double curvature = before - 2.0 * peakScore + after;
    if (curvature >= 0.0)
        return start;
    const double offset = 0.5 * (before - after) / curvature;
    return start + std::clamp(offset, -0.5, 0.5) * step;
}

void RttyDemodulator::process(const float* samples, size_t n, std::string& textOut)
{
    if (n == 0)
        return;
    scratchMark_.resize(n);
    scratchSpace_.resize(n);
    markFilter_->process(samples, n, scratchMark_.data());
    spaceFilter_->process(samples, n, scratchSpace_.data());
    markMagnitude_.insert(markMagnitude_.end(), scratchMark_.begin(), scratchMark_.end());
    spaceMagnitude_.insert(spaceMagnitude_.end(), scratchSpace_.begin(), scratchSpace_.end());
    samplesIn_ += static_cast<int64_t>(n);

    // Until frames are found, the levels come from the raw magnitudes.
    if (!locked_) {
        const double timeConstant = 16.0 * bitSamples_;
        for (size_t i = 0; i < n; ++i)
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
    if (squelchOpen_ && snr < kSquelchClose)
        squelchOpen_ = false;
    else if (!squelchOpen_ && snr >= kSquelchOpen)
        squelchOpen_ = true;
}

// The newest instant a frame score can be computed for.
static double lastScorable(int64_t samplesIn, double bitSamples, double delay)
{
    return static_cast<double>(samplesIn) - 2.0 - delay - 6.5 * bitSamples;
}

bool RttyDemodulator::stepLocked()
{
    const double halfWindow = 0.5 * bitSamples_;
    if (predictedStart_ + halfWindow > lastScorable(samplesIn_, bitSamples_, markFilter_->delaySamples()))
        return false;

    const double step = bitSamples_ / kGridPerBit;
    int best = 0;
    double bestScore = -1e300;
    for (int j = -kGridPerBit / 2; j <= kGridPerBit / 2; ++j) {
        const double score = frameScore(predictedStart_ + j * step);
        if (score > bestScore) {
            bestScore = score;
            best = j;
        }
    }
    const bool atEdge = std::abs(best) == kGridPerBit / 2;
    const double found = refinePeak(predictedStart_ + best * step, step, bestScore);
    const double error = found - predictedStart_;
    const double gain = std::max(kFlywheelGain, 1.0 / (1.0 + framesSinceLock_));
    const double start = predictedStart_ + gain * error;

    if (atEdge || !squelchOpen_ || llrAt(start + 0.5 * bitSamples_) >= 0.0) {
        // A gap, a lost frame or the end of the signal: search afresh from here.
        locked_ = false;
        searchFrom_ = predictedStart_ - halfWindow;
        return true;
    }
    framePeriod_ += kPeriodGain * error;
    framePeriod_ = std::clamp(framePeriod_, (1.0 - kPeriodClamp) * framedPeriod_, (1.0 + kPeriodClamp) * framedPeriod_);
    acceptFrame(start, frameScore(start), *textOut_);
    predictedStart_ = start + framePeriod_;
    return true;
}

bool RttyDemodulator::stepSearching()
{
    const double span = 1.5 * framePeriodNominal_;
    const double newest = lastScorable(samplesIn_, bitSamples_, markFilter_->delaySamples());
    if (searchFrom_ + span > newest)
        return false;
    if (!squelchOpen_) {
        searchFrom_ += framePeriodNominal_;
        return true;
    }

    const double step = bitSamples_ / kGridPerBit;
    const int count = static_cast<int>(span / step) + 1;
    std::vector<double> scores(static_cast<size_t>(count));
    double bestScore = -1e300;
    for (int j = 0; j < count; ++j) {
        scores[size_t(j)] = frameScore(searchFrom_ + j * step);
        bestScore = std::max(bestScore, scores[size_t(j)]);
    }
    // The earliest acceptable peak marks the first character; the best peak
    // within half a frame of it is where that character starts.
    const double threshold = std::max(kAcquireScore * likelihood_.slotSnr(), 0.5 * bestScore);
    int chosen = -1;
    const int sameCharacter = static_cast<int>(0.5 * framePeriodNominal_ / step);
    for (int j = 1; j + 1 < count; ++j) {
        if (chosen >= 0 && j > chosen + sameCharacter)
            break;
        const double score = scores[size_t(j)];
        if (score < threshold || score < scores[size_t(j - 1)] || score < scores[size_t(j + 1)])
            continue;
        if (chosen >= 0 && score <= scores[size_t(chosen)])
            continue;
        if (frameShapeOk(searchFrom_ + j * step))
            chosen = j;
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
            if (interval > 2.0 * 8.1)
                baudot_.reset();  // after a real break, text resumes in letters
        }
        framedPeriod_ = framePeriod_;
        locked_ = true;
        framesSinceLock_ = 0;
        acceptFrame(start, scores[size_t(chosen)], *textOut_);
        predictedStart_ = start + framePeriod_;
        return true;
    }
    searchFrom_ += framePeriodNominal_;
    return true;
}

void RttyDemodulator::acceptFrame(double start, double score, std::string& textOut)
{
    const double t = bitSamples_;
    uint8_t code = 0;
    double reliability = 1e300;
    for (int bit = 1; bit <= 5; ++bit) {
        const double llr = llrAt(start + (bit + 0.5) * t);
        if (llr > 0.0)
            code |= static_cast<uint8_t>(1u << (bit - 1));
        reliability = std::min(reliability, std::fabs(llr));
    }

    // Decision-directed levels from the slots just decided.
    const double delay = markFilter_->delaySamples();
    auto learn = [&](double centre, bool mark) {
        const auto index = static_cast<int64_t>(std::lround(centre + delay)) - bufferStart_;
        if (index >= 0 && index < static_cast<int64_t>(markMagnitude_.size()))
            likelihood_.learnSlot(mark, markMagnitude_[size_t(index)], spaceMagnitude_[size_t(index)]);
    };
    learn(start + 0.5 * t, false);
    for (int bit = 1; bit <= 5; ++bit)
        learn(start + (bit + 0.5) * t, (code >> (bit - 1)) & 1);
    learn(start + 6.5 * t, true);
    updateSquelch();

    FrameEvent event{start, code, score, reliability, squelchOpen_};
    if (squelchOpen_) {
        const size_t before = textOut.size();
        baudot_.decode(code, textOut);
        if (textOut.size() > before)
            lastPrintSample_ = static_cast<int64_t>(start);
    }
    lastFrameSample_ = static_cast<int64_t>(start);
    lastStart_ = start;
    ++framesSinceLock_;
    if (observer_)
        observer_(event);
}

void RttyDemodulator::trimBuffer()
{
    const double keepFrom = (locked_ ? predictedStart_ : searchFrom_) - 2.0 * bitSamples_;
    const int64_t drop = static_cast<int64_t>(keepFrom) - bufferStart_;
    if (drop < (int64_t(1) << 15))
        return;
    markMagnitude_.erase(markMagnitude_.begin(), markMagnitude_.begin() + drop);
    spaceMagnitude_.erase(spaceMagnitude_.begin(), spaceMagnitude_.begin() + drop);
    bufferStart_ += drop;
}

}  // namespace rtty
