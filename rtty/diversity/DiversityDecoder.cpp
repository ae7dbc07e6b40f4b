#include "rtty/diversity/DiversityDecoder.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

// As the single-receiver demodulator: the spectrum retunes a branch's
// filters when it disagrees with them by this share of the baud rate.
// (A branch is never decoded again after a retune: the others carried the
// text meanwhile, and what printed stays printed.)
constexpr double kRetuneShare = 0.15;
constexpr double kPieceSeconds = 0.05;
// A branch this far behind the one furthest on is not waited for.
constexpr double kStallSeconds = 1.0;
// Kept before what the framer still needs, so that a branch that joins or
// whose offset moves still has its audio there.
constexpr double kKeepSeconds = 2.0 * BranchAligner::kMaxLagSeconds;
// Text is held at the start until two receivers are aligned, this long at most.
constexpr double kHoldSeconds = 10.0;
// The branch decoded alone changes only for one this much stronger.
constexpr double kAnchorHysteresis = 2.0;

}  // namespace

DiversityDecoder::DiversityDecoder(const std::vector<double>& sampleRates, const std::vector<RttyParameters>& lines)
    : rate_(sampleRates.at(0)), framer_(sampleRates.at(0), lines.at(0))
{
    branches_.resize(sampleRates.size());
    for (size_t b = 0; b < branches_.size(); ++b) {
        branches_[b].rate = sampleRates[b];
        branches_[b].line = lines.at(b);
    }
    restart();
}

DiversityDecoder::~DiversityDecoder() = default;

void DiversityDecoder::setParameters(const std::vector<RttyParameters>& lines)
{
    for (size_t b = 0; b < branches_.size(); ++b)
        branches_[b].line = lines.at(b);
    framer_.setParameters(lines.at(0));
    restart();
}

void DiversityDecoder::restart()
{
    // Framing starts over at the newest audio any branch has given; each
    // branch's front end counts on from where it is.
    for (Branch& branch : branches_) {
        const int64_t at = branch.frontEnd ? branch.frontEnd->samplesIn() : 0;
        branch.frontEnd = std::make_unique<ReceiverFrontEnd>(branch.rate, branch.line);
        branch.frontEnd->restart(at, 0.0);
        branch.combined = false;
        branch.agreement = 0.0;
    }
    // The delays belong to the receivers' paths, not to the line: they are
    // kept, and followed on from here.
    std::vector<BranchAlignment> known;
    if (aligner_)
        for (int b = 0; b < branches(); ++b)
            known.push_back(aligner_->alignment(b));
    aligner_ = std::make_unique<BranchAligner>(branches(), branches_[0].line.baud);
    for (size_t b = 0; b < known.size(); ++b)
        aligner_->keepAlignment(int(b), known[b]);
    for (size_t b = 0; b < branches_.size(); ++b) {
        Branch& branch = branches_[b];
        branch.alignedSoftUpTo = std::ceil(double(branch.frontEnd->samplesIn()) / branch.rate / aligner_->gridSeconds());
        aligner_->startAt(int(b), size_t(branch.alignedSoftUpTo));
    }
    anchor_ = 0;
    chooseCombined();
    framer_.restart(*this);
    // With receivers already aligned (new settings) there is nothing to wait for.
    int aligned = 0;
    for (int b = 0; b < branches(); ++b)
        aligned += aligner_->alignment(b).aligned ? 1 : 0;
    holding_ = aligned < 2 && branches() > 1;
    heldText_.clear();
    textAtHold_ = framer_.textState();
    holdFrom_ = samplesIn();
}

void DiversityDecoder::releaseHold(std::string& textOut, bool reframe)
{
    holding_ = false;
    if (!reframe) {
        textOut += heldText_;
        heldText_.clear();
        return;
    }
    // Framed again from where the hold began, now from the sum.
    heldText_.clear();
    framer_.restoreTextState(textAtHold_);
    restartAt_ = holdFrom_;
    framer_.restart(*this);
    restartAt_ = -1;
}

double DiversityDecoder::offset(const Branch& branch) const
{
    const auto b = size_t(&branch - branches_.data());
    return aligner_->alignment(int(b)).offsetSeconds;
}

double DiversityDecoder::branchTime(const Branch& branch, double t) const
{
    return (t / rate_ + offset(branch)) * branch.rate;
}

void DiversityDecoder::process(int b, const float* samples, size_t n)
{
    Branch& branch = branches_.at(size_t(b));
    // In pieces, so that a retune applies to what follows it.
    const auto piece = std::max<size_t>(256, size_t(kPieceSeconds * branch.rate));
    for (size_t done = 0; done < n; done += piece)
        feed(branch, samples + done, std::min(piece, n - done));
}

void DiversityDecoder::feed(Branch& branch, const float* samples, size_t n)
{
    ReceiverFrontEnd& frontEnd = *branch.frontEnd;
    frontEnd.observeSpectrum(samples, n);
    double offsetHz = 0.0;
    if (frontEnd.takeSpectrumEstimate(offsetHz)
        && std::fabs(offsetHz - frontEnd.tuningCorrectionHz()) > kRetuneShare * branch.line.baud)
        frontEnd.retune(offsetHz);
    // A branch in the sum learns its levels from the combined decisions;
    // one outside it from its own raw magnitudes.
    frontEnd.process(samples, n, !(branch.combined && framer_.locked()));
}

void DiversityDecoder::feedAligner()
{
    const double grid = aligner_->gridSeconds();
    std::vector<float> soft;
    for (size_t b = 0; b < branches_.size(); ++b) {
        Branch& branch = branches_[b];
        const double newest = branch.frontEnd->newestCentre() / branch.rate / grid;
        soft.clear();
        for (; branch.alignedSoftUpTo <= newest; branch.alignedSoftUpTo += 1.0) {
            const double llr = branch.frontEnd->llrAt(branch.alignedSoftUpTo * grid * branch.rate);
            soft.push_back(float(std::tanh(0.5 * llr)));
        }
        aligner_->add(int(b), soft.data(), soft.size());
    }
}

void DiversityDecoder::chooseCombined()
{
    int aligned = 0;
    for (int b = 0; b < branches(); ++b)
        aligned += aligner_->alignment(b).aligned ? 1 : 0;
    if (aligned < 2) {
        // Alone: the strongest branch, changed only for a clearly stronger
        // one and not while characters are framed (their clock would jump
        // by the two branches' delay).
        int strongest = strongestBranch();
        if (!framer_.locked()
            && branches_[size_t(strongest)].frontEnd->slotSnr()
            > kAnchorHysteresis * branches_[size_t(anchor_)].frontEnd->slotSnr())
            anchor_ = strongest;
        aligner_->setAnchor(anchor_);
    }
    for (int b = 0; b < branches(); ++b)
        branches_[size_t(b)].combined = aligned >= 2 ? aligner_->alignment(b).aligned : b == anchor_;
}

void DiversityDecoder::decode(std::string& textOut)
{
    feedAligner();
    const bool alignmentChanged = aligner_->update();
    if (alignmentChanged || !framer_.locked())
        chooseCombined();
    if (holding_) {
        int combined = 0;
        for (const Branch& branch : branches_)
            combined += branch.combined ? 1 : 0;
        if (combined >= 2)
            releaseHold(textOut, true);
        else if (double(samplesIn() - holdFrom_) > kHoldSeconds * rate_)
            releaseHold(textOut, false);
    }
    framer_.updateSquelch();
    framer_.run(holding_ ? heldText_ : textOut);
    if (!holding_)
        framer_.discardOld();
}

bool DiversityDecoder::waitedFor(const Branch& branch) const
{
    double furthest = 0.0;
    for (const Branch& other : branches_)
        furthest = std::max(furthest, double(other.frontEnd->samplesIn()) / other.rate);
    return double(branch.frontEnd->samplesIn()) / branch.rate >= furthest - kStallSeconds;
}

double DiversityDecoder::llrAt(double centre) const
{
    double sum = 0.0;
    for (const Branch& branch : branches_)
        if (branch.combined)
            sum += branch.frontEnd->llrAt(branchTime(branch, centre));
    return sum;
}

void DiversityDecoder::llrs(double first, double step, std::size_t count, double* out) const
{
    std::fill(out, out + count, 0.0);
    scratch_.resize(count);
    for (const Branch& branch : branches_) {
        if (!branch.combined)
            continue;
        branch.frontEnd->llrs(branchTime(branch, first), step * branch.rate / rate_, count, scratch_.data());
        for (size_t k = 0; k < count; ++k)
            out[k] += scratch_[k];
    }
}

double DiversityDecoder::newestCentre() const
{
    double newest = 1e300;
    for (const Branch& branch : branches_)
        if (branch.combined && waitedFor(branch))
            newest = std::min(newest, (branch.frontEnd->newestCentre() / branch.rate - offset(branch)) * rate_);
    return newest < 1e300 ? newest : 0.0;
}

int64_t DiversityDecoder::samplesIn() const
{
    if (restartAt_ >= 0)
        return restartAt_;
    double furthest = 0.0;
    for (const Branch& branch : branches_)
        furthest = std::max(furthest, double(branch.frontEnd->samplesIn()) / branch.rate);
    return int64_t(furthest * rate_);
}

double DiversityDecoder::slotSnr() const
{
    double sum = 0.0;
    for (const Branch& branch : branches_)
        if (branch.combined)
            sum += branch.frontEnd->slotSnr();
    return sum;
}

bool DiversityDecoder::fastFadingSeen() const
{
    for (const Branch& branch : branches_)
        if (branch.combined && branch.frontEnd->fastFadingSeen())
            return true;
    return false;
}

void DiversityDecoder::learnFrame(double start, double bitSamples, uint8_t code)
{
    for (Branch& branch : branches_) {
        if (!branch.combined)
            continue;
        const double at = branchTime(branch, start);
        const double bit = bitSamples * branch.rate / rate_;
        branch.frontEnd->learnFrame(at, bit, code);
        // Its share: how much its LLRs pulled towards what was decided.
        for (int slot = 0; slot <= 6; ++slot) {
            const bool mark = slot == 6 || (slot > 0 && ((code >> (slot - 1)) & 1));
            const double llr = branch.frontEnd->llrAt(at + (slot + 0.5) * bit);
            branch.agreement += std::max(0.0, mark ? llr : -llr);
        }
    }
}

void DiversityDecoder::tuneOnFrame(double start, double bitSamples, uint8_t code)
{
    for (Branch& branch : branches_)
        if (branch.combined)
            branch.frontEnd->tuneOnFrame(branchTime(branch, start), bitSamples * branch.rate / rate_, code);
}

void DiversityDecoder::discardBefore(double instant)
{
    // A branch behind the others (not waited for) keeps all it has.
    for (Branch& branch : branches_)
        branch.frontEnd->discardBefore(std::min(branchTime(branch, instant) - kKeepSeconds * branch.rate,
                                                branch.frontEnd->newestCentre() - kKeepSeconds * branch.rate));
}

BranchReport DiversityDecoder::report(int b) const
{
    const Branch& branch = branches_.at(size_t(b));
    BranchReport r;
    r.aligned = aligner_->alignment(b).aligned;
    r.combined = branch.combined;
    double earliest = 1e300, total = 0.0;
    for (int other = 0; other < branches(); ++other) {
        if (aligner_->alignment(other).aligned)
            earliest = std::min(earliest, aligner_->alignment(other).offsetSeconds);
        total += branches_[size_t(other)].agreement;
    }
    r.delaySeconds = r.aligned ? aligner_->alignment(b).offsetSeconds - earliest : 0.0;
    r.centreHz = branch.frontEnd->measuredCentreHz();
    r.offsetHz = r.centreHz - branch.line.centreHz;
    r.share = total > 0.0 ? branch.agreement / total : 0.0;
    r.signalToNoise = branch.frontEnd->slotSnr();
    r.secondsIn = double(branch.frontEnd->samplesIn()) / branch.rate;
    return r;
}

int DiversityDecoder::strongestBranch() const
{
    int best = 0;
    for (int b = 1; b < branches(); ++b)
        if (branches_[size_t(b)].frontEnd->slotSnr() > branches_[size_t(best)].frontEnd->slotSnr())
            best = b;
    return best;
}

double DiversityDecoder::secondsDecoded() const
{
    return double(samplesIn()) / rate_;
}

}  // namespace rtty
