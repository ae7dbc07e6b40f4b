#include "rtty/diversity/CombinedLineCheck.h"

namespace rtty {

CombinedLineCheck::CombinedLineCheck(const std::vector<double>& sampleRates, const std::vector<RttyParameters>& lines)
{
    for (size_t b = 0; b < sampleRates.size(); ++b)
        checks_.push_back(std::make_unique<LineCheck>(sampleRates[b], lines.at(b)));
    heardSeconds_.assign(sampleRates.size(), 0.0);
    rates_ = sampleRates;
}

void CombinedLineCheck::process(int branch, const float* samples, size_t n)
{
    const auto b = size_t(branch);
    checks_.at(b)->process(samples, n);
    heardSeconds_[b] += double(n) / rates_[b];
    if (firstWrong_ < 0 && checks_[b]->verdict() == LineCheck::Verdict::Wrong) {
        firstWrong_ = branch;
        firstWrongAt_ = heardSeconds_[b];
    }
}

void CombinedLineCheck::finish()
{
    for (auto& check : checks_)
        check->finish();
    finished_ = true;
}

LineCheck::Verdict CombinedLineCheck::verdict() const
{
    bool wrong = false, undecided = false;
    for (const auto& check : checks_) {
        switch (check->verdict()) {
        case LineCheck::Verdict::Fits: return LineCheck::Verdict::Fits;
        case LineCheck::Verdict::Wrong: wrong = true; break;
        case LineCheck::Verdict::Undecided: undecided = true; break;
        }
    }
    const bool waited = firstWrong_ >= 0 && heardSeconds_[size_t(firstWrong_)] - firstWrongAt_ >= kGraceSeconds;
    return wrong && (finished_ || !undecided || waited) ? LineCheck::Verdict::Wrong : LineCheck::Verdict::Undecided;
}

int CombinedLineCheck::wrongBranch() const
{
    for (size_t b = 0; b < checks_.size(); ++b)
        if (checks_[b]->verdict() == LineCheck::Verdict::Wrong)
            return int(b);
    return -1;
}

}  // namespace rtty
