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
//
// The strongest line on the band need not be the one the decoder is set to:
// a second station or a carrier beside ours is common. When the strongest
// line does not fit, the check asks what is keyed on the set tones
// themselves, and judges that; a strongest line clear of the set tones and
// out of the decoder's reach is another station and says nothing.

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
    // The line the verdict was given on (valid once decided).
    const AlsResult& heard() const { return nearSetLine_.determined ? nearSetLine_ : search_.result(); }
    // "centre 1977.0 Hz, shift 450.0 Hz, 50 Bd, inverted polarity"
    std::string describeHeard() const;

    static bool fits(const RttyParameters& set, const AlsResult& found);
    // A line heard out of the decoder's reach whose tones are both clear of
    // the set ones: another station, which says nothing about the set line.
    static bool isAnotherStation(const RttyParameters& set, const AlsResult& found);

private:
    void judge();

    RttyParameters set_;
    AutoLineSearch search_;
    AlsResult nearSetLine_;
    double nearLookedAtSeconds_ = -1.0;
    Verdict verdict_ = Verdict::Undecided;
};

}  // namespace rtty
