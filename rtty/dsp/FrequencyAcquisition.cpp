#include "rtty/dsp/FrequencyAcquisition.h"
#include "rtty/dsp/HannSegments.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr double kAverageSegments = 12.0;  // half-overlapping: about 3 s
// Mean power in each tone's band against the median bin: a clear signal.
constexpr double kClearOfNoise = 1.6;
// How far from the weaker band's best the sum of both bands may place the offset.
constexpr double kRefineBauds = 0.35;
constexpr double kBandShare = 0.35;  // of the shift: each tone band's half-width at most
// The noise floor is looked for this share either side of the last one first.
constexpr double kMedianWindow = 0.05;
// On wide shifts, the offsets where the weaker band holds this share of its best.
constexpr double kPlateauShare = 0.9;
// On wide shifts the bands stand further clear: a keyed pair that decodes
// at all (-10 dB in 3 kHz and up) fills them to 2.7 times the floor and
// more, while a voice's syllables reach twice it in the first second,
// before the average has seen a few of them.
constexpr double kClearOfWideNoise = 2.5;
// On wide shifts, the power midway between the tones over the floor, as a
// share of the weaker band's: above it the space between them is not empty.
constexpr double kFilledValley = 0.5;

}  // namespace

FrequencyAcquisition::FrequencyAcquisition(double sampleRate, double markHz, double spaceHz, double baud, double rangeHz)
    : sampleRate_(sampleRate), markHz_(markHz), spaceHz_(spaceHz), baud_(baud), rangeHz_(rangeHz)
{
    length_ = HannSegments::lengthFor(sampleRate, kSegmentSeconds);
    binHz_ = sampleRate / double(length_);
    const double low = std::max(0.0, std::min(markHz, spaceHz) - rangeHz - 2.0 * baud);
    const double high = std::min(0.5 * sampleRate, std::max(markHz, spaceHz) + rangeHz + 2.0 * baud);
    firstBin_ = static_cast<size_t>(low / binHz_);
    lastBin_ = std::min(length_ / 2, static_cast<size_t>(std::ceil(high / binHz_)));
    power_.assign(lastBin_ + 1, 0.0);
    // Bands wider than about a third of the shift reach into the other
    // tone's skirt: on narrow shifts the estimate is then pulled towards
    // the tone that is on more of the time (mark, with the stop bits).
    halfBand_ = std::max(std::min(0.5 * baud_, kBandShare * std::fabs(markHz_ - spaceHz_)), 1.5 * binHz_);
    // The bins of each offset's two bands are the same for every estimate.
    steps_ = static_cast<int>(std::ceil(rangeHz_ / binHz_));
    for (int j = -steps_; j <= steps_; ++j) {
        const double offset = j * binHz_;
        markBands_.push_back(bandAt(markHz_ + offset));
        spaceBands_.push_back(bandAt(spaceHz_ + offset));
    }
    scores_.resize(markBands_.size());
    // Where one tone's lobe (a baud either side) reaches the other's band.
    narrowShift_ = std::fabs(markHz_ - spaceHz_) < 2.0 * baud_ + halfBand_;
    cumulative_.resize(lastBin_ - firstBin_ + 2);
}

FrequencyAcquisition::~FrequencyAcquisition() = default;

void FrequencyAcquisition::process(const float* samples, size_t n)
{
    // Half-overlapping segments.
    if (!ownSegments_)
        ownSegments_ = std::make_unique<HannSegments>(sampleRate_, kSegmentSeconds, 0.5);
    ownSegments_->append(samples, n);
    while (ownSegments_->transformNext())
        analyse(ownSegments_->transform());
}

void FrequencyAcquisition::analyse(const float* transform)
{
    segments_ += 1.0;
    const double alpha = 1.0 / std::min(segments_, kAverageSegments);
    for (size_t k = firstBin_; k <= lastBin_; ++k) {
        const double re = transform[2 * k], im = transform[2 * k + 1];
        power_[k] += alpha * (re * re + im * im - power_[k]);
    }
    if (judged())
        estimate();
}

// The median (the element nth_element puts in the middle). The averaged
// power changes little from one segment to the next, so the median is
// looked for first among the values near the last one, with a count of
// those below: most values are only counted, and the count does not branch
// on them, where a selection over all of them would on every comparison.
double FrequencyAcquisition::medianNear(const double* values, size_t n, double guess)
{
    const size_t middle = n / 2;
    if (guess > 0.0) {
        const double low = (1.0 - kMedianWindow) * guess, high = (1.0 + kMedianWindow) * guess;
        size_t below = 0;
        for (size_t i = 0; i < n; ++i)
            below += values[i] < low ? 1 : 0;
        scratch_.clear();
        if (below <= middle) {
            for (size_t i = 0; i < n; ++i)
                if (values[i] >= low && values[i] <= high)
                    scratch_.push_back(values[i]);
            if (middle - below < scratch_.size()) {
                const auto at = scratch_.begin() + long(middle - below);
                std::nth_element(scratch_.begin(), at, scratch_.end());
                return *at;
            }
        }
    }
    scratch_.assign(values, values + n);
    std::nth_element(scratch_.begin(), scratch_.begin() + long(middle), scratch_.end());
    return scratch_[middle];
}

FrequencyAcquisition::Band FrequencyAcquisition::bandAt(double centreHz) const
{
    const auto from = static_cast<size_t>(std::clamp((centreHz - halfBand_) / binHz_, double(firstBin_), double(lastBin_)));
    const auto to = static_cast<size_t>(std::clamp((centreHz + halfBand_) / binHz_, double(firstBin_), double(lastBin_)));
    // A band squeezed to one bin at the edge of the bins searched counts as empty.
    if (to <= from)
        return {};
    return {from - firstBin_, to + 1 - firstBin_, double(to + 1 - from)};
}

void FrequencyAcquisition::estimate()
{
    const double floor = medianNear(power_.data() + firstBin_, lastBin_ + 1 - firstBin_, floor_);
    floor_ = floor;
    if (!(floor > 0.0))
        return;
    // Cumulative sums make each band's power two look-ups
    // (over the bins searched only: cumulative_[k - firstBin_] sums those below k).
    cumulative_[0] = 0.0;
    for (size_t k = firstBin_; k <= lastBin_; ++k)
        cumulative_[k - firstBin_ + 1] = cumulative_[k - firstBin_] + power_[k];
    auto band = [&](const Band& b) {
        return b.end > b.begin ? (cumulative_[b.end] - cumulative_[b.begin]) / b.bins / floor : 0.0;
    };
    // The offset is first sought where the weaker band holds the most power:
    // a keyed pair fills both bands about alike, while a steady carrier or a
    // neighbour's tone just outside ours fills one band twice as well as a
    // keyed tone does, and would win a sum of the two bands with only our
    // keying's sidebands in the other. On narrow shifts the bands overlap and
    // the weaker one leans towards the stronger tone, so the place is then
    // taken where both bands together hold the most, within a third of a
    // baud of it.
    const int steps = steps_;
    int coarse = -steps;
    double weakest = -1.0;
    for (int j = -steps; j <= steps; ++j) {
        const auto at = size_t(j + steps);
        const double mark = band(markBands_[at]), space = band(spaceBands_[at]);
        scores_[at] = mark + space;
        if (std::min(mark, space) > weakest) {
            weakest = std::min(mark, space);
            coarse = j;
        }
    }
    const int near = std::max(1, int(std::ceil(kRefineBauds * baud_ / binHz_)));
    double refined = coarse;
    if (!narrowShift_) {
        // Each band's power is flat over the middle of its tone's lobe: the
        // middle of that plateau is where the tone is. A tone beside one of
        // ours lifts its band towards it, so the plateau of that band runs
        // to the edge of the offsets looked at; such a band is left out.
        const int from = std::max(-steps, coarse - 2 * near), to = std::min(steps, coarse + 2 * near);
        double sum = 0.0;
        int plateaus = 0;
        for (const std::vector<Band>* bands : {&markBands_, &spaceBands_}) {
            auto power = [&](int j) { return band((*bands)[size_t(j + steps)]); };
            int top = from;
            for (int j = from; j <= to; ++j)
                if (power(j) > power(top))
                    top = j;
            const double level = kPlateauShare * power(top);
            int low = top, high = top;
            while (low > from && power(low - 1) >= level)
                --low;
            while (high < to && power(high + 1) >= level)
                ++high;
            if (low > from && high < to) {
                sum += 0.5 * (low + high);
                ++plateaus;
            }
        }
        if (plateaus > 0)
            refined = sum / plateaus;
        // Both tones must stand clear where they are placed, not only where
        // the search began: a plateau's middle can lie a baud from there.
        // And the middle between them must be near the floor: a keyed pair
        // leaves it empty, while a voice fills it as well as the bands.
        // Without this a voice's formants were taken for tones now on one
        // side, now on the other, and every jump decoded its audio again.
        const int at = int(std::lround(refined)) + steps;
        const double markAt = band(markBands_[size_t(at)]), spaceAt = band(spaceBands_[size_t(at)]);
        const double weaker = std::min(markAt, spaceAt);
        if (weaker < kClearOfWideNoise)
            return;
        const double middle = band(bandAt(0.5 * (markHz_ + spaceHz_) + refined * binHz_));
        if (middle - 1.0 > kFilledValley * (weaker - 1.0))
            return;
    } else {
        int best = coarse;
        for (int j = std::max(-steps, coarse - near); j <= std::min(steps, coarse + near); ++j)
            if (scores_[size_t(j + steps)] > scores_[size_t(best + steps)])
                best = j;
        if (std::min(band(markBands_[size_t(best + steps)]), band(spaceBands_[size_t(best + steps)])) < kClearOfNoise)
            return;
        refined = best;
        const double peak = scores_[size_t(best + steps)];
        if (best > -steps && best < steps) {
            const double before = scores_[size_t(best + steps - 1)], after = scores_[size_t(best + steps + 1)];
            const double curvature = before - 2.0 * peak + after;
            if (curvature < 0.0)
                refined += std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5);
        }
    }
    offsetHz_ = std::clamp(refined * binHz_, -rangeHz_, rangeHz_);
    fresh_ = true;
}

bool FrequencyAcquisition::takeEstimate(double& offsetHz)
{
    if (!fresh_)
        return false;
    fresh_ = false;
    offsetHz = offsetHz_;
    return true;
}

}  // namespace rtty
