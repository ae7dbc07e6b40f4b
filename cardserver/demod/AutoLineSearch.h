#pragma once

#include "cardserver/demod/RttyParameters.h"

#include <string>
#include <vector>

// Automatic line search: measures centre frequency, shift, speed and
// polarity of an RTTY signal from at most ten seconds of it.
//
// The two tones are the strongest pair of spectral peaks whose powers move
// against each other (which rejects lone carriers and unrelated stations);
// candidate speeds come from the intervals between keying transitions (the
// shortest well-filled interval, not a spectral line, which 1.5 stop bits
// would double); each speed and polarity is then tried by framing
// characters, and the clear winner is reported. Noise, a lone carrier or
// idle mark are reported as not determinable, never guessed.

namespace rtty {

struct AlsResult {
    bool determined = false;
    double centreHz = 0.0;
    double shiftHz = 0.0;
    double baud = 0.0;
    bool inverted = false;
    std::string reason;  // why not, when not determined
    double secondsUsed = 0.0;
};

class AutoLineSearch {
public:
    explicit AutoLineSearch(double sampleRate, double maxSeconds = 10.0);

    // Feeds audio; ignored once finished().
    void process(const float* samples, size_t n);
    // True once a result is final: determined early, or the time is used up.
    bool finished() const { return finished_; }
    // The result so far (final when finished()). Before the end, an
    // undetermined result says what is still missing.
    const AlsResult& result() const { return result_; }
    // Ends the search with what has been heard (a file shorter than the
    // search time, or a user who stops it).
    void finish();

private:
    void analyse(bool final);

    double sampleRate_;
    size_t maxSamples_;
    size_t nextAnalysis_;
    std::vector<float> samples_;
    bool finished_ = false;
    AlsResult result_;
};

}  // namespace rtty
