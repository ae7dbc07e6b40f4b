#pragma once

#include "rtty/audio/SampleSource.h"

#include <chrono>
#include <sndfile.h>
#include <vector>

namespace rtty {

// A WAV (also WAVE_FORMAT_EXTENSIBLE, RF64) or FLAC recording read through
// libsndfile: any rate it supports, integer or float samples, the first
// channel of several. Other containers are refused by their header bytes
// before libsndfile sees them (SoundFileFormat.h).
class WavSource : public SampleSource {
public:
    // Check isOpen() / errorText() after construction.
    WavSource(const std::string& path, bool loop, bool realTime);
    // A file already in memory (tests, fuzzing); `name` stands for its path in messages.
    WavSource(std::vector<unsigned char> bytes, const std::string& name);
    ~WavSource() override;
    WavSource(const WavSource&) = delete;
    WavSource& operator=(const WavSource&) = delete;

    bool isOpen() const { return file_ != nullptr; }
    double sampleRate() const override { return sampleRate_; }
    size_t read(float* out, size_t maxSamples) override;
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return error_; }
    std::string describe() const override { return "wav:" + path_; }

    // libsndfile's byte access, over the file descriptor or the memory.
    struct Bytes {
        int fd = -1;
        std::vector<unsigned char> memory;
        sf_count_t position = 0;
        sf_count_t size = 0;
    };

private:
    void open();
    void fail(const std::string& why);
    size_t readOnce(float* out, size_t maxSamples);

    std::string path_;
    bool loop_ = false;
    bool realTime_ = false;
    Bytes bytes_;
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
