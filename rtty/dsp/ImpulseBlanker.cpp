#include "rtty/dsp/ImpulseBlanker.h"

#include <algorithm>
#include <cmath>

namespace rtty {

namespace {

constexpr double kFastSeconds = 0.02;
constexpr double kSlowSeconds = 1.0;
constexpr double kHoldSeconds = 0.002;
// Amplitude limit against the recent RMS: a steady tone peaks at 1.4 times
// its RMS, Gaussian noise passes 5 sigma about once in two million samples.
constexpr double kLimit = 6.0;
// A burst ends when its power over the last half millisecond is back
// within this many times the recent mean (its decaying tail stays loud).
constexpr double kReleasePower = 8.0;
constexpr double kShortSeconds = 0.0005;
// Longer than any burst: the level itself has risen (a signal after
// silence), and the means start again from it.
constexpr double kLongestBurstSeconds = 0.1;
constexpr std::size_t kBlock = 32;
constexpr std::size_t kShortBlock = 4;
// Below this mean power (about -90 dBFS) the audio is digital silence,
// against which nothing counts as a burst.
constexpr double kSilence = 1e-9;

}  // namespace

ImpulseBlanker::ImpulseBlanker(double sampleRate)
    : fastAlpha_(1.0 / (kFastSeconds * sampleRate)),
      slowAlpha_(1.0 / (kSlowSeconds * sampleRate)),
      shortAlpha_(std::min(1.0, 1.0 / (kShortSeconds * sampleRate))),
      fastBlockAlpha_(1.0 - std::pow(1.0 - fastAlpha_, double(kBlock))),
      slowBlockAlpha_(1.0 - std::pow(1.0 - slowAlpha_, double(kBlock))),
      settleSamples_(kFastSeconds * sampleRate),
      holdSamples_(std::max(1, static_cast<int>(kHoldSeconds * sampleRate))),
      longestBurst_(static_cast<long>(kLongestBurstSeconds * sampleRate))
{
}

bool ImpulseBlanker::quietBlock(const float* in, float* out)
{
    const double reference = std::max(fastPower_, slowPower_);
    const auto limit = static_cast<float>(kLimit * kLimit * reference);
    float sum = 0.0f;
    bool quiet = reference > kSilence;
    for (std::size_t k = 0; k < kBlock; ++k) {
        const float power = in[k] * in[k];
        quiet &= power <= limit;  // false for a sample that is not a number, too
        sum += power;
    }
    if (!quiet)
        return false;
    std::copy_n(in, kBlock, out);
    const double mean = sum / kBlock;
    fastPower_ += fastBlockAlpha_ * (mean - fastPower_);
    slowPower_ += slowBlockAlpha_ * (mean - slowPower_);
    float tail = 0.0f;
    for (std::size_t k = kBlock - kShortBlock; k < kBlock; ++k)
        tail += in[k] * in[k];
    shortPower_ = tail / kShortBlock;
    seen_ += kBlock;
    return true;
}

std::size_t ImpulseBlanker::process(const float* in, std::size_t n, float* out, std::vector<Run>* runs)
{
    auto blank = [runs](std::size_t at) {
        if (!runs)
            return;
        if (!runs->empty() && runs->back().first + runs->back().count == at)
            ++runs->back().count;
        else
            runs->push_back({at, 1});
    };
    std::size_t blanked = 0;
    const double limit2 = kLimit * kLimit;
    std::size_t i = 0;
    while (i < n) {
        // Most of the time nothing stands out: a block is checked against
        // the level at its start, and the means move on by its mean power.
        if (!burst_ && hold_ == 0 && seen_ >= settleSamples_ && i + kBlock <= n && quietBlock(in + i, out + i)) {
            i += kBlock;
            continue;
        }
        for (const std::size_t end = std::min(n, i + kBlock); i < end; ++i) {
            const double x = in[i];
            if (!std::isfinite(x)) {  // a damaged sample is blanked and learnt nothing from
                out[i] = 0.0f;
                blank(i);
                ++blanked;
                continue;
            }
            const double power = x * x;
            const double reference = std::max(fastPower_, slowPower_);
            if (reference <= kSilence)
                seen_ = 0.0;  // after digital silence the means start again from what comes
            shortPower_ += shortAlpha_ * (power - shortPower_);
            if (burstLength_ > longestBurst_) {
                fastPower_ = slowPower_ = shortPower_;
                hold_ = 0;
                burst_ = false;
                burstLength_ = 0;
            }
            if (seen_ >= settleSamples_ && power > limit2 * reference)
                hold_ = holdSamples_;
            if (hold_ > 0 || (burst_ && shortPower_ > kReleasePower * reference)) {
                burst_ = true;
                ++burstLength_;
                hold_ = std::max(hold_ - 1, 0);
                out[i] = 0.0f;
                blank(i);
                ++blanked;
                continue;
            }
            burst_ = false;
            burstLength_ = 0;
            out[i] = in[i];
            seen_ += 1.0;
            // Until the means settle they start from the first samples.
            const double fast = std::max(fastAlpha_, 1.0 / seen_), slow = std::max(slowAlpha_, 1.0 / seen_);
            fastPower_ += fast * (power - fastPower_);
            slowPower_ += slow * (power - slowPower_);
        }
    }
    return blanked;
}

}  // namespace rtty
