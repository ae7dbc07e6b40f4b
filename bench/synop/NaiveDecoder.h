#pragma once
// The decoder a quick script would be: split the text at '=', look for
// AAXX, read the fixed-position groups of section 1 with regular
// expressions. No heading, no shift repair, no section 3, no checks. It is
// the yardstick for speed only, since no SYNOP decoder is packaged for this
// system to compare against.
#include <string>

namespace bench {

struct NaiveCounts {
    long reports = 0;
    long temperatures = 0;
};

NaiveCounts naiveDecode(const std::string& text);

}  // namespace bench
