#include "rtty/audio/WavSource.h"

#include "rtty/audio/SoundFileFormat.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace rtty {

namespace {

using Bytes = WavSource::Bytes;

sf_count_t byteCount(void* user) { return static_cast<Bytes*>(user)->size; }

sf_count_t seekBytes(sf_count_t offset, int whence, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    const sf_count_t base = whence == SEEK_CUR ? bytes->position : whence == SEEK_END ? bytes->size : 0;
    const sf_count_t target = base + offset;
    if (target < 0 || target > bytes->size)
        return -1;
    bytes->position = target;
    return target;
}

sf_count_t readBytes(void* out, sf_count_t count, void* user)
{
    auto* bytes = static_cast<Bytes*>(user);
    count = std::clamp<sf_count_t>(count, 0, bytes->size - bytes->position);
    if (bytes->fd < 0) {
        // An empty buffer has no data pointer, and memcpy wants one even for nothing.
        if (count > 0)
            std::memcpy(out, bytes->memory.data() + bytes->position, size_t(count));
        bytes->position += count;
        return count;
    }
    sf_count_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(bytes->fd, static_cast<char*>(out) + done, size_t(count - done),
                                  off_t(bytes->position + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    bytes->position += done;
    return done;
}

sf_count_t writeBytes(const void*, sf_count_t, void*) { return 0; }
sf_count_t tellBytes(void* user) { return static_cast<Bytes*>(user)->position; }

}  // namespace

WavSource::WavSource(const std::string& path, bool loop, bool realTime)
    : path_(path), loop_(loop), realTime_(realTime)
{
    // The header checked and the bytes decoded come from one open file, so
    // that it cannot be swapped between the two.
    bytes_.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status{};
    if (bytes_.fd < 0 || ::fstat(bytes_.fd, &status) != 0)
        fail("cannot read sound file " + path + ": " + std::strerror(errno));
    else if (!S_ISREG(status.st_mode))
        fail("cannot read sound file " + path + ": not a regular file (raw audio from a pipe: raw:PATH@RATE)");
    else {
        bytes_.size = status.st_size;
        open();
    }
}

WavSource::WavSource(std::vector<unsigned char> bytes, const std::string& name) : path_(name)
{
    bytes_.size = sf_count_t(bytes.size());
    bytes_.memory = std::move(bytes);
    open();
}

WavSource::~WavSource()
{
    if (file_)
        sf_close(file_);
    if (bytes_.fd >= 0)
        ::close(bytes_.fd);
}

void WavSource::fail(const std::string& why)
{
    error_ = why;
    ended_ = true;
    if (file_)
        sf_close(file_);
    file_ = nullptr;
}

void WavSource::open()
{
    unsigned char header[kSoundFileHeaderBytes];
    const auto headerSize = size_t(readBytes(header, sf_count_t(sizeof header), &bytes_));
    bytes_.position = 0;
    const SoundFileKind kind = soundFileKind(header, headerSize);
    if (!kind.accepted)
        return fail(refusedSoundFileText(path_, kind));

    SF_VIRTUAL_IO io{byteCount, seekBytes, readBytes, writeBytes, tellBytes};
    SF_INFO info{};
    file_ = sf_open_virtual(&io, SFM_READ, &info, &bytes_);
    if (!file_)
        return fail("cannot read sound file " + path_ + " (" + kind.name + "): " + sf_strerror(nullptr));
    if (info.channels < 1 || info.samplerate < 1)
        return fail("sound file " + path_ + " has no audio channel");
    if (info.frames == 0)
        return fail("sound file " + path_ + " holds no samples");
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    // Integer files scale to ±1; float files are taken as they are, clipping included.
    sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    started_ = std::chrono::steady_clock::now();
}

size_t WavSource::readOnce(float* out, size_t maxSamples)
{
    interleaved_.resize(maxSamples * size_t(channels_));
    const sf_count_t frames = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(maxSamples));
    if (frames < 0)
        return 0;
    // NaN or infinite samples from a damaged float file become silence.
    // Told by their exponent bits, which the compiler does in vectors.
    auto finite = [](float sample) {
        uint32_t bits;
        std::memcpy(&bits, &sample, sizeof bits);
        return (bits & 0x7f800000u) != 0x7f800000u ? sample : 0.0f;
    };
    const float* in = interleaved_.data();
    const auto count = static_cast<size_t>(frames);
    if (channels_ == 1) {
        for (size_t i = 0; i < count; ++i)
            out[i] = finite(in[i]);
    } else {
        for (size_t i = 0; i < count; ++i)
            out[i] = finite(in[i * size_t(channels_)]);
    }
    return count;
}

size_t WavSource::read(float* out, size_t maxSamples)
{
    if (ended_ || maxSamples == 0)
        return 0;
    size_t got = readOnce(out, maxSamples);
    if (got == 0 && loop_) {
        if (sf_seek(file_, 0, SEEK_SET) < 0) {
            error_ = "cannot rewind sound file " + path_;
            ended_ = true;
            return 0;
        }
        got = readOnce(out, maxSamples);
    }
    if (got == 0) {
        if (sf_error(file_) != SF_ERR_NO_ERROR)
            error_ = "error reading sound file " + path_ + ": " + sf_strerror(file_);
        ended_ = true;
        return 0;
    }
    if (realTime_) {
        delivered_ += static_cast<long long>(got);
        const auto due = started_ + std::chrono::duration<double>(double(delivered_) / sampleRate_);
        std::this_thread::sleep_until(std::chrono::time_point_cast<std::chrono::steady_clock::duration>(due));
    }
    return got;
}

}  // namespace rtty
