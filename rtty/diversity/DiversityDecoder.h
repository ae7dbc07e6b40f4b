#pragma once

#include "rtty/diversity/BranchAligner.h"
#include "rtty/dsp/CharacterFramer.h"
#include "rtty/dsp/ReceiverFrontEnd.h"
#include "rtty/dsp/RttyParameters.h"
#include "rtty/dsp/SoftBitSource.h"

#include <memory>
#include <string>
#include <vector>

// One broadcast heard by two to four receivers (the same transmission on
// several frequencies, or several antennas), decoded as one text.
//
// Each receiver (a branch) has its own front end: its own tone filters,
// levels, noise, mistuning (acquired and tracked within ±100 Hz of its set
// centre) and fading, so its LLRs are already weighed by how reliable it
// is now; a branch in a fade, or one with only noise, gives LLRs near zero.
// The branches are aligned in time (BranchAligner.h) and their LLRs added
// slot by slot; one framer frames the characters from the sum. Decisions
// are fed back to every branch, so each learns its levels and its tuning
// from the combined text. A branch not (yet) aligned is left out of the
// sum; until two are aligned the strongest branch is decoded alone, so the
// text starts as soon as a single receiver would print it.
//
// Start: until the receivers are aligned (or for 10 s at most) the text
// of the one decoded alone is held back; once they are, the held stretch
// is framed again from the sum, so the first lines are not left to one
// receiver.
//
// Time: the framer's clock counts samples at the first branch's rate; a
// branch's own time is (t / rate + offset) * its rate. Output waits for the
// branch whose copy of the signal comes latest: the added latency is the
// spread of the delays.

namespace rtty {

struct BranchReport {
    bool aligned = false;
    bool combined = false;       // its LLRs are in the sum now
    double delaySeconds = 0.0;   // behind the earliest aligned branch
    double centreHz = 0.0;       // where its filters are
    double offsetHz = 0.0;       // from its set centre
    double share = 0.0;          // of the combined decisions' weight so far, 0..1
    double signalToNoise = 0.0;  // its slot SNR, linear
    double secondsIn = 0.0;      // audio taken from it
};

class DiversityDecoder : private SoftBitSource {
public:
    // One entry per branch: its sample rate and line. Speed, stop bits and
    // unshift are the first branch's; centre and polarity are each its own.
    DiversityDecoder(const std::vector<double>& sampleRates, const std::vector<RttyParameters>& lines);
    ~DiversityDecoder() override;

    // New lines for all branches: framing starts over, the text state is kept.
    void setParameters(const std::vector<RttyParameters>& lines);
    const RttyParameters& parameters(int b) const { return branches_[size_t(b)].line; }

    int branches() const { return int(branches_.size()); }
    // Takes audio of one branch. Any block sizes; branches may come at
    // different paces (live sources): text waits for the slowest that still
    // delivers, a branch more than a second behind is not waited for.
    void process(int b, const float* samples, size_t n);
    // Frames what all branches hold now and appends the text.
    void decode(std::string& textOut);

    DecodeState state() const { return framer_.state(); }
    // Slot SNR of the combination (the sum over the branches in it).
    double signalToNoise() const { return slotSnr(); }
    BranchReport report(int b) const;
    // The branch with the best SNR now: the one whose line the card reports.
    int strongestBranch() const;
    double secondsDecoded() const;

    void setFrameObserver(std::function<void(const FrameEvent&)> observer) { framer_.setFrameObserver(std::move(observer)); }

private:
    struct Branch {
        double rate = 8000.0;
        RttyParameters line;
        std::unique_ptr<ReceiverFrontEnd> frontEnd;
        bool combined = false;
        double alignedSoftUpTo = 0.0;  // aligner grid points taken so far
        double agreement = 0.0;        // sum of its LLRs in the direction decided
    };

    void restart();
    void feed(Branch& branch, const float* samples, size_t n);
    void feedAligner();
    void chooseCombined();
    // Branch time (its samples) of combined time t (first branch's samples).
    double branchTime(const Branch& branch, double t) const;
    double offset(const Branch& branch) const;
    bool waitedFor(const Branch& branch) const;

    // SoftBitSource: the sum of the combined branches.
    double llrAt(double centre) const override;
    void llrs(double first, double step, std::size_t count, double* out) const override;
    double newestCentre() const override;
    int64_t samplesIn() const override;
    double slotSnr() const override;
    bool fastFadingSeen() const override;
    void learnFrame(double start, double bitSamples, uint8_t code) override;
    void tuneOnFrame(double start, double bitSamples, uint8_t code) override;
    void discardBefore(double instant) override;

    void releaseHold(std::string& textOut, bool reframe);

    std::vector<Branch> branches_;
    double rate_;  // the framer's clock
    bool holding_ = true;
    std::string heldText_;
    CharacterFramer::TextState textAtHold_;
    int64_t holdFrom_ = 0;
    int64_t restartAt_ = -1;  // what samplesIn() says while the framer restarts in the past
    CharacterFramer framer_;
    std::unique_ptr<BranchAligner> aligner_;
    int anchor_ = 0;  // decoded alone until a pair is aligned
    mutable std::vector<double> scratch_;
};

}  // namespace rtty
