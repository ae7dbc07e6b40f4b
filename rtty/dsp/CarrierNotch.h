#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// Steady carriers and keyed CW beside the two tones, taken out before the
// tone filters. A one-bit boxcar's sidelobes fall slowly (a tone 3.3 bauds
// off leaks at -22 dB), so a carrier 20 dB over the signal a few hundred
// hertz away reads as a level in both tone filters. The audio's power
// spectrum (Hann, ~0.5 s segments averaged over about 2.5 s) is
// searched for lines: a few bins standing far above the spectrum a little
// either side. Each line clear of the tones' main lobes, and without a
// partner one shift away (a mistuned signal's own tones), and leaking into
// a tone's filter enough to matter, gets a narrow second-order notch; a
// line that goes away loses its notch. Where no line
// stands out the audio passes untouched.

namespace rtty {

class HannSegments;

class CarrierNotch {
public:
    static constexpr std::size_t kMostNotches = 3;

    CarrierNotch(double sampleRate, double shiftHz, double baud);
    ~CarrierNotch();
    CarrierNotch(const CarrierNotch&) = delete;
    CarrierNotch& operator=(const CarrierNotch&) = delete;

    // Looks at new audio (each sample once, in order); the notches follow
    // the lines found, kept clear of the tones at `markHz` and `spaceHz`.
    void analyse(const float* samples, std::size_t n, double markHz, double spaceHz);
    // The same for one segment's transform, from a HannSegments of
    // segmentSeconds() (the segments one after another without overlap:
    // every other one of a half-overlapping series).
    void analyseTransform(const float* transform, double markHz, double spaceHz);
    static constexpr double segmentSeconds() { return kSegmentSeconds; }
    // Notches `n` samples into `out` (which may be `in`). Copies when no
    // notch is set.
    void filter(const float* in, float* out, std::size_t n);
    // Forgets the notches' memory (audio taken again from another point);
    // the lines found are kept.
    void clearMemory();

    std::size_t notchCount() const { return notches_.size(); }
    double notchHz(std::size_t i) const { return notches_[i].hz; }

private:
    static constexpr double kSegmentSeconds = 0.5;
    struct Line {
        double hz = 0.0;
        double power = 0.0;
        bool present = true;  // in the newest segment too
    };
    struct Notch {
        double hz = 0.0, widthHz = 0.0;
        double b1 = 0.0, a1 = 0.0, a2 = 0.0, gain = 1.0;
        double z1 = 0.0, z2 = 0.0;  // transposed direct form II
        int absent = 0;             // segments its line has been missing from the newest
    };
    std::vector<Line> findLines(double markHz, double spaceHz);
    double localFloor(std::size_t bin);
    void setNotch(Notch& notch, double hz, double widthHz) const;

    double sampleRate_, shiftHz_, baud_;
    std::size_t length_ = 0;
    double binHz_ = 1.0;
    std::unique_ptr<HannSegments> ownSegments_;  // for analyse(), made on its first call
    std::vector<double> power_, latest_, scratch_;  // averaged, and the newest segment's
    double segments_ = 0.0;
    std::vector<Notch> notches_;
};

}  // namespace rtty
