#pragma once

#include <memory>
#include <string>

// Where a demodulator's audio comes from: a WAV file, a live input or the
// built-in demo broadcast. Mono float samples, nominally within ±1.

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
};

// Opens "wav:PATH", "audio:DEVICE" or "demo". Files and the demo are read as
// fast as asked unless `realTime` is set, and a looped file starts over at
// its end. Returns null with `error` set when the source cannot be opened.
struct SourceOptions {
    bool loop = false;
    bool realTime = false;
};
std::unique_ptr<SampleSource> openSource(const std::string& description, const SourceOptions& options,
                                         std::string& error);

}  // namespace rtty
