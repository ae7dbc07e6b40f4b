#pragma once

#include "rtty/dsp/RttyParameters.h"
#include "rtty/linesearch/AutoLineSearch.h"

#include <string>

// Whether the line a decoder is set to fits the signal it hears. The line
// search listens alongside the decoder; once it is sure of a line, the set
// one fits when the speed, the polarity and the shift agree and the centre
// is within the decoder's own pull-in range. Until then nothing is said:
// a weak or faded signal that the search cannot measure is never taken for
// a wrong line. A line decoded wrong prints text that looks like traffic,
// so a decoder holds its text until this says the line fits.

namespace rtty {

class LineCheck {
public:
    enum class Verdict { Undecided, Fits, Wrong };

    LineCheck(double sampleRate, const RttyParameters& set);

    // Feeds the audio the decoder gets; ignored once decided.
    void process(const float* samples, size_t n);
    // Looks at what has come since the last look (the end of a file).
    void finish();
    Verdict verdict() const { return verdict_; }
    // The line the search measured (valid once decided).
    const AlsResult& heard() const { return search_.result(); }
    // "centre 1977.0 Hz, shift 450.0 Hz, 50 Bd, inverted polarity"
    std::string describeHeard() const;

    static bool fits(const RttyParameters& set, const AlsResult& found);

private:
    void judge();

    RttyParameters set_;
    AutoLineSearch search_;
    Verdict verdict_ = Verdict::Undecided;
};

}  // namespace rtty
