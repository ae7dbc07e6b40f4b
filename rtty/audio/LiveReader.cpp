#include "rtty/audio/LiveReader.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace rtty {

LiveReader::LiveReader(SampleSource& source, double capacitySeconds)
    : source_(source), capacity_(size_t(source.sampleRate() * capacitySeconds)), thread_([this] { run(); })
{
}

LiveReader::~LiveReader()
{
    stop_ = true;
    source_.stopReading();  // a pipe or socket with nothing to say would hold the join
    thread_.join();
}

size_t LiveReader::take(float* out, size_t wanted)
{
    std::lock_guard lock(mutex_);
    const size_t n = std::min(wanted, samples_.size());
    std::copy_n(samples_.begin(), n, out);
    samples_.erase(samples_.begin(), samples_.begin() + long(n));
    return n;
}

size_t LiveReader::available()
{
    std::lock_guard lock(mutex_);
    return samples_.size();
}

void LiveReader::waitForAudio(double seconds)
{
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return !samples_.empty() || ended_; });
}

bool LiveReader::drained()
{
    std::lock_guard lock(mutex_);
    return ended_ && samples_.empty();
}

void LiveReader::run()
{
    std::vector<float> block(std::max<size_t>(64, size_t(source_.sampleRate() / 20)));
    while (!stop_) {
        const size_t n = source_.read(block.data(), block.size());
        std::unique_lock lock(mutex_);
        if (n == 0) {
            ended_ = true;
            arrived_.notify_all();
            break;
        }
        while (source_.senderWaits() && !stop_ && samples_.size() + n > capacity_) {
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            lock.lock();
        }
        samples_.insert(samples_.end(), block.begin(), block.begin() + long(n));
        if (samples_.size() > capacity_)
            samples_.erase(samples_.begin(), samples_.end() - long(capacity_));
        arrived_.notify_all();
    }
}

}  // namespace rtty
