#pragma once

// Soft decisions for one bit slot from the two tone magnitudes. Each tone has
// its own levels (amplitude when on, noise when off), so a tone faded down or
// missing still decides cleanly: this is automatic threshold correction, with
// the log-likelihood ratio of Rician (tone on) against Rayleigh (tone off)
// magnitudes. Until frames are found, levels come from raw samples (the
// stronger tone counts as on); then from the slots the frames decide. A
// level not yet seen (a space tone during a mark leader) borrows the other
// tone's.

#include <cmath>

namespace rtty {

class SlotLikelihood {
public:
    void reset();
    // The share of a tone's amplitude that the other tone's filter passes
    // when the tone fills the filter's window (a one-bit boxcar's response
    // at the shift: |sin x / x|). Kept by reset().
    void setLeakage(double share) { leakage2_ = share * share; }
    // Learns from one raw sample; timeConstant in samples.
    void learnSample(float markMagnitude, float spaceMagnitude, double timeConstant);
    // Learns from a slot whose value a frame decided.
    void learnSlot(bool mark, float markMagnitude, float spaceMagnitude);

    // Positive for mark. Zero before anything is learnt.
    double llr(float markMagnitude, float spaceMagnitude) const;
    // The same with each tone's amplitude taken no higher than its local
    // level (ToneEnvelope.h) says: a fade lowers a tone's weight at once,
    // while on a steady signal the long-term levels, which noise does not
    // lift, decide.
    double llr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel) const;
    // The same at the pair's level now (ToneEnvelope.h): `common` the share
    // of the local levels that a fade of both tones left, `pairGain` the
    // pair's gain against the long-term amplitudes (both at most 1). Until
    // the local levels are trusted the long-term amplitudes scaled by
    // `pairGain` decide, so that a fade of both tones in the first seconds
    // is read at its own level; under flutter the tones are compared on
    // equal terms, which no level changes.
    // `kept`: the share of the slot's window not blanked (ImpulseBlanker.h).
    // The tones' amplitudes there are that share of what they would be, the
    // noise's power too; a slot blanked whole is an erasure (a tie, broken
    // toward mark by a vanishing margin).
    // `burst`: the noise power a burst the blanker let through added to each
    // tone's filter in this slot (the unit of the filters' squared
    // magnitudes, per real dimension); it widens both tones' noise.
    double llr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel, float common,
               float pairGain, float kept = 1.0f, float burst = 0.0f) const;

    // Sum over both tones of the on-tone SNR (A²/2σ²) in one bit: the size
    // of a typical slot's LLR, and a squelch measure.
    double slotSnr() const;
    // Long-term amplitudes of the tones when on (0 before any is known).
    double markAmplitude() const { return std::sqrt(mark_.amplitude2); }
    double spaceAmplitude() const { return std::sqrt(space_.amplitude2); }
    // RMS magnitudes of the tones' filters while off, at their quietest
    // lately: a burst or a few slots misread do not lift them (0 before
    // any is known).
    double markNoise() const { return std::sqrt(2.0 * mark_.floorSigma2); }
    double spaceNoise() const { return std::sqrt(2.0 * space_.floorSigma2); }

    // How much an on-tone's magnitude changes from one slot to the next
    // beyond what noise explains: near 0 on a steady or slowly fading
    // signal, tenths under flutter. Local levels (ToneEnvelope.h) follow
    // slow fades; under flutter they would chase each bit's own
    // fluctuation, so there the long-term levels decide alone.
    double fastFading() const;
    bool followsLocalLevels() const { return followsLocalLevels_; }
    bool fastFadingSeen() const { return fastFadingSeen_; }  // measured, and fast: the tones are then compared on equal terms

private:
    struct Level {
        double mean = 0.0;
        double count = 0.0;
        void learn(double value, double alpha);
    };
    // The quietest the off-tone has been lately: a short mean of its squared
    // magnitude, followed down at once and up slowly. Where the off level is
    // mostly the on-tone's leakage (strong signals), it falls with the
    // signal in a fade of both tones, and this shows how far; where it is
    // noise, it stays near the off level.
    struct Floor {
        double recent = 0.0, lowest = 0.0, count = 0.0;
        void learn(double value);
    };
    struct Tone {
        Level on, off;  // mean squared magnitude while on / off
        Floor quiet;
        Floor leak;  // the same for its squared magnitude against the on-tone's (the leakage's share)
        Level beyondLeakage;  // mean squared magnitude while off, less the on-tone's leakage
        double floorSigma2 = 0.0;  // the part of sigma2 that a fade of both tones leaves
        // How often the off-tone has passed the clip lately (see learn()).
        double beyondClip = 0.0;
        bool offIsNoise() const;
        double weight = 0.0;  // LLR coefficients, refreshed after each update
        double bias = 0.0;
        double amplitude2 = 0.0, sigma2 = 0.0, noise2 = 0.0;
        double logLikelihood(double magnitude) const;
        double logLikelihood(double magnitude, double level, double common = 1.0) const;
    };
    void refresh();
    double leakageShare2(const Tone& tone) const;
    template <bool Part>
    double levelLlr(float markMagnitude, float spaceMagnitude, float markLevel, float spaceLevel, float common,
                    float pairGain, float kept, float burst) const;
    void learn(bool mark, double markSquared, double spaceSquared, double alpha);
    void learnQuiet(bool mark, double markSquared, double spaceSquared);

    Tone mark_, space_;
    Tone shared_;  // both tones' levels averaged: the fixed threshold that suits flutter
    double leakage2_ = 0.0;
    double slotsLearnt_ = 0.0;
    int lastOn_ = -1;            // tone on in the previous slot learnt: 1 mark, 0 space
    double lastOnMagnitude_ = 0.0;
    double pairDifference_ = 0.0, pairPower_ = 0.0, pairs_ = 0.0;
    // What the fading measure says, as of the last refresh (asked for every slot).
    bool fastFadingSeen_ = false, followsLocalLevels_ = false;
};

}  // namespace rtty
