#include "rtty/audio/AudioSource.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <portaudio.h>
#include <thread>
#include <unistd.h>

namespace rtty {

namespace {

constexpr double kSilentDeviceSeconds = 3.0;

// PortAudio counts its own initialisations; each user holds one. While it
// probes the host APIs, ALSA and JACK print dozens of lines about devices
// that are not there; those go to /dev/null, our own message says what
// matters. (Other threads' stderr is lost for that moment too.) PortAudio's
// set-up is not thread-safe; cards may open inputs at the same time.
std::mutex& portAudioLock()
{
    static std::mutex lock;
    return lock;
}

class PortAudioSession {
public:
    PortAudioSession()
    {
        std::lock_guard guard(portAudioLock());
        std::fflush(stderr);
        const int saved = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        if (saved >= 0 && null >= 0)
            ::dup2(null, STDERR_FILENO);
        error_ = Pa_Initialize();
        if (saved >= 0 && null >= 0)
            ::dup2(saved, STDERR_FILENO);
        if (null >= 0)
            ::close(null);
        if (saved >= 0)
            ::close(saved);
    }
    ~PortAudioSession()
    {
        std::lock_guard guard(portAudioLock());
        if (error_ == paNoError)
            Pa_Terminate();
    }
    PaError error() const { return error_; }

private:
    PaError error_ = paNoError;
};

class AudioSource : public SampleSource {
public:
    AudioSource(std::unique_ptr<PortAudioSession> session, PaStream* stream, std::string name, int channels,
                double sampleRate)
        : session_(std::move(session)), stream_(stream), name_(std::move(name)), channels_(channels),
          sampleRate_(sampleRate)
    {
    }
    ~AudioSource() override
    {
        std::lock_guard guard(portAudioLock());
        Pa_AbortStream(stream_);
        Pa_CloseStream(stream_);
    }

    double sampleRate() const override { return sampleRate_; }
    bool atEnd() const override { return ended_; }
    std::string errorText() const override { return error_; }
    std::string describe() const override { return "audio:" + name_; }
    bool waitsForInput() const override { return true; }
    void stopReading() override { stopped_ = true; }

    size_t read(float* out, size_t maxSamples) override
    {
        if (ended_ || maxSamples == 0)
            return 0;
        // Polled rather than blocking, so that a device that vanishes ends
        // the source instead of hanging the reader.
        const auto waitStarted = std::chrono::steady_clock::now();
        while (!stopped_) {
            const long available = Pa_GetStreamReadAvailable(stream_);
            if (available < 0)
                return fail(static_cast<PaError>(available));
            if (available > 0) {
                const auto frames = std::min<size_t>(maxSamples, static_cast<size_t>(available));
                buffer_.resize(frames * size_t(channels_));
                const PaError error = Pa_ReadStream(stream_, buffer_.data(), static_cast<unsigned long>(frames));
                if (error != paNoError && error != paInputOverflowed)
                    return fail(error);
                for (size_t i = 0; i < frames; ++i)
                    out[i] = buffer_[i * size_t(channels_)];
                return frames;
            }
            const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - waitStarted;
            if (waited.count() > kSilentDeviceSeconds) {
                error_ = "audio device " + name_ + " stopped delivering audio (disconnected?)";
                ended_ = true;
                return 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

private:
    size_t fail(PaError error)
    {
        error_ = "audio device " + name_ + " failed: " + Pa_GetErrorText(error);
        ended_ = true;
        return 0;
    }

    std::unique_ptr<PortAudioSession> session_;
    PaStream* stream_;
    std::string name_;
    int channels_;
    double sampleRate_;
    bool ended_ = false;
    std::atomic<bool> stopped_{false};
    std::string error_;
    std::vector<float> buffer_;
};

std::vector<AudioDevice> devices()
{
    std::vector<AudioDevice> list;
    const PaDeviceIndex defaultInput = Pa_GetDefaultInputDevice();
    for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (!info || info->maxInputChannels < 1)
            continue;
        list.push_back({i, info->name ? info->name : "", info->maxInputChannels, info->defaultSampleRate,
                        i == defaultInput});
    }
    return list;
}

}  // namespace

std::vector<AudioDevice> listAudioDevices(std::string& error)
{
    PortAudioSession session;
    if (session.error() != paNoError) {
        error = std::string("live audio is unavailable: ") + Pa_GetErrorText(session.error());
        return {};
    }
    std::lock_guard guard(portAudioLock());
    return devices();
}

std::unique_ptr<SampleSource> openAudioSource(const std::string& device, std::string& error)
{
    auto session = std::make_unique<PortAudioSession>();
    if (session->error() != paNoError) {
        error = std::string("live audio is unavailable: ") + Pa_GetErrorText(session->error());
        return nullptr;
    }
    std::unique_lock guard(portAudioLock());
    const std::vector<AudioDevice> list = devices();
    const AudioDevice* chosen = nullptr;
    for (const AudioDevice& candidate : list) {
        const bool matches = (device == "default" && candidate.isDefault)
            || device == std::to_string(candidate.index)
            || (!device.empty() && candidate.name.find(device) != std::string::npos);
        if (matches) {
            chosen = &candidate;
            break;
        }
    }
    if (!chosen) {
        error = list.empty() ? "no audio capture device is present"
                             : "no audio capture device matches '" + device + "' (see --list-audio)";
        return nullptr;
    }
    PaStreamParameters input{};
    input.device = chosen->index;
    input.channelCount = 1;
    input.sampleFormat = paFloat32;
    input.suggestedLatency = Pa_GetDeviceInfo(chosen->index)->defaultLowInputLatency;
    PaStream* stream = nullptr;
    double rate = 0.0;
    PaError result = paNoError;
    for (double candidateRate : {chosen->defaultSampleRate, 48000.0, 44100.0, 16000.0, 8000.0}) {
        if (candidateRate < 8000.0 || candidateRate > 192000.0)
            continue;
        result = Pa_OpenStream(&stream, &input, nullptr, candidateRate, paFramesPerBufferUnspecified, paNoFlag,
                               nullptr, nullptr);
        if (result == paNoError) {
            rate = candidateRate;
            break;
        }
    }
    if (result == paNoError)
        result = Pa_StartStream(stream);
    if (result != paNoError) {
        if (stream)
            Pa_CloseStream(stream);
        error = "cannot open audio device " + chosen->name + ": " + Pa_GetErrorText(result);
        return nullptr;
    }
    return std::make_unique<AudioSource>(std::move(session), stream, chosen->name, 1, rate);
}

}  // namespace rtty
