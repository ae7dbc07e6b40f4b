#pragma once

#include "rtty/audio/SampleSource.h"

#include <atomic>
#include <vector>

namespace rtty {

// Headerless mono PCM, as SDR programs write it (rtl_fm: s16le).
enum class PcmFormat { S16LE, F32LE };
size_t bytesPerSample(PcmFormat format);
const char* formatName(PcmFormat format);
// Little-endian bytes to samples within ±1; NaN and infinities become silence.
void convertPcm(const unsigned char* bytes, size_t samples, PcmFormat format, float* out);

// Raw PCM from a file, a pipe or standard input ("-"). A regular file can
// loop; a pipe is read as it comes and ends when the writer closes it.
class RawSource : public SampleSource {
public:
    // Check isOpen() / errorText() after construction.
    RawSource(const std::string& path, double sampleRate, PcmFormat format, bool loop);
    ~RawSource() override;
    RawSource(const RawSource&) = delete;
    RawSource& operator=(const RawSource&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    double sampleRate() const override { return sampleRate_; }
    size_t read(float* out, size_t maxSamples) override;
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return error_; }
    std::string describe() const override;
    bool waitsForInput() const override { return !regularFile_; }
    bool senderWaits() const override { return !regularFile_; }
    void stopReading() override { stopped_ = true; }

private:
    // Bytes into pending_; false at the end of the input.
    bool fill(size_t wantedBytes);

    std::string path_;
    double sampleRate_;
    PcmFormat format_;
    bool loop_;
    int fd_ = -1;
    bool ownsFd_ = true;
    bool regularFile_ = false;
    bool ended_ = false;
    bool readSinceRewind_ = false;
    std::atomic<bool> stopped_{false};
    std::string error_;
    // Bytes read but not yet a whole sample: a pipe hands over any number.
    // The first pendingBytes_ of the buffer; it keeps its size between
    // reads, so that it is not cleared again for every read.
    std::vector<unsigned char> pending_;
    size_t pendingBytes_ = 0;
};

}  // namespace rtty
