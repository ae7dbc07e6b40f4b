#pragma once

#include "rtty/dsp/RttyDemodulator.h"

#include <string>
#include <vector>

namespace rtty::testing {

// Levenshtein distance over the reference length.
double characterErrorRate(const std::string& reference, const std::string& decoded);

// Decodes samples in blocks of the given size, then a second of silence.
std::string decodeAll(const std::vector<float>& samples, double sampleRate, const RttyParameters& parameters,
                      size_t blockSize = 4096, std::vector<FrameEvent>* frames = nullptr);

// Bulletin-like text of about the given length: five-figure groups, words, '=' and CR LF.
std::string bulletinText(size_t length, unsigned seed);

// A line of `baud` and `shift` with everything else at the defaults.
inline RttyParameters line(double baud, double shiftHz)
{
    RttyParameters parameters;
    parameters.baud = baud;
    parameters.shiftHz = shiftHz;
    return parameters;
}

}  // namespace rtty::testing
