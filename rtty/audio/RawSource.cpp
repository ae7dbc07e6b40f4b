#include "rtty/audio/RawSource.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtty {

namespace {
// How long a read waits on a silent pipe before it looks whether it was told to stop.
constexpr int kStopCheckMs = 100;
}  // namespace

size_t bytesPerSample(PcmFormat format) { return format == PcmFormat::S16LE ? 2 : 4; }

const char* formatName(PcmFormat format) { return format == PcmFormat::S16LE ? "s16le" : "f32le"; }

void convertPcm(const unsigned char* bytes, size_t samples, PcmFormat format, float* out)
{
    // One loop per format, the bytes taken as a word where the machine is
    // little-endian: loops the compiler does in vectors.
    if (format == PcmFormat::S16LE) {
        for (size_t i = 0; i < samples; ++i) {
            int16_t value;
            if constexpr (std::endian::native == std::endian::little)
                std::memcpy(&value, bytes + 2 * i, sizeof value);
            else
                value = int16_t(uint16_t(bytes[2 * i]) | uint16_t(bytes[2 * i + 1]) << 8);
            out[i] = float(value) / 32768.0f;
        }
        return;
    }
    for (size_t i = 0; i < samples; ++i) {
        uint32_t bits;
        if constexpr (std::endian::native == std::endian::little)
            std::memcpy(&bits, bytes + 4 * i, sizeof bits);
        else
            bits = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16
                 | uint32_t(bytes[4 * i + 3]) << 24;
        float value;
        std::memcpy(&value, &bits, sizeof value);
        // NaN and infinities (all exponent bits set) become silence.
        out[i] = (bits & 0x7f800000u) != 0x7f800000u ? value : 0.0f;
    }
}

RawSource::RawSource(const std::string& path, double sampleRate, PcmFormat format, bool loop)
    : path_(path), sampleRate_(sampleRate), format_(format), loop_(loop)
{
    if (path == "-") {
        fd_ = STDIN_FILENO;
        ownsFd_ = false;
    } else {
        // Non-blocking, so that opening a FIFO no writer has opened yet does not hang.
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            error_ = "cannot read raw audio " + path + ": " + std::strerror(errno);
            ended_ = true;
            return;
        }
    }
    struct stat status{};
    if (::fstat(fd_, &status) == 0)
        regularFile_ = S_ISREG(status.st_mode);
    if (S_ISDIR(status.st_mode)) {
        error_ = "cannot read raw audio " + path + ": it is a folder";
        ended_ = true;
        if (ownsFd_)
            ::close(fd_);
        fd_ = -1;
        return;
    }
    if (regularFile_ && status.st_size < off_t(bytesPerSample(format))) {
        error_ = "raw audio file " + path + " holds no samples";
        ended_ = true;
        ::close(fd_);
        fd_ = -1;
    }
}

RawSource::~RawSource()
{
    if (fd_ >= 0 && ownsFd_)
        ::close(fd_);
}

std::string RawSource::describe() const
{
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", sampleRate_);
    return "raw:" + path_ + "@" + rate + "," + formatName(format_);
}

bool RawSource::fill(size_t wantedBytes)
{
    size_t had = pendingBytes_;
    if (pending_.size() < wantedBytes)
        pending_.resize(wantedBytes);
    while (!stopped_) {
        // Waiting in poll, never in read: a pipe that stalls cannot hold the
        // reader past a stop, and a FIFO whose writer has not come yet is no end.
        if (!regularFile_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (::poll(&waiting, 1, kStopCheckMs) <= 0)
                continue;
        }
        const ssize_t n = ::read(fd_, pending_.data() + had, wantedBytes - had);
        if (n > 0) {
            pendingBytes_ = had + size_t(n);
            readSinceRewind_ = true;
            return true;
        }
        if (n == 0) {  // end of the file, or the writer closed the pipe
            // Round again, dropping a partial last sample; a file emptied meanwhile ends.
            if (regularFile_ && loop_ && readSinceRewind_ && ::lseek(fd_, 0, SEEK_SET) == 0) {
                readSinceRewind_ = false;
                had = 0;
                continue;
            }
            break;
        }
        if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
            continue;
        error_ = "error reading raw audio " + path_ + ": " + std::strerror(errno);
        break;
    }
    pendingBytes_ = had;
    return false;
}

size_t RawSource::read(float* out, size_t maxSamples)
{
    if (ended_ || maxSamples == 0)
        return 0;
    const size_t width = bytesPerSample(format_);
    while (pendingBytes_ < width) {
        if (!fill(maxSamples * width)) {
            // A last partial sample is no audio.
            ended_ = true;
            return 0;
        }
    }
    const size_t samples = std::min(maxSamples, pendingBytes_ / width);
    convertPcm(pending_.data(), samples, format_, out);
    // What is left is less than a sample, or what a smaller read left over.
    const size_t used = samples * width;
    std::memmove(pending_.data(), pending_.data() + used, pendingBytes_ - used);
    pendingBytes_ -= used;
    return samples;
}

}  // namespace rtty
