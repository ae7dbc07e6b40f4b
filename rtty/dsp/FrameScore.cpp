#include "rtty/dsp/CharacterFramer.h"

#include <algorithm>
#include <array>
#include <cmath>

// The frame scores: how well a character fits a start instant, from the
// soft decisions of its slots.

namespace rtty {

namespace {

// ln cosh x = |x| + ln(1 + e^-2|x|) - ln 2, the middle term from a table.
class LogCosh {
public:
    static constexpr double kLimit = 12.0;
    static constexpr int kPerUnit = 64;
    LogCosh()
    {
        for (size_t i = 0; i < table_.size(); ++i)
            table_[i] = std::log1p(std::exp(-2.0 * double(i) / kPerUnit)) - std::log(2.0);
    }
    double operator()(double x) const
    {
        const double a = std::fabs(x);
        if (a >= kLimit)
            return a - std::log(2.0);
        const double position = a * kPerUnit;
        const auto index = static_cast<size_t>(position);
        const double fraction = position - double(index);
        return a + table_[index] + fraction * (table_[index + 1] - table_[index]);
    }

private:
    std::array<double, static_cast<size_t>(kLimit * kPerUnit) + 2> table_{};
};

const LogCosh logCosh;


}  // namespace

// Log-likelihood score of a character starting at `start`: the known slots
// (mark before, start space, stop mark) count with their LLR, the unknown
// data slots with how decided they are.
double CharacterFramer::frameScore(double start, double* dataLlrs) const
{
    const double t = bitSamples_;
    double score = 0.5 * source_->llrAt(start - 0.5 * t) - 0.5 * source_->llrAt(start + 0.5 * t) + 0.5 * source_->llrAt(start + 6.5 * t);
    for (int bit = 1; bit <= 5; ++bit) {
        const double llr = source_->llrAt(start + (bit + 0.5) * t);
        if (dataLlrs)
            dataLlrs[bit - 1] = llr;
        score += logCosh(0.5 * llr);
    }
    return score;
}

// Score of the start at grid[0], from the slot LLRs kGridPerBit apart.
double CharacterFramer::gridScore(const double* l)
{
    double score = 0.5 * (l[0] - l[kGridPerBit] + l[7 * kGridPerBit]);
    for (int bit = 2; bit <= 6; ++bit)
        score += logCosh(0.5 * l[bit * kGridPerBit]);
    return score;
}

// Scores for starts first, first + step, ... (step = bit / kGridPerBit). The
// slots of neighbouring starts fall on one grid, so each LLR is computed once.
void CharacterFramer::gridScores(double first, int count, std::vector<double>& scores)
{
    const double step = bitSamples_ / kGridPerBit;
    const int slots = 8;  // mark before, start, five data, stop
    const double origin = first - 0.5 * bitSamples_;
    gridLlr_.resize(size_t(count + (slots - 1) * kGridPerBit));
    source_->llrs(origin, step, gridLlr_.size(), gridLlr_.data());
    scores.resize(size_t(count));
    for (int j = 0; j < count; ++j)
        scores[size_t(j)] = gridScore(gridLlr_.data() + j);
}

// The best of the starts first, first + step, ... (the first of equal
// scores), with the scores of the starts either side of it. With `stride`
// 1 it is the whole grid's best. With a larger stride (a power of two)
// every stride-th start is looked at, then the two either side of the
// best at half the distance, and so on down to one step: on a signal well
// above the noise a frame's score rises and falls smoothly over a bit and
// more, and a step is a 32nd of a bit, so the peak lies beside the better
// of two starts looked at. The LLRs are those gridScores() would compute,
// at the same instants, a few of them.
int CharacterFramer::gridPeak(double first, int count, int stride, double& bestScore, double& before, double& after)
{
    const double step = bitSamples_ / kGridPerBit;
    const double origin = first - 0.5 * bitSamples_;
    const size_t size = size_t(count + 7 * kGridPerBit);
    gridLlr_.resize(size);
    gridKnown_.assign(size, 0);
    auto score = [&](int j) {
        for (int slot = 0; slot < 8; ++slot) {
            const size_t k = size_t(j + slot * kGridPerBit);
            if (!gridKnown_[k]) {
                gridLlr_[k] = source_->llrAt(origin + double(k) * step);
                gridKnown_[k] = 1;
            }
        }
        return gridScore(gridLlr_.data() + j);
    };
    int best = 0;
    bestScore = score(0);
    for (int j = stride; j < count; j += stride) {
        const double value = score(j);
        if (value > bestScore) {
            bestScore = value;
            best = j;
        }
    }
    for (int half = stride / 2; half >= 1; half /= 2) {
        const int centre = best;
        if (centre - half >= 0) {
            const double value = score(centre - half);
            if (value >= bestScore) {
                bestScore = value;
                best = centre - half;
            }
        }
        if (centre + half < count) {
            const double value = score(centre + half);
            if (value > bestScore) {
                bestScore = value;
                best = centre + half;
            }
        }
    }
    // The starts beside the best were looked at (a start between two
    // looked at is the best only beside the better of them); past the
    // grid's ends they are scored like any other.
    before = best > 0 ? score(best - 1) : frameScore(first - step);
    after = best + 1 < count ? score(best + 1) : frameScore(first + double(count) * step);
    return best;
}

bool CharacterFramer::frameShapeOk(double start) const
{
    const double t = bitSamples_;
    return source_->llrAt(start - 0.5 * t) > 0.0 && source_->llrAt(start + 0.5 * t) < 0.0 && source_->llrAt(start + 6.5 * t) > 0.0;
}

double CharacterFramer::refinePeak(double start, double step, double peakScore) const
{
    return refinePeak(start, step, frameScore(start - step), peakScore, frameScore(start + step));
}

double CharacterFramer::refinePeak(double start, double step, double before, double peakScore, double after)
{
    const double curvature = before - 2.0 * peakScore + after;
    if (curvature >= 0.0)
        return start;
    const double offset = 0.5 * (before - after) / curvature;
    return start + std::clamp(offset, -0.5, 0.5) * step;
}

}  // namespace rtty
