#pragma once

#include "rtty/linesearch/AutoLineSearch.h"
#include "rtty/dsp/RttyParameters.h"

#include <string>
#include <vector>

namespace rtty::testing {

// A seeded line: any speed, shift, polarity, rate, centre 300 to 3000 Hz.
struct AlsCase {
    RttyParameters parameters;
    double sampleRate = 8000.0;
};
AlsCase alsCase(unsigned seed);

// Renders bulletin text on the line at the SNR and runs the search on it.
AlsResult searchLine(const AlsCase& line, double snrDb, unsigned seed);
AlsResult searchSamples(const std::vector<float>& samples, double sampleRate);

// Speed exact, shift and centre within 10 Hz, polarity right.
bool foundLine(const AlsResult& result, const RttyParameters& truth);

}  // namespace rtty::testing
