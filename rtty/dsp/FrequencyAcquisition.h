#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// Where the two tones really are, within ±range of where they were set: a
// Welch power spectrum (Hann, ~0.5 s segments, half overlapping, averaged
// over a few seconds) is searched for the offset at which both tones' bands
// (±baud/2 round each, narrower on narrow shifts) together hold the most
// power, both standing clear of the noise floor there. It runs
// on the raw audio whatever the squelch says, so a signal too far off for
// the tone filters to open the squelch is still found; the matched-filter
// AFC then tracks from there.

namespace rtty {

class HannSegments;

class FrequencyAcquisition {
public:
    FrequencyAcquisition(double sampleRate, double markHz, double spaceHz, double baud, double rangeHz);
    ~FrequencyAcquisition();
    FrequencyAcquisition(const FrequencyAcquisition&) = delete;
    FrequencyAcquisition& operator=(const FrequencyAcquisition&) = delete;

    void process(const float* samples, std::size_t n);
    // The same for one segment's transform, from a HannSegments of
    // segmentSeconds() and half a segment's hop: what process() does with
    // each segment of its own.
    void analyse(const float* transform);
    static constexpr double segmentSeconds() { return kSegmentSeconds; }

    // True once per new estimate that stands clear of the noise: both tone
    // bands well above the floor. The offset is in Hz from the set tones.
    bool takeEstimate(double& offsetHz);
    // Enough audio seen for an estimate, whether one stood clear or not.
    bool judged() const { return segments_ >= kFirstEstimateSegments; }

private:
    static constexpr double kFirstEstimateSegments = 4.0;
    static constexpr double kSegmentSeconds = 0.5;
    // One tone's band at some offset: bins [begin, end) counted from firstBin_.
    struct Band {
        std::size_t begin = 0, end = 0;
        double bins = 0.0;
    };
    Band bandAt(double centreHz) const;
    double medianNear(const double* values, std::size_t n, double guess);
    void estimate();

    double sampleRate_, markHz_, spaceHz_, baud_, rangeHz_;
    std::size_t length_ = 0;
    double binHz_ = 1.0;
    std::unique_ptr<HannSegments> ownSegments_;  // for process(), made on its first call
    std::vector<double> power_;       // averaged over segments
    std::size_t firstBin_ = 0, lastBin_ = 0;
    double halfBand_ = 0.0;
    bool narrowShift_ = false;
    int steps_ = 0;                             // offsets searched either side, in bins
    std::vector<Band> markBands_, spaceBands_;  // per offset, -steps_ first
    std::vector<double> scores_, cumulative_, scratch_;
    double segments_ = 0.0;
    double floor_ = 0.0;  // the median bin at the last estimate
    bool fresh_ = false;
    double offsetHz_ = 0.0;
};

}  // namespace rtty
