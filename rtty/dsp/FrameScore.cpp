#include "rtty/dsp/RttyDemodulator.h"

#include <algorithm>
#include <array>
#include <cmath>

// The frame scores: from the tone magnitudes to how well a character fits
// a start instant.

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

double RttyDemodulator::bufferPosition(double centre) const
{
    const double sample = centre + markFilter_->delaySamples() - static_cast<double>(restartSample_ + decimation_ - 1);
    return sample / decimation_ - static_cast<double>(bufferStart_);
}

double RttyDemodulator::llrAt(double centre) const
{
    const double position = bufferPosition(centre);
    const double whole = std::floor(position);
    auto index = static_cast<int64_t>(whole);
    const auto size = static_cast<int64_t>(markEnvelope_.size());
    if (index < 0 || index + 1 >= size)
        return 0.0;
    const auto fraction = static_cast<float>(position - whole);
    const auto i = static_cast<size_t>(index);
    const float mark = markMagnitude_[i] + fraction * (markMagnitude_[i + 1] - markMagnitude_[i]);
    const float space = spaceMagnitude_[i] + fraction * (spaceMagnitude_[i + 1] - spaceMagnitude_[i]);
    const float markLevel = markEnvelope_[i] + fraction * (markEnvelope_[i + 1] - markEnvelope_[i]);
    const float spaceLevel = spaceEnvelope_[i] + fraction * (spaceEnvelope_[i + 1] - spaceEnvelope_[i]);
    return likelihood_.llr(mark, space, markLevel, spaceLevel);
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

// Scores for starts first, first + step, ... (step = bit / kGridPerBit). The
// slots of neighbouring starts fall on one grid, so each LLR is computed once.
void RttyDemodulator::gridScores(double first, int count, std::vector<double>& scores)
{
    const double step = bitSamples_ / kGridPerBit;
    const int slots = 8;  // mark before, start, five data, stop
    const double origin = first - 0.5 * bitSamples_;
    gridLlr_.resize(size_t(count + (slots - 1) * kGridPerBit));
    for (size_t k = 0; k < gridLlr_.size(); ++k)
        gridLlr_[k] = llrAt(origin + double(k) * step);
    scores.resize(size_t(count));
    for (int j = 0; j < count; ++j) {
        const double* l = gridLlr_.data() + j;
        double score = 0.5 * (l[0] - l[kGridPerBit] + l[7 * kGridPerBit]);
        for (int bit = 2; bit <= 6; ++bit)
            score += logCosh(0.5 * l[bit * kGridPerBit]);
        scores[size_t(j)] = score;
    }
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

}  // namespace rtty
