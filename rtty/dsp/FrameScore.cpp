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
double CharacterFramer::frameScore(double start) const
{
    const double t = bitSamples_;
    double score = 0.5 * source_->llrAt(start - 0.5 * t) - 0.5 * source_->llrAt(start + 0.5 * t) + 0.5 * source_->llrAt(start + 6.5 * t);
    for (int bit = 1; bit <= 5; ++bit)
        score += logCosh(0.5 * source_->llrAt(start + (bit + 0.5) * t));
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
    for (int j = 0; j < count; ++j) {
        const double* l = gridLlr_.data() + j;
        double score = 0.5 * (l[0] - l[kGridPerBit] + l[7 * kGridPerBit]);
        for (int bit = 2; bit <= 6; ++bit)
            score += logCosh(0.5 * l[bit * kGridPerBit]);
        scores[size_t(j)] = score;
    }
}

bool CharacterFramer::frameShapeOk(double start) const
{
    const double t = bitSamples_;
    return source_->llrAt(start - 0.5 * t) > 0.0 && source_->llrAt(start + 0.5 * t) < 0.0 && source_->llrAt(start + 6.5 * t) > 0.0;
}

double CharacterFramer::refinePeak(double start, double step, double peakScore) const
{
    const double before = frameScore(start - step);
    const double after = frameScore(start + step);
    const double curvature = before - 2.0 * peakScore + after;
    if (curvature >= 0.0)
        return start;
    const double offset = 0.5 * (before - after) / curvature;
    return start + std::clamp(offset, -0.5, 0.5) * step;
}

}  // namespace rtty
