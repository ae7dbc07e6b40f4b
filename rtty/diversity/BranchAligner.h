#pragma once

#include <cstddef>
#include <deque>
#include <vector>

// Time alignment of several receivers of one broadcast. Each receiver's
// audio path has its own delay (up to about half a second between them)
// and its own clock (sound cards and SDRs differ by up to 100 ppm, so the
// delays drift). The keying is the same in all of them, so the delay
// between two receivers is where their soft bits correlate best.
//
// Soft bits (tanh of half the LLR, so a dead or faded receiver adds little)
// come in on a grid of 1/8 bit in each receiver's own time. Every two seconds
// each pair is correlated over the latest few seconds, coarsely over
// ±0.6 s and then finely round the peak; a peak that stands clearly above
// the noise and above the side peaks of the character structure (one
// character away the start and stop bits still agree) is a measurement.
// Receivers join the aligned set through a measured pair with one already
// in it; drift is followed by nudging each offset towards what its pairs
// measure.

namespace rtty {

struct BranchAlignment {
    bool aligned = false;
    // Content at combined time t is at this branch's time t + offset.
    double offsetSeconds = 0.0;
    // Best normalised correlation with an aligned branch in the last look.
    double correlation = 0.0;
    double alignedAtSeconds = -1.0;  // branch time of the look that aligned it
};

class BranchAligner {
public:
    BranchAligner(int branches, double baud);

    double gridSeconds() const { return step_; }
    int branches() const { return int(branches_.size()); }

    // Soft bits in [-1, 1] continuing branch `b`'s series: value k (counted
    // from the first ever added) is at branch time k * gridSeconds().
    void add(int b, const float* softBits, size_t n);
    // What another aligner found (the receivers' paths do not change with
    // the line they are decoded at): followed from here on.
    void keepAlignment(int b, const BranchAlignment& alignment) { branches_[size_t(b)].alignment = alignment; }
    // Before the first add(): the series begins at value `index`.
    void startAt(int b, size_t index) { branches_[size_t(b)].dropped = index; }

    // Looks again once two seconds of new soft bits have come in. True when
    // the aligned set or an offset changed.
    bool update();

    const BranchAlignment& alignment(int b) const { return branches_[size_t(b)].alignment; }
    // Until a pair is aligned, the combination uses one branch: this one,
    // whose offset then anchors the others'.
    void setAnchor(int b) { anchor_ = b; }

    static constexpr double kMaxLagSeconds = 0.6;
    static constexpr double kWindowSeconds = 8.0;
    static constexpr double kMinWindowSeconds = 3.0;

private:
    struct Branch {
        std::deque<float> soft;
        size_t dropped = 0;  // soft bits discarded before soft.front()
        BranchAlignment alignment;
        int disagreements = 0;  // looks in a row that measured it far from its offset
        double rate = 0.0;      // seconds of offset gained per second
    };
    struct Measurement {
        bool valid = false;
        double lagSeconds = 0.0;  // content in b appears this much later than in a
        double correlation = 0.0;
        double ageSeconds = 0.0;  // from the middle of the window measured to a's newest
    };

    size_t available(int b) const { return branches_[size_t(b)].dropped + branches_[size_t(b)].soft.size(); }
    float at(int b, size_t k) const { return branches_[size_t(b)].soft[k - branches_[size_t(b)].dropped]; }
    Measurement measure(int a, int b, double aroundLag, double halfRange, double windowSeconds) const;

    std::vector<Branch> branches_;
    double step_;
    double bitSteps_;
    size_t sinceLook_ = 0;
    int anchor_ = 0;
};

}  // namespace rtty
