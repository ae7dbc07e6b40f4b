#pragma once

#include "rtty/audio/SampleSource.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// Reads a live source (a device, a pipe, the network) on a thread of its
// own, so that several can be taken from one loop without any of them
// holding up the others. At most `capacitySeconds` wait: a device or the
// network loses its oldest audio, as a receiver would, while a pipe's
// writer is held back instead.

namespace rtty {

class LiveReader {
public:
    LiveReader(SampleSource& source, double capacitySeconds = 4.0);
    ~LiveReader();
    LiveReader(const LiveReader&) = delete;
    LiveReader& operator=(const LiveReader&) = delete;

    // Takes up to `wanted` samples of what has come in, without waiting.
    size_t take(float* out, size_t wanted);
    // Samples waiting to be taken.
    size_t available();
    // Waits up to `seconds` for audio (or the end) to be there.
    void waitForAudio(double seconds);
    // The source has ended and all it gave was taken.
    bool drained();

private:
    void run();

    SampleSource& source_;
    size_t capacity_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<float> samples_;
    bool ended_ = false;
    std::thread thread_;
};

}  // namespace rtty
