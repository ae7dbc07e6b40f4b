#pragma once

#include <cstddef>
#include <cstdint>

// What the character framer reads the signal through: soft decisions for a
// one-bit window centred at any instant, in the source's own sample time.
// One receiver's front end is a source; so is anything that aligns several
// receivers in time and adds their LLRs (each front end's LLRs are already
// weighed by that receiver's reliability, so independent ones add).
//
// The framer feeds its decisions back: levels are learnt from the slots it
// decided, tuning from the slots of frames it trusts.

namespace rtty {

class SoftBitSource {
public:
    virtual ~SoftBitSource() = default;

    // LLR of the one-bit window centred at `centre` (samples), positive for
    // mark, in nats. 0 where nothing is known: outside the buffered range,
    // and in slots erased (an impulse blanked them).
    virtual double llrAt(double centre) const = 0;
    // The same for `count` centres first, first + step, ...
    virtual void llrs(double first, double step, std::size_t count, double* out) const
    {
        for (std::size_t k = 0; k < count; ++k)
            out[k] = llrAt(first + double(k) * step);
    }
    // The newest centre llrAt() answers for, and the audio taken in so far.
    virtual double newestCentre() const = 0;
    virtual int64_t samplesIn() const = 0;

    // Sum of the tones' per-bit SNR (linear): the typical |LLR| of a slot, and
    // what the squelch watches.
    virtual double slotSnr() const = 0;
    // Flutter seen: levels change from bit to bit, the clock may look lost in a fade.
    virtual bool fastFadingSeen() const = 0;

    // Decision feedback for a framed character: `code` holds the five data
    // bits (bit 0 first); the start slot is space, the stop slot mark.
    virtual void learnFrame(double start, double bitSamples, uint8_t code) = 0;
    // The same character trusted enough to measure the tuning on.
    virtual void tuneOnFrame(double start, double bitSamples, uint8_t code) = 0;
    // Nothing before `instant` will be asked for again.
    virtual void discardBefore(double instant) = 0;
};

}  // namespace rtty
