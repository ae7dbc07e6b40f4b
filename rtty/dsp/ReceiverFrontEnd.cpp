#include "rtty/dsp/ReceiverFrontEnd.h"

#include "rtty/dsp/ToneEnvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace rtty {

namespace {

// Magnitudes every 1/32 bit or closer: windows are boxcars, so their
// magnitudes are nearly linear between outputs and interpolate well.
constexpr int kOutputsPerBit = 32;
// Tone levels from a window round each slot just over a character long,
// so that it holds a start (space) and a stop (mark) whatever the text:
// each tone shows its present level there (ToneEnvelope.h).
constexpr double kEnvelopeBits = 3.75;
// The levels are taken over whole steps of this many outputs (1/8 bit).
constexpr int kEnvelopeStep = 4;
// A magnitude at the window's edge counts at this share of its value, one
// at the slot itself (TaperedMaximum.h). Under fading a tone's deepest
// fades are the narrowest: within the window the tone may stand several
// times higher than at the slot, and read at that level, its absence at
// the slot looks like the tone off. A steady tone seen only at the edge
// is read at most 3 dB low. Near the noise the plain maximum is kept: there
// a level read low costs more than a fade's bottom read high, so the taper
// comes in between these two ratios of a tone's amplitude to its noise.
// Far above the noise (a fade's bottom still clear of it) it goes again:
// there a fade of both tones is read by the pair's common level, which a
// level already taken down with the fade would count twice.
constexpr float kEnvelopeEdgeWeight = 0.7f;
constexpr double kTaperFromAmplitudeToNoise = 7.0;
constexpr double kFullTaperAmplitudeToNoise = 10.0;
constexpr double kFullTaperUpToAmplitudeToNoise = 30.0;
constexpr double kNoTaperFromAmplitudeToNoise = 50.0;
// Time constants of the levels learnt from raw magnitudes, in bits.
constexpr double kRawBitsFirst = 16.0;
constexpr double kRawBitsAfterFrames = 150.0;
// The common level of the pair from within 0.4 bit: the windows there
// hold mostly the slot's own bit, and always one bit whole.
constexpr double kCommonBits = 0.4;
// A common level above some share is taken as no fade: noise alone keeps
// the short window's highest magnitude below the long one's, by about
// sigma / (A + 2 sigma). This many times that is allowed for.
constexpr double kCommonNoiseAllowance = 3.0;
constexpr double kLeastCommonDeadZone = 0.5;
// Slots with less of their window left by the blanker are not learnt from.
constexpr float kLearnKept = 0.9f;
// A window whose energy the tones leave unexplained by more than this many
// times what decided slots show holds a burst; below it is noise as usual
// (a voice's syllables reach twice it). It must also exceed a tenth of a
// tone's energy over the window: a slot centred a little off its bit on a
// clean signal leaves a share of the bit beside it, and a burst that
// small is spread too thin over the band to matter in the filters.
constexpr double kBurstResidual = 4.0;
constexpr double kBurstToneShare = 0.1;
// The residual level is learnt from this many decided slots, clipped at
// twice its mean once that is known.
constexpr double kResidualSlots = 128.0;
constexpr double kResidualTrusted = 16.0;

// A one-bit boxcar's response to a tone `shift` away, against its own tone's.
double toneLeakage(double shiftHz, double baud)
{
    const double x = std::numbers::pi * shiftHz / baud;
    return x > 0.0 ? std::fabs(std::sin(x) / x) : 1.0;
}

}  // namespace

ReceiverFrontEnd::ReceiverFrontEnd(double sampleRate, const RttyParameters& parameters)
    : sampleRate_(sampleRate), parameters_(parameters), blanker_(sampleRate)
{
    bitSamples_ = sampleRate_ / parameters_.baud;
    decimation_ = std::max(1, static_cast<int>(bitSamples_ / kOutputsPerBit));
    energyWindow_ = std::max(1, static_cast<int>(std::lround(bitSamples_)));
    envelopeHalfWidth_ = static_cast<int>(std::lround(kEnvelopeBits * bitSamples_ / decimation_));
    commonHalfWidth_ = static_cast<int>(std::lround(kCommonBits * bitSamples_ / decimation_));
    acquisition_ = std::make_unique<FrequencyAcquisition>(sampleRate_, parameters_.markHz(), parameters_.spaceHz(),
                                                          parameters_.baud, kMaxTuningHz);
    notch_ = std::make_unique<CarrierNotch>(sampleRate_, parameters_.shiftHz, parameters_.baud);
    static_assert(FrequencyAcquisition::segmentSeconds() == CarrierNotch::segmentSeconds());
    segments_ = std::make_unique<HannSegments>(sampleRate_, FrequencyAcquisition::segmentSeconds(), 0.5);
    restart(0, 0.0);
}

ReceiverFrontEnd::~ReceiverFrontEnd() = default;

void ReceiverFrontEnd::restart(int64_t atSample, double correctionHz)
{
    samplesIn_ = atSample;
    tuningCorrectionHz_ = correctionHz;
    filters_ = std::make_unique<TonePairFilter>(sampleRate_, parameters_.markHz() + correctionHz,
                                                parameters_.spaceHz() + correctionHz, parameters_.baud, decimation_);
    notch_->clearMemory();
    likelihood_.reset();
    likelihood_.setLeakage(toneLeakage(parameters_.shiftHz, parameters_.baud));
    markMagnitude_.clear();
    spaceMagnitude_.clear();
    markEnvelope_.clear();
    spaceEnvelope_.clear();
    kept_.clear();
    recentRuns_.clear();
    residual_.clear();
    energySums_.assign(1, 0.0);
    energyFirst_ = atSample;
    residualLevel_ = 0.0;
    residualsLearnt_ = 0.0;
    burstThreshold_ = std::numeric_limits<double>::infinity();
    markLevel_ = TaperedMaximum(envelopeHalfWidth_, kEnvelopeStep, kEnvelopeEdgeWeight);
    spaceLevel_ = TaperedMaximum(envelopeHalfWidth_, kEnvelopeStep, kEnvelopeEdgeWeight);
    pairLevels_.reset(commonHalfWidth_, bitSamples_ / decimation_);
    markWindow_.clear();
    spaceWindow_.clear();
    tuningTurn_ = {};
    tuningSlots_ = 0;
    framesLearnt_ = 0;
    restartSample_ = samplesIn_;
    bufferStart_ = 0;
}

double ReceiverFrontEnd::measuredCentreHz() const
{
    return 0.5 * (filters_->markHz() + filters_->spaceHz());
}

void ReceiverFrontEnd::process(const float* samples, std::size_t n, bool learnFromRaw)
{
    const std::size_t most = n / std::size_t(decimation_) + 1;
    scratchMark_.resize(most);
    scratchSpace_.resize(most);
    scratchMarkWindow_.resize(most);
    scratchSpaceWindow_.resize(most);
    blanked_.resize(n);
    newRuns_.clear();
    if (notch_->notchCount() > 0) {
        notched_.resize(n);
        notch_->filter(samples, notched_.data(), n);
        samples = notched_.data();
    }
    blanker_.process(samples, n, blanked_.data(), &newRuns_);
    {
        const std::size_t before = energySums_.size();
        energySums_.resize(before + n);
        double sum = energySums_[before - 1];
        for (std::size_t i = 0; i < n; ++i) {
            sum += double(blanked_[i]) * blanked_[i];
            energySums_[before + i] = sum;
        }
    }
    for (const ImpulseBlanker::Run& run : newRuns_) {
        const int64_t first = samplesIn_ + int64_t(run.first);
        if (!recentRuns_.empty() && recentRuns_.back().second == first)
            recentRuns_.back().second += int64_t(run.count);
        else
            recentRuns_.emplace_back(first, first + int64_t(run.count));
    }
    const std::size_t outputs = filters_->process(blanked_.data(), n, scratchMark_.data(), scratchSpace_.data(),
                                                  scratchMarkWindow_.data(), scratchSpaceWindow_.data());
    markMagnitude_.insert(markMagnitude_.end(), scratchMark_.begin(), scratchMark_.begin() + long(outputs));
    spaceMagnitude_.insert(spaceMagnitude_.end(), scratchSpace_.begin(), scratchSpace_.begin() + long(outputs));
    markWindow_.insert(markWindow_.end(), scratchMarkWindow_.begin(), scratchMarkWindow_.begin() + long(outputs));
    spaceWindow_.insert(spaceWindow_.end(), scratchSpaceWindow_.begin(), scratchSpaceWindow_.begin() + long(outputs));
    {
        const double amplitudeToNoise = std::sqrt(likelihood_.slotSnr());
        const double rising = (amplitudeToNoise - kTaperFromAmplitudeToNoise)
                              / (kFullTaperAmplitudeToNoise - kTaperFromAmplitudeToNoise);
        const double falling = (kNoTaperFromAmplitudeToNoise - amplitudeToNoise)
                               / (kNoTaperFromAmplitudeToNoise - kFullTaperUpToAmplitudeToNoise);
        const double taper = std::clamp(std::min(rising, falling), 0.0, 1.0);
        // In steps of a tenth, so that the weights are not worked out again for every block.
        const auto edge = static_cast<float>(1.0 - std::round(10.0 * taper) / 10.0 * (1.0 - kEnvelopeEdgeWeight));
        markLevel_.setEdgeWeight(edge);
        spaceLevel_.setEdgeWeight(edge);
    }
    markLevel_.push(scratchMark_.data(), outputs, markEnvelope_);
    spaceLevel_.push(scratchSpace_.data(), outputs, spaceEnvelope_);
    const ToneScales scales{float(likelihood_.markAmplitude()), float(likelihood_.spaceAmplitude()),
                            float(likelihood_.markNoise()), float(likelihood_.spaceNoise())};
    extendPairLevels(markMagnitude_, spaceMagnitude_, markEnvelope_, spaceEnvelope_, scales, pairLevels_);
    samplesIn_ += static_cast<int64_t>(n);

    // A / sigma of one tone is the square root of the two tones' slot SNR.
    const double amplitudeToNoise = std::sqrt(likelihood_.slotSnr());
    commonDeadZone_ = static_cast<float>(
        std::max(kLeastCommonDeadZone, 1.0 - kCommonNoiseAllowance / (amplitudeToNoise + 2.0)));
    extendKept(outputs);
    extendResidual(scratchMark_.data(), scratchSpace_.data(), outputs);
    if (learnFromRaw) {
        // Once frames have set the levels, a lost lock (a fade, a burst, a
        // gap) moves them only slowly: a dip of a few hundred milliseconds
        // must not lower them to its own level, which the frames after it
        // would then read against.
        const double bits = framesLearnt_ > 0 ? kRawBitsAfterFrames : kRawBitsFirst;
        const double timeConstant = bits * bitSamples_ / decimation_;
        const float* kept = kept_.data() + (kept_.size() - outputs);
        for (std::size_t i = 0; i < outputs; ++i)
            if (kept[i] >= kLearnKept)
                likelihood_.learnSample(scratchMark_[i], scratchSpace_[i], timeConstant);
    }
}

void ReceiverFrontEnd::extendKept(std::size_t outputs)
{
    // Output m's window ends at sample restartSample_ + decimation_ - 1 +
    // m * decimation_ and reaches back one bit.
    const int64_t firstOutput = bufferStart_ + int64_t(kept_.size());
    const int64_t firstEnd = restartSample_ + decimation_ - 1 + firstOutput * decimation_;
    const double length = bitSamples_;
    std::erase_if(recentRuns_, [&](const auto& run) { return double(run.second) <= double(firstEnd + 1) - length; });
    if (recentRuns_.empty()) {
        kept_.insert(kept_.end(), outputs, 1.0f);
        return;
    }
    for (std::size_t k = 0; k < outputs; ++k) {
        const double end = double(firstEnd + int64_t(k) * decimation_) + 1.0;
        const double begin = end - length;
        double blanked = 0.0;
        for (const auto& [first, last] : recentRuns_)
            blanked += std::max(0.0, std::min(end, double(last)) - std::max(begin, double(first)));
        kept_.push_back(static_cast<float>(std::max(0.0, 1.0 - blanked / length)));
    }
}

void ReceiverFrontEnd::extendResidual(const float* mark, const float* space, std::size_t outputs)
{
    const int64_t firstOutput = bufferStart_ + int64_t(residual_.size());
    const int64_t firstEnd = restartSample_ + decimation_ - 1 + firstOutput * decimation_;
    const double toneSamples = 0.5 * bitSamples_;
    const double* const sums = energySums_.data();
    const int64_t lastSum = int64_t(energySums_.size()) - 1;
    auto sumBefore = [&](int64_t sample) { return sums[std::clamp<int64_t>(sample - energyFirst_, 0, lastSum)]; };
    const std::size_t before = residual_.size();
    residual_.resize(before + outputs);
    float* const out = residual_.data() + before;
    for (std::size_t k = 0; k < outputs; ++k) {
        const int64_t end = firstEnd + int64_t(k) * decimation_ + 1;
        // Only the first windows after a restart reach before the sums kept.
        const int64_t at = end - energyFirst_;
        const double energy = at - energyWindow_ >= 0 && at <= lastSum ? sums[at] - sums[at - energyWindow_]
                                                                        : sumBefore(end) - sumBefore(end - energyWindow_);
        const double tones = toneSamples * (double(mark[k]) * mark[k] + double(space[k]) * space[k]);
        out[k] = static_cast<float>(std::max(0.0, energy - tones));
    }
    // Keep what the next outputs' windows reach back to, counted afresh.
    const int64_t nextEnd = firstEnd + int64_t(outputs) * decimation_ + 1;
    const int64_t keepFrom = std::max(energyFirst_, nextEnd - energyWindow_ - 1);
    const auto drop = static_cast<std::size_t>(std::min<int64_t>(keepFrom - energyFirst_, int64_t(energySums_.size()) - 1));
    if (drop > 0) {
        const double base = energySums_[drop];
        energySums_.erase(energySums_.begin(), energySums_.begin() + long(drop));
        for (double& sum : energySums_)
            sum -= base;
        energyFirst_ += int64_t(drop);
    }
}

float ReceiverFrontEnd::burstNoise(float residual) const
{
    // Under flutter the tones change within a bit, and what their magnitudes
    // leave of the window's energy is a share of the signal, not a burst.
    if (residual <= burstThreshold_ || likelihood_.fastFadingSeen())
        return 0.0f;
    // White noise of energy E in a one-bit window puts 4E/N² into a filter's
    // squared magnitude (which reads a tone's amplitude), half of it in
    // each real dimension.
    return static_cast<float>(2.0 * (residual - residualLevel_) / (bitSamples_ * bitSamples_));
}

double ReceiverFrontEnd::newestCentre() const
{
    return static_cast<double>(samplesIn_) - (2.0 + kEnvelopeStep + envelopeHalfWidth_ + commonHalfWidth_) * decimation_ - filters_->delaySamples();
}

double ReceiverFrontEnd::llrAt(double centre) const
{
    const double position = bufferPosition(centre);
    // Not negative here, so truncation is the floor (without SSE4.1's
    // rounding, std::floor is a long sequence of instructions).
    if (!(position >= 0.0))
        return 0.0;
    auto index = static_cast<int64_t>(position);
    const auto whole = static_cast<double>(index);
    const std::vector<float>& common = pairLevels_.common;
    const std::vector<float>& pairGain = pairLevels_.pairGain;
    const auto size = static_cast<int64_t>(common.size());
    if (index + 1 >= size)
        return 0.0;
    const auto fraction = static_cast<float>(position - whole);
    const auto i = static_cast<std::size_t>(index);
    const float mark = markMagnitude_[i] + fraction * (markMagnitude_[i + 1] - markMagnitude_[i]);
    const float space = spaceMagnitude_[i] + fraction * (spaceMagnitude_[i + 1] - spaceMagnitude_[i]);
    const float markLevel = markEnvelope_[i] + fraction * (markEnvelope_[i + 1] - markEnvelope_[i]);
    const float spaceLevel = spaceEnvelope_[i] + fraction * (spaceEnvelope_[i + 1] - spaceEnvelope_[i]);
    const float share = common[i] + fraction * (common[i + 1] - common[i]);
    const float gain = pairGain[i] + fraction * (pairGain[i + 1] - pairGain[i]);
    const float kept = kept_[i] + fraction * (kept_[i + 1] - kept_[i]);
    const float residual = residual_[i] + fraction * (residual_[i + 1] - residual_[i]);
    return likelihood_.llr(mark, space, markLevel, spaceLevel, std::min(1.0f, share / commonDeadZone_),
                           std::min(1.0f, gain / commonDeadZone_), kept, burstNoise(residual));
}

void ReceiverFrontEnd::llrs(double first, double step, std::size_t count, double* out) const
{
    for (std::size_t k = 0; k < count; ++k)
        out[k] = llrAt(first + double(k) * step);
}

void ReceiverFrontEnd::learnFrame(double start, double bitSamples, uint8_t code)
{
    auto learn = [&](double centre, bool mark) {
        const auto index = static_cast<int64_t>(std::lround(bufferPosition(centre)));
        // A slot blanked in part would teach a tone's level too low.
        if (index < 0 || index >= static_cast<int64_t>(markMagnitude_.size()) || kept_[std::size_t(index)] < kLearnKept)
            return;
        likelihood_.learnSlot(mark, markMagnitude_[std::size_t(index)], spaceMagnitude_[std::size_t(index)]);
        double residual = residual_[std::size_t(index)];
        residualsLearnt_ += 1.0;
        if (residualsLearnt_ > kResidualTrusted)
            residual = std::min(residual, 2.0 * residualLevel_);
        residualLevel_ += std::max(1.0 / kResidualSlots, 1.0 / residualsLearnt_) * (residual - residualLevel_);
    };
    learn(start + 0.5 * bitSamples, false);
    for (int bit = 1; bit <= 5; ++bit)
        learn(start + (bit + 0.5) * bitSamples, (code >> (bit - 1)) & 1);
    learn(start + 6.5 * bitSamples, true);
    ++framesLearnt_;
    if (residualsLearnt_ >= kResidualTrusted) {
        const double markAmplitude = likelihood_.markAmplitude(), spaceAmplitude = likelihood_.spaceAmplitude();
        const double toneEnergy = 0.25 * bitSamples_ * (markAmplitude * markAmplitude + spaceAmplitude * spaceAmplitude);
        // Where the tones hold less of a window than the noise does, no
        // burst is told from the rest: a voice, or a signal near the noise.
        burstThreshold_ = toneEnergy < residualLevel_ ? std::numeric_limits<double>::infinity()
                                                      : std::max(kBurstResidual * residualLevel_, kBurstToneShare * toneEnergy);
    }
}

// The window of the tone that is on turns by 2π·error·(T/2) between a
// quarter bit before and a quarter bit after the slot centre. Summing the
// turns (weighted by power) over a second or so of slots and retuning by
// half the error tracks slow drift without chasing noise.
void ReceiverFrontEnd::tuneOnFrame(double start, double bitSamples, uint8_t code)
{
    const double t = bitSamples;
    auto window = [&](bool mark, double centre) -> std::complex<double> {
        const auto index = static_cast<int64_t>(std::lround(bufferPosition(centre)));
        if (index < 0 || index >= static_cast<int64_t>(markWindow_.size()))
            return {};
        return std::complex<double>(mark ? markWindow_[std::size_t(index)] : spaceWindow_[std::size_t(index)]);
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
    filters_->setTones(parameters_.markHz() + tuningCorrectionHz_, parameters_.spaceHz() + tuningCorrectionHz_);
}

void ReceiverFrontEnd::retune(double correctionHz)
{
    tuningCorrectionHz_ = std::clamp(correctionHz, -kMaxTuningHz, kMaxTuningHz);
    tuningTurn_ = {};
    tuningSlots_ = 0;
    filters_->setTones(parameters_.markHz() + tuningCorrectionHz_, parameters_.spaceHz() + tuningCorrectionHz_);
}

void ReceiverFrontEnd::discardBefore(double instant)
{
    // Never more than the shortest buffer holds: the levels lag the magnitudes.
    const auto shortest = static_cast<int64_t>(std::min({markMagnitude_.size(), markEnvelope_.size(), spaceEnvelope_.size(),
                                                         pairLevels_.common.size(), pairLevels_.pairGain.size()}));
    const int64_t drop = std::min(static_cast<int64_t>(bufferPosition(instant)), shortest);
    if (drop < (int64_t(1) << 14))
        return;
    for (std::vector<float>* values : {&markMagnitude_, &spaceMagnitude_, &markEnvelope_, &spaceEnvelope_, &kept_, &residual_})
        values->erase(values->begin(), values->begin() + drop);
    pairLevels_.erase(std::size_t(drop));
    markWindow_.erase(markWindow_.begin(), markWindow_.begin() + drop);
    spaceWindow_.erase(spaceWindow_.begin(), spaceWindow_.begin() + drop);
    bufferStart_ += drop;
}

}  // namespace rtty

