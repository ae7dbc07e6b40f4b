#pragma once
// One IF input of a card with the decoder working on it. The card drives
// every channel the same way, whatever carries the signal: a simulated line
// for already-decoded text, or audio through the RTTY demodulator.
#include <QString>
#include <cstddef>
#include <optional>

namespace cardserver {

// How a signal is sent, or how the decoder is tuned to receive it.
struct LineParameters {
    double centre = 1500;  // Hz, midway between mark and space
    double shift = 425;    // Hz, mark to space
    double baud = 50;
    bool inverted = false;  // space above mark
    bool operator==(const LineParameters&) const = default;
};

struct ReceiverOptions {
    bool unshiftOnSpace = true;
    double stopBits = 1.5;           // mark the receiver waits out before the next start bit
    bool passFramingErrors = true;   // print characters whose stop bit is missing
    bool operator==(const ReceiverOptions&) const = default;
};

// Mistuned: a signal is there that the set line does not fit (another
// centre, shift, speed or polarity), so nothing is printed.
enum class ChannelState { Idle, Search, Traffic, Mistuned };

// Where a channel hands the audio it decodes, for the observers' spectrum.
class SampleTap {
public:
    virtual ~SampleTap() = default;
    virtual void samplesDecoded(const float* samples, size_t n, double sampleRate) = 0;
};

class DecodingChannel {
public:
    virtual ~DecodingChannel() = default;

    // Why the decoder could not work at these settings; empty when it can.
    virtual QString problemWith(const LineParameters&, const ReceiverOptions&) const { return {}; }
    virtual void tune(const LineParameters& receiver, const ReceiverOptions& options) = 0;
    // The line just tuned is the one the line search measured on this input:
    // its text need not wait for the line check (which still listens).
    virtual void lineMeasured() {}
    // Decodes the next stretch of signal and returns the characters found.
    virtual QString advance(double seconds) = 0;
    // The automatic line search listens to what advance() decodes from
    // here on. Its result once it is sure; with `finish`, the result of what
    // it heard so far. nullopt: no RTTY signal found (yet).
    virtual void startLineSearch() = 0;
    // While it runs it keeps listening, so the result may change.
    virtual std::optional<LineParameters> lineSearchResult(bool finish) = 0;
    // What the line search heard, when it found no line (for the log).
    virtual QString lineSearchFinding() const { return {}; }
    virtual ChannelState state() const = 0;
    virtual int level() const = 0;  // signal level, 0 = none
    virtual QString describe() const = 0;
    // Channels without audio have nothing to show.
    virtual void setSampleTap(SampleTap*) {}
};

}  // namespace cardserver
