#pragma once

#include <cstddef>
#include <vector>

// Blanks impulse noise (clicks, static crashes) before the tone filters: a
// sample far above the recent level of the audio is set to zero, and so are
// at least the two milliseconds after the last such sample, so that a burst lowers both tones' magnitudes for the bits it hits
// (which the level model reads as a short fade of both) instead of raising
// them; the blanking lasts until the burst's power is back near the
// recent level. The recent level is the larger of a fast and a slow mean power of
// the samples not blanked: the fast one follows a fade down, the slow one
// keeps the level a fade of both tones will come back to, so that the
// return from a fade is not taken for a burst; a "burst" longer than any
// real one is the level itself rising, and the means start again from it.
// Samples that are not numbers are blanked as well. No delay: a burst's first
// fraction of a millisecond, before it stands out, passes.

namespace rtty {

class ImpulseBlanker {
public:
    explicit ImpulseBlanker(double sampleRate);

    // A run of samples set to zero, from `first` in the block.
    struct Run {
        std::size_t first = 0, count = 0;
    };

    // Copies `n` samples to `out`, bursts set to zero; returns how many were.
    // With `runs`, the runs blanked are appended there.
    std::size_t process(const float* in, std::size_t n, float* out, std::vector<Run>* runs = nullptr);

private:
    // A block with nothing above the limit, copied; false (nothing done) otherwise.
    bool quietBlock(const float* in, float* out);

    double fastAlpha_, slowAlpha_, shortAlpha_;
    double fastBlockAlpha_, slowBlockAlpha_;  // the same over a block of samples
    double fastPower_ = 0.0, slowPower_ = 0.0, shortPower_ = 0.0;
    bool burst_ = false;
    double seen_ = 0.0;  // samples taken into the means, until they settle
    double settleSamples_;
    int holdSamples_;
    int hold_ = 0;       // still to blank after the last sample above the limit
    long longestBurst_;
    long burstLength_ = 0;
};

}  // namespace rtty
