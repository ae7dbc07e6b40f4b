#pragma once

#include "cardserver/demod/SampleSource.h"

#include <chrono>
#include <sndfile.h>
#include <vector>

namespace rtty {

// A sound file read through libsndfile: any rate it supports, 16/24/32-bit
// integer or float, the first channel of several.
class WavSource : public SampleSource {
public:
    // Check isOpen() / errorText() after construction.
    WavSource(const std::string& path, bool loop, bool realTime);
    ~WavSource() override;
    WavSource(const WavSource&) = delete;
    WavSource& operator=(const WavSource&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    double sampleRate() const override { return sampleRate_; }
    size_t read(float* out, size_t maxSamples) override;
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return error_; }
    std::string describe() const override { return "wav:" + path_; }

private:
    size_t readOnce(float* out, size_t maxSamples);

    std::string path_;
    bool loop_;
    bool realTime_;
    SNDFILE* file_ = nullptr;
    double sampleRate_ = 0.0;
    int channels_ = 1;
    bool ended_ = false;
    std::string error_;
    std::vector<float> interleaved_;
    long long delivered_ = 0;
    std::chrono::steady_clock::time_point started_;
};

}  // namespace rtty
