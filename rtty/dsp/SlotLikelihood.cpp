#include "rtty/dsp/SlotLikelihood.h"

#include "rtty/dsp/FastLog.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace rtty {

namespace {

constexpr double kSlotAlpha = 1.0 / 128.0;
constexpr double kFloor = 1e-20;
constexpr double kPairAlpha = 1.0 / 64.0;
constexpr double kFastFading = 0.05;
constexpr double kFloorAlpha = 1.0 / 16.0;
constexpr double kFloorRise = 5e-4;   // per slot: the floor doubles in some 1400 slots
constexpr double kFloorBias = 1.4;
constexpr double kRawCountAtFirstSlot = 16.0;    // the lowest of short means lies below the true mean
// An off-tone's squared magnitude is learnt as at most this many times its
// mean, or this share of the tones' power, whichever is more. Noise's
// squared magnitude is exponential: clipped at twice its mean it averages
// 1 - e^-2 of it, which the factor restores; what bursts leave in the
// filters after the blanker (their tails) lifts it less.
constexpr double kOffClip = 2.0;
constexpr double kOffUnbias = 1.1565176427496657;  // 1 / (1 - e^-2)
constexpr double kOffShareOfOn = 1e-3;
constexpr double kNotNoiseBeyondClip = 0.3;
// The off-tone's share of the on-tone's power that may count as leakage,
// against the filters' own response: a clean signal shows a little more
// than a one-bit boxcar's (slots a few hundredths of a bit off their
// centre, the window's whole samples), and at a deep sidelobe (850 Hz at
// 75 Bd) that excess alone, counted as noise, stands 35 dB below the tones:
// a fade of both tones deeper than that would be read as the tones gone.
constexpr double kLeakageAboveFilters = 1.5;
constexpr double kTrustedCount = 16.0;
// The noise that stays in a fade of both tones is taken as at most 60 dB
// below a tone's amplitude.
constexpr double kCleanestNoise = 1e-6;
// A slot with less of its window left than this is erased. Its tones say
// nothing, and the tie goes to mark: a bit with no evidence either way is
// mark more often where it matters most (four of FIGS's five bits, all of
// LTRS's, whose loss garbles the group after them; the stop bit), where
// falling to space turned a blanked FIGS into a letter.
constexpr double kLeastKept = 0.05;
constexpr double kErasedLlr = 1e-9;

// ln I0(x) for x >= 0, to a few parts in 10^4.
double logBesselI0Exact(double x)
{
    if (x < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return std::log(1.0 + t * (3.5156229 + t * (3.0899424 + t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
    }
    const double inverse = 3.75 / x;
    const double series = 0.39894228 + inverse * (0.01328592 + inverse * (0.00225319 + inverse * (-0.00157565 + inverse * (0.00916281 + inverse * (-0.02057706 + inverse * (0.02635537 + inverse * (-0.01647633 + inverse * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(series);
}

// The same from a table: it is evaluated a few hundred times per character.
class LogBesselTable {
public:
    static constexpr double kLimit = 64.0;
    static constexpr int kPerUnit = 32;
    LogBesselTable()
    {
        for (int i = 0; i <= kSize; ++i)
            values_[size_t(i)] = logBesselI0Exact(double(i) / kPerUnit);
    }
    double operator()(double x) const
    {
        if (x >= kLimit)
            return x - 0.5 * log_(2.0 * std::numbers::pi * x) + 1.0 / (8.0 * x);
        const double position = x * kPerUnit;
        const auto index = static_cast<size_t>(position);
        const double fraction = position - double(index);
        return values_[index] + fraction * (values_[index + 1] - values_[index]);
    }

private:
    static constexpr int kSize = static_cast<int>(kLimit) * kPerUnit;
    std::array<double, kSize + 1> values_{};
    FastLog log_;
};

const LogBesselTable logBesselI0;

}  // namespace

void SlotLikelihood::Level::learn(double value, double alpha)
{
    count += 1.0;
    mean += std::max(alpha, 1.0 / count) * (value - mean);
}

void SlotLikelihood::Floor::learn(double value)
{
    count += 1.0;
    recent += std::max(kFloorAlpha, 1.0 / count) * (value - recent);
    if (count < 1.0 / kFloorAlpha)
        lowest = recent;
    else
        lowest = std::min(lowest * (1.0 + kFloorRise), recent);
}

// An off-tone that passes the clip far more often than noise does holds
// something else (see learn()), which is learnt unclipped.
bool SlotLikelihood::Tone::offIsNoise() const
{
    return beyondClip <= kNotNoiseBeyondClip;
}

double SlotLikelihood::Tone::logLikelihood(double magnitude) const
{
    return logBesselI0(weight * magnitude) - bias;
}

double SlotLikelihood::Tone::logLikelihood(double magnitude, double level, double common) const
{
    const double local2 = level * level - noise2;
    if (local2 >= amplitude2 && common >= 1.0)
        return logLikelihood(magnitude);
    const double share2 = common * common;
    const double a2 = std::clamp(local2, 0.0, amplitude2) * share2;
    // Leakage of the on-tone falls with the pair's level, noise does not.
    const double s2 = share2 >= 1.0 ? sigma2 : floorSigma2 + share2 * (sigma2 - floorSigma2);
    return logBesselI0(std::sqrt(a2) / s2 * magnitude) - a2 / (2.0 * s2);
}

void SlotLikelihood::reset()
{
    const double leakage2 = leakage2_;
    *this = SlotLikelihood();
    leakage2_ = leakage2;
}

void SlotLikelihood::learn(bool mark, double markSquared, double spaceSquared, double alpha)
{
    // Once frames have set the levels, an off-tone far louder than its
    // noise is a slot misread (a frame slipped in a fade, a transition taken
    // from raw audio), not noise: at a strong signal's tiny noise level one
    // such slot at full weight would lower the SNR tenfold, and the frames
    // for seconds after would be read at it. Noise that really rises is
    // still followed: doubled within ten characters.
    // Noise passes the clip about one time in seven (e^-2), misread slots
    // add a few in a hundred. An off-tone that passes it far more often
    // holds something else, the skirt of a neighbour's keyed tone beside
    // ours: there the clip would lower the level below the mean it restores
    // on every slot, until that tone's bursts read as the tone on.
    auto offValue = [this, alpha](Tone& tone, double value) {
        if (slotsLearnt_ <= 0.0 || tone.off.count < kTrustedCount)
            return value;
        const double limit = std::max(kOffClip * tone.off.mean, kOffShareOfOn * (mark_.on.mean + space_.on.mean));
        if (!(limit > 0.0))
            return value;
        tone.beyondClip += alpha * ((value > limit ? 1.0 : 0.0) - tone.beyondClip);
        if (!tone.offIsNoise())
            return value;
        return kOffUnbias * std::min(value, limit);
    };
    if (mark) {
        mark_.on.learn(markSquared, alpha);
        space_.off.learn(offValue(space_, spaceSquared), alpha);
    } else {
        mark_.off.learn(offValue(mark_, markSquared), alpha);
        space_.on.learn(spaceSquared, alpha);
    }
    refresh();
}

void SlotLikelihood::learnQuiet(bool mark, double markSquared, double spaceSquared)
{
    Tone& off = mark ? space_ : mark_;
    const double offSquared = mark ? spaceSquared : markSquared, onSquared = mark ? markSquared : spaceSquared;
    off.quiet.learn(offSquared);
    if (onSquared > 0.0)
        off.leak.learn(offSquared / onSquared);
    // What is left beyond the leakage is clipped as the off level is (see
    // learn()): on a strong signal it is tiny, and one slot misread at a
    // fade's edge (the on-tone's full power in the off-tone's filter) would
    // otherwise hold it some 30 dB up for the next hundred slots, so that
    // the next fade of both tones is read against that much noise.
    double beyond = std::max(0.0, offSquared - leakageShare2(off) * onSquared);
    if (off.beyondLeakage.count >= kTrustedCount && off.offIsNoise())
        beyond = kOffUnbias * std::min(beyond, kOffClip * off.beyondLeakage.mean);
    off.beyondLeakage.learn(beyond, kSlotAlpha);
    refresh();
}

void SlotLikelihood::learnSample(float markMagnitude, float spaceMagnitude, double timeConstant)
{
    learn(markMagnitude > spaceMagnitude, double(markMagnitude) * markMagnitude,
          double(spaceMagnitude) * spaceMagnitude, 1.0 / timeConstant);
}

void SlotLikelihood::learnSlot(bool mark, float markMagnitude, float spaceMagnitude)
{
    if (slotsLearnt_++ == 0) {
        // Levels from raw samples count transitions as on or off: the
        // decided slots take over from them within a few characters.
        for (Level* level : {&mark_.on, &mark_.off, &space_.on, &space_.off})
            level->count = std::min(level->count, kRawCountAtFirstSlot);
    }
    const double on = mark ? markMagnitude : spaceMagnitude;
    if (lastOn_ == int(mark)) {
        const double alpha = std::max(kPairAlpha, 1.0 / (pairs_ += 1.0));
        pairDifference_ += alpha * ((on - lastOnMagnitude_) * (on - lastOnMagnitude_) - pairDifference_);
        pairPower_ += alpha * (0.5 * (on * on + lastOnMagnitude_ * lastOnMagnitude_) - pairPower_);
    }
    lastOn_ = int(mark);
    lastOnMagnitude_ = on;
    learn(mark, double(markMagnitude) * markMagnitude, double(spaceMagnitude) * spaceMagnitude, kSlotAlpha);
    learnQuiet(mark, double(markMagnitude) * markMagnitude, double(spaceMagnitude) * spaceMagnitude);
}

void SlotLikelihood::refresh()
{
    // Noise is white, so a tone whose off level is unknown shares the
    // other's; an amplitude not yet seen is taken as the other tone's.
    auto known = [](const Level& level) { return level.count >= 4.0; };
    const double sharedNoise = known(mark_.off) ? mark_.off.mean : space_.off.mean;
    const double markNoise = std::max(known(mark_.off) ? mark_.off.mean : sharedNoise, kFloor);
    const double spaceNoise = std::max(known(space_.off) ? space_.off.mean : sharedNoise, kFloor);
    double markAmplitude = std::max(mark_.on.mean - markNoise, 0.0);
    double spaceAmplitude = std::max(space_.on.mean - spaceNoise, 0.0);
    if (!known(mark_.on))
        markAmplitude = spaceAmplitude;
    if (!known(space_.on))
        spaceAmplitude = markAmplitude;

    // Clean signals are treated as 40 dB above the noise: beyond that the
    // leftovers of the other tone, not noise, set the floor.
    auto set = [](Tone& tone, double amplitude2, double offSquared) {
        const double sigma2 = std::max({0.5 * offSquared, 1e-4 * amplitude2, kFloor});
        tone.weight = std::sqrt(amplitude2) / sigma2;
        tone.bias = amplitude2 / (2.0 * sigma2);
        tone.amplitude2 = amplitude2;
        tone.sigma2 = sigma2;
        tone.noise2 = offSquared;
        const double quiet = tone.quiet.count >= 1.0 / kFloorAlpha ? kFloorBias * tone.quiet.lowest : offSquared;
        tone.floorSigma2 = std::clamp(0.5 * quiet, kFloor, sigma2);
    };
    set(mark_, markAmplitude, markNoise);
    set(space_, spaceAmplitude, spaceNoise);
    set(shared_, 0.5 * (markAmplitude + spaceAmplitude), 0.5 * (markNoise + spaceNoise));
    // On a strong signal the off-tone's filter holds mostly the on-tone's
    // leakage (the filters' response at the shift), which a fade of both
    // tones takes down with the pair: only what is left beyond it is
    // noise. The quietest off level does not show that, since the leakage
    // is in every slot, and a deep dip would be read against noise some
    // 30 dB above what it is (at 50 Bd and 425 Hz each tone sits on a
    // sidelobe peak of the other's filter, -28 dB). What the decided slots
    // leave beyond the leakage is the noise.
    auto noiseBeyondLeakage = [this](Tone& tone, double otherAmplitude2) {
        const double noise = tone.beyondLeakage.count >= 1.0 / kFloorAlpha
                                 ? 0.5 * tone.beyondLeakage.mean
                                 : tone.sigma2 - 0.5 * leakageShare2(tone) * otherAmplitude2;
        const double least = std::min(std::max(kFloor, kCleanestNoise * tone.amplitude2), tone.floorSigma2);
        tone.floorSigma2 = std::clamp(noise, least, tone.floorSigma2);
    };
    noiseBeyondLeakage(mark_, spaceAmplitude);
    noiseBeyondLeakage(space_, markAmplitude);

    // The fading measure moves only here and in learnSlot(), which ends here.
    // Until the fading is measured, the long-term levels: they never do badly.
    const bool measured = pairs_ >= 32.0;
    const double fading = fastFading();
    fastFadingSeen_ = measured && fading >= kFastFading;
    followsLocalLevels_ = measured && fading < kFastFading;
}

// The off-tone's share of the on-tone's power that is leakage: its quietest
// lately, no more than a little over the filters' own response. Noise
// lifts the quietest share as well; a share far above the filters' own
// (noise at a middling signal) is left to count as noise.
double SlotLikelihood::leakageShare2(const Tone& tone) const
{
    if (tone.leak.count < 1.0 / kFloorAlpha)
        return leakage2_;
    return std::min(tone.leak.lowest, kLeakageAboveFilters * leakage2_);
}

double SlotLikelihood::llr(float markMagnitude, float spaceMagnitude) const
{
    // Under flutter each tone's level is as noisy as its bits: the two
    // tones are compared on equal terms, as the ideal detector does.
    if (fastFadingSeen())
        return shared_.logLikelihood(markMagnitude) - shared_.logLikelihood(spaceMagnitude);
    return mark_.logLikelihood(markMagnitude) - space_.logLikelihood(spaceMagnitude);
}

double SlotLikelihood::llr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel) const
{
    if (!followsLocalLevels())
        return llr(markMagnitude, spaceMagnitude);
    return mark_.logLikelihood(markMagnitude, markLevel) - space_.logLikelihood(spaceMagnitude, spaceLevel);
}

double SlotLikelihood::llr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel, float common,
                          float pairGain, float kept, float burst) const
{
    if (kept >= 1.0f && burst <= 0.0f)
        return levelLlr<false>(markMagnitude, spaceMagnitude, markLevel, spaceLevel, common, pairGain, 1.0f, 0.0f);
    if (kept < kLeastKept)
        return kErasedLlr;
    return levelLlr<true>(markMagnitude, spaceMagnitude, markLevel, spaceLevel, common, pairGain, std::min(kept, 1.0f),
                          std::max(burst, 0.0f));
}

template <bool Part>
double SlotLikelihood::levelLlr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel, float common,
                                float pairGain, float kept, float burst) const
{
    // A window blanked in part: amplitude and noise power scale with its
    // share; what a burst left in it adds to the noise.
    auto partLogLikelihood = [kept, burst](double magnitude, double a2, double s2) {
        const double partA2 = a2 * kept * kept, partS2 = std::max(s2 * kept, kFloor) + burst;
        return logBesselI0(std::sqrt(partA2) / partS2 * magnitude) - partA2 / (2.0 * partS2);
    };
    if (fastFadingSeen()) {
        if (!Part)
            return llr(markMagnitude, spaceMagnitude);
        return partLogLikelihood(markMagnitude, shared_.amplitude2, shared_.sigma2)
               - partLogLikelihood(spaceMagnitude, shared_.amplitude2, shared_.sigma2);
    }
    // Each tone's gain against its long-term amplitude, from its local
    // level; both scaled by the pair's common share. The leakage of the
    // on-tone into the other's filter falls with the pair's level; the
    // noise floor stays.
    auto gain2 = [](const Tone& tone, double level) {
        if (tone.amplitude2 <= 0.0)
            return 1.0;
        return std::clamp(double(level) * level / tone.amplitude2, 0.0, 1.0);
    };
    const bool local = followsLocalLevels();
    const double markGain2 = local ? gain2(mark_, markLevel) : 1.0;
    const double spaceGain2 = local ? gain2(space_, spaceLevel) : 1.0;
    const double share = local ? common : pairGain;
    const double share2 = std::min(1.0, share * share);
    if (!Part && share2 >= 1.0 && markGain2 >= 1.0 && spaceGain2 >= 1.0)
        return mark_.logLikelihood(markMagnitude) - space_.logLikelihood(spaceMagnitude);
    const double pairGain2 = share2 * std::max(markGain2, spaceGain2);
    auto logLikelihood = [&](const Tone& tone, double magnitude, double gain2) {
        const double a2 = tone.amplitude2 * gain2 * share2;
        const double s2 = tone.floorSigma2 + pairGain2 * (tone.sigma2 - tone.floorSigma2);
        if (Part)
            return partLogLikelihood(magnitude, a2, s2);
        return logBesselI0(std::sqrt(a2) / s2 * magnitude) - a2 / (2.0 * s2);
    };
    return logLikelihood(mark_, markMagnitude, markGain2) - logLikelihood(space_, spaceMagnitude, spaceGain2);
}

double SlotLikelihood::fastFading() const
{
    if (pairs_ < 16.0 || pairPower_ <= 0.0)
        return 0.0;
    const double noise = 0.5 * (mark_.noise2 + space_.noise2);
    return pairDifference_ / pairPower_ - noise / pairPower_;
}

double SlotLikelihood::slotSnr() const
{
    return mark_.bias + space_.bias;
}

}  // namespace rtty
