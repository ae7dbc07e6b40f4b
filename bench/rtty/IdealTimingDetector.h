#pragma once

#include <functional>
#include <string>
#include <vector>

// The benchmark's yardstick: a detector told the exact start of every
// character (found on the clean recording) and the exact tones. It sums
// each data bit's samples against both tones (one-bit matched filters at
// the true timing) and takes the stronger, non-coherently. No real
// decoder can know as much; what it still gets wrong is the channel's.

namespace bench {

struct IdealTiming {
    double sampleRate = 8000.0;
    double baud = 50.0;
    double markHz = 0.0, spaceHz = 0.0;
    double offsetHz = 0.0;           // both tones, at the start
    double driftHzPerMinute = 0.0;
};

// Character starts (in samples) found on the clean recording.
std::vector<double> characterStarts(const std::vector<float>& clean, const IdealTiming& line, double stopBits);

// The text of the characters at `starts`: each data bit (the slot that
// begins at the given sample) decided by `isMark`, the codes read as ITA2.
std::string decodeCharacters(const std::vector<double>& starts, const IdealTiming& line,
                             const std::function<bool(double bitStart)>& isMark);

// The text the ideal detector reads from `received` at those starts.
std::string idealDecode(const std::vector<float>& received, const std::vector<double>& starts, const IdealTiming& line);

}  // namespace bench
