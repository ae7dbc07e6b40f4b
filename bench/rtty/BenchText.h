#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Text of a kind that a broadcast carries, CHARS long, LF line ends, seeded:
//   bulletin  SYNOP bulletins (figures-heavy groups; the benchmark's default)
//   plain     plain-language forecasts: letters, few figures, few shifts
//   runs      test loops and long runs of one character: RYRY lines, rows of
//             dashes and slashes, runs of blanks and of one letter, blank lines
// Empty for an unknown kind.
std::string benchText(const std::string& kind, int chars, uint32_t seed);

}  // namespace bench
