#pragma once

#include "rtty/linesearch/LineCheck.h"

#include <memory>
#include <vector>

// Whether the line several receivers are set to fits the broadcast they
// hear (LineCheck.h, one per receiver). It fits once any receiver's search
// says so. It is wrong once a receiver's search says so and none says it
// fits: at once when every receiver has decided, else after the others
// have had a while longer to find that it fits (a dead receiver decides
// nothing and must not keep a wrong line printing; a faded one may be
// late to say that the line fits).

namespace rtty {

class CombinedLineCheck {
public:
    CombinedLineCheck(const std::vector<double>& sampleRates, const std::vector<RttyParameters>& lines);

    void process(int branch, const float* samples, size_t n);
    // Looks at what has come since the last look (the end of a file).
    void finish();
    LineCheck::Verdict verdict() const;
    // The first receiver that found the line wrong, and its check (when
    // the verdict is Wrong).
    int wrongBranch() const;
    const LineCheck& check(int branch) const { return *checks_[size_t(branch)]; }

private:
    static constexpr double kGraceSeconds = 10.0;

    std::vector<std::unique_ptr<LineCheck>> checks_;
    std::vector<double> heardSeconds_;
    std::vector<double> rates_;
    double firstWrongAt_ = -1.0;  // seconds heard by the receiver that found it wrong, then
    int firstWrong_ = -1;
    bool finished_ = false;
};

}  // namespace rtty
