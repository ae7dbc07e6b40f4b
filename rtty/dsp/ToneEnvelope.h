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


// The pair's common level: at every instant one tone is keyed on, so the
// larger of the two tones' magnitudes (each against its long-term
// amplitude) at the centre of any bit shows the pair's level. Its highest
// value within `halfWidth` either side (half a bit or more, so that a bit
// centre is always inside), against the larger of the two tones' local
// levels (ToneEnvelope above, the same way), is near 1 unless both tones
// are down together: it follows a fade of both within a bit, where the
// tone levels, which look a character either side, still show the level
// before or after it. A fade of one tone (keying, selective fading) leaves
// it near 1: that tone's own level says it.
// `pairLevel` is extended as far as `markEnvelope` allows, `common` up to
// pairLevel.size() - halfWidth.
void extendCommonLevel(const std::vector<float>& markMagnitudes, const std::vector<float>& spaceMagnitudes,
                       const std::vector<float>& markEnvelope, const std::vector<float>& spaceEnvelope,
                       std::vector<float>& pairLevel, std::vector<float>& common, int halfWidth,
                       float markAmplitude, float spaceAmplitude);

}  // namespace rtty
