#pragma once

#include "rtty/dsp/RttyParameters.h"

#include <cstdint>
#include <string>
#include <vector>

// Automatic line search: measures centre frequency, shift, speed and
// polarity of an RTTY signal, and keeps listening until it has: it looks at
// the latest ten seconds every two seconds, so a signal that starts long
// after the search began is found within a few seconds of its start.
//
// The two tones are the pair of spectral peaks that are keyed against each
// other: each tone's power over its own slowly tracked level shows one tone
// on and the other off, which holds under fading as well (both tones fading
// together, or one alone). Every speed and polarity is then tried by
// framing characters; a frame counts by how well it framed, in full only
// back to back with the one before (machine traffic), and weighed by how
// well its start, stop and data slots agree with the keying. The clear
// winner is reported, with its tones refined on the framed bits. Noise, a
// lone carrier, idle mark or noise bursts are reported as what they are,
// never guessed.

namespace rtty {

// What the audio held when no line was found, from least to most like a line.
enum class AlsSeen { Nothing, Silence, Noise, NoiseBursts, Carrier, UnkeyedTones, Tones, Line };
const char* alsSeenName(AlsSeen seen);

struct AlsResult {
    bool determined = false;
    double centreHz = 0.0;
    double shiftHz = 0.0;
    double baud = 0.0;
    bool inverted = false;
    AlsSeen seen = AlsSeen::Nothing;
    std::string reason;        // why not, when not determined
    double secondsUsed = 0.0;  // audio heard up to this result
    // Where the stretch of audio that gave this result begins, in seconds
    // from the first sample heard (decoding from here loses none of the line).
    double fromSeconds = 0.0;
};

class AutoLineSearch {
public:
    explicit AutoLineSearch(double sampleRate, double windowSeconds = 10.0);

    // Feeds audio; the search looks at it every two seconds.
    void process(const float* samples, size_t n);
    // The latest line found, or, while none has been, what the latest look saw.
    const AlsResult& result() const { return result_; }
    bool determined() const { return result_.determined; }
    // Counts the looks that found a line (each may refine the last one).
    int measurements() const { return measurements_; }
    // The most line-like thing seen in all the looks so far, with its reason:
    // what to tell a user when no line was found.
    const AlsResult& mostLikeALine() const { return mostLikeALine_; }
    // Looks at what has come in since the last look (the end of a file, a
    // user who stops the search).
    void finish();
    // The latest audio measured again for a line whose lower tone lies
    // within `reachHz` of lowToneHz and whose upper tone within it of
    // highToneHz, whatever is stronger elsewhere: what is keyed on one line
    // while another station or a carrier is on the band.
    AlsResult measureNear(double lowToneHz, double highToneHz, double reachHz) const;
    // Samples still to come before the next look.
    size_t samplesBeforeLook() const;
    // Audio heard up to the latest look, in seconds (it changes once per look).
    double lookedAtSeconds() const { return double(lastLook_) / sampleRate_; }

private:
    void analyse();
    // With reachHz infinite, every pair of tones is a candidate.
    AlsResult measure(bool windowFull, double lowToneHz, double highToneHz, double reachHz) const;

    double sampleRate_;
    size_t windowSamples_;
    size_t stepSamples_;
    size_t firstLookSamples_;
    std::vector<float> window_;  // the latest windowSamples_ at most
    int64_t heard_ = 0;          // samples fed in all
    int64_t lastLook_ = 0;       // heard_ at the last look
    int measurements_ = 0;
    AlsResult result_;
    AlsResult mostLikeALine_;
};

}  // namespace rtty
