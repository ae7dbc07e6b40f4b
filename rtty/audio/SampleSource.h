#pragma once

#include <memory>
#include <string>

// Where a demodulator's audio comes from: a recording, raw PCM from a file
// or pipe, UDP audio, a live input or the built-in demo broadcast. Mono
// float samples, nominally within ±1.

namespace rtty {

class SampleSource {
public:
    virtual ~SampleSource() = default;

    virtual double sampleRate() const = 0;
    // Reads up to maxSamples; returns how many. Zero means the source has
    // ended (see atEnd() and errorText()); a live source blocks until audio
    // arrives, a paced source until its audio is due.
    virtual size_t read(float* out, size_t maxSamples) = 0;
    virtual bool atEnd() const = 0;
    // Why the source ended early, in words for the user; empty at a normal end.
    virtual std::string errorText() const = 0;
    // A short description for logs ("wav:/path", "audio:hw:1", "demo").
    virtual std::string describe() const = 0;
    // Audio arrives at the sender's pace (a device, a pipe, the network):
    // read it on a thread of its own, it cannot be read again from the start.
    virtual bool waitsForInput() const { return false; }
    // The sender waits while the reader is behind (a pipe): a reader that
    // falls behind should hold it back rather than drop audio.
    virtual bool senderWaits() const { return false; }
    // From another thread: a read waiting for input returns 0 soon after.
    virtual void stopReading() {}
};

// Opens a source named as on the command line:
//   wav:PATH                         a WAV or FLAC recording
//   raw:PATH@RATE[,s16le|f32le]      mono PCM from a file, a FIFO or "-" (standard input)
//   udp:[ADDR:]PORT[@RATE[,FORMAT]]  UDP audio as gqrx sends it (default 127.0.0.1, 48000, s16le)
//   audio:DEVICE                     live capture
//   demo                             the built-in bulletins
// Files and the demo are read as fast as asked unless `realTime` is set,
// and a looped file starts over at its end (a pipe cannot). Returns null
// with `error` set when the source cannot be opened.
struct SourceOptions {
    bool loop = false;
    bool realTime = false;
};
std::unique_ptr<SampleSource> openSource(const std::string& description, const SourceOptions& options,
                                         std::string& error);

}  // namespace rtty
