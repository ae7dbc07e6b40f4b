#pragma once

#include <vector>

// The local level of one tone for the slot likelihood: the highest one-bit
// magnitude within half a width either side. Under fading it follows the
// tone down within a bit, from both sides of the slot (the look-ahead is
// inside the decoding delay), so a faded tone is weighed by what it has
// now rather than by what it had a second ago. A tone off throughout the
// window shows only noise, which weighs it down as well: the decision then
// rests on the other tone.

namespace rtty {

// Extends `envelope` (aligned with `magnitudes`) as far as the look-ahead
// allows: up to magnitudes.size() - halfWidth.
void extendToneEnvelope(const std::vector<float>& magnitudes, std::vector<float>& envelope, int halfWidth);

}  // namespace rtty
