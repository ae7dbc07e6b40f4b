#include "cardserver/demod/WavSource.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace rtty {

WavSource::WavSource(const std::string& path, bool loop, bool realTime)
    : path_(path), loop_(loop), realTime_(realTime)
{
    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (!file_) {
        error_ = "cannot read sound file " + path + ": " + sf_strerror(nullptr);
        ended_ = true;
        return;
    }
    if (info.channels < 1 || info.samplerate < 1) {
        error_ = "sound file " + path + " has no audio channel";
    } else if (info.frames == 0) {
        error_ = "sound file " + path + " holds no samples";
    }
    if (!error_.empty()) {
        sf_close(file_);
        file_ = nullptr;
        ended_ = true;
        return;
    }
    sampleRate_ = info.samplerate;
    channels_ = info.channels;
    // Integer files scale to ±1; float files are taken as they are, clipping included.
    sf_command(file_, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    started_ = std::chrono::steady_clock::now();
}

WavSource::~WavSource()
{
    if (file_)
        sf_close(file_);
}

size_t WavSource::readOnce(float* out, size_t maxSamples)
{
    interleaved_.resize(maxSamples * size_t(channels_));
    const sf_count_t frames = sf_readf_float(file_, interleaved_.data(), static_cast<sf_count_t>(maxSamples));
    if (frames < 0)
        return 0;
    for (sf_count_t i = 0; i < frames; ++i) {
        const float sample = interleaved_[size_t(i) * size_t(channels_)];
        // NaN or infinite samples from a damaged float file become silence.
        out[i] = std::isfinite(sample) ? sample : 0.0f;
    }
    return static_cast<size_t>(frames);
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
