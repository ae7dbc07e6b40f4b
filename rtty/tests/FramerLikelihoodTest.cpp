// How many slot likelihoods the framer asks for: each is the dearest step
// of the demodulator, and a locked character needs far fewer than its
// start's whole search grid holds.

#include "TestSignals.h"

#include "rtty/dsp/CharacterFramer.h"
#include "rtty/dsp/ReceiverFrontEnd.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::line;

namespace {

// A front end that counts the slot LLRs asked of it.
class CountingSource final : public SoftBitSource {
public:
    explicit CountingSource(ReceiverFrontEnd& inner) : inner_(inner) {}
    double llrAt(double centre) const override
    {
        ++asked;
        return inner_.llrAt(centre);
    }
    void llrs(double first, double step, std::size_t count, double* out) const override
    {
        asked += count;
        inner_.llrs(first, step, count, out);
    }
    double newestCentre() const override { return inner_.newestCentre(); }
    int64_t samplesIn() const override { return inner_.samplesIn(); }
    double slotSnr() const override { return inner_.slotSnr(); }
    bool fastFadingSeen() const override { return inner_.fastFadingSeen(); }
    void learnFrame(double start, double bitSamples, uint8_t code) override { inner_.learnFrame(start, bitSamples, code); }
    void tuneOnFrame(double start, double bitSamples, uint8_t code) override { inner_.tuneOnFrame(start, bitSamples, code); }
    void discardBefore(double instant) override { inner_.discardBefore(instant); }

    mutable std::size_t asked = 0;

private:
    ReceiverFrontEnd& inner_;
};

// The text at `snrDb` in 3 kHz, after `gain` has shaped its level, run
// through a counting front end and the framer; each frame's count is the
// LLRs asked since the frame before it.
struct FramedRun {
    std::string decoded;
    std::vector<std::pair<double, std::size_t>> askedPerFrame;  // start sample, LLRs
};

template <typename Gain>
FramedRun runFramer(const std::string& text, double snrDb, Gain gain)
{
    constexpr double kRate = 8000.0;
    const RttyParameters parameters = line(50, 450);
    std::vector<float> samples = renderText(text, kRate, parameters);
    double power = 0.0;
    for (float sample : samples)
        power += double(sample) * sample;
    power /= double(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] *= float(gain(double(i) / kRate));
    std::mt19937 random(9);
    // Noise power over the whole 4 kHz band for the SNR in 3 kHz.
    const double noisePower = power / std::pow(10.0, snrDb / 10.0) * 4000.0 / 3000.0;
    std::normal_distribution<float> noise(0.0f, float(std::sqrt(noisePower)));
    for (float& sample : samples)
        sample += noise(random);

    ReceiverFrontEnd frontEnd(kRate, parameters);
    CountingSource source(frontEnd);
    CharacterFramer framer(kRate, parameters);
    framer.restart(source);
    FramedRun run;
    std::size_t askedBefore = 0;
    framer.setFrameObserver([&](const FrameEvent& event) {
        run.askedPerFrame.emplace_back(event.startSample, source.asked - askedBefore);
        askedBefore = source.asked;
    });
    const std::vector<float> silence(std::size_t(kRate), 0.0f);
    auto feed = [&](const float* block, std::size_t n) {
        frontEnd.process(block, n, !framer.locked());
        framer.updateSquelch();
        framer.run(run.decoded);
        framer.discardOld();
    };
    constexpr std::size_t kPiece = 400;
    for (std::size_t at = 0; at + kPiece <= samples.size(); at += kPiece)
        feed(samples.data() + at, kPiece);
    for (std::size_t at = 0; at < silence.size(); at += kPiece)
        feed(silence.data() + at, kPiece);
    return run;
}

}  // namespace

// A minute of traffic at +10 dB in 3 kHz, one character after another: the
// start's grid round the flywheel's prediction holds 33 instants of 8 slots
// (257 LLRs); looked at on every fourth instant and then round the best,
// with the frame's own slots taken from its score, a character needs about
// 120 (the first ones were found by the wider search). Asking for the
// whole grid again would double it. The text is what the line carries.
TEST(FramerLikelihoods, LockedCharacterAsksForFewSlotLlrs)
{
    const std::string text = bulletinText(400, 4);
    const FramedRun run = runFramer(text, 10.0, [](double) { return 1.0; });

    EXPECT_LT(characterErrorRate(text, run.decoded), 0.01) << run.decoded;
    ASSERT_GE(run.askedPerFrame.size(), text.size());
    std::size_t asked = 0;
    for (const auto& frame : run.askedPerFrame)
        asked += frame.second;
    const double perFrame = double(asked) / double(run.askedPerFrame.size());
    EXPECT_LT(perFrame, 140.0);
    EXPECT_GT(perFrame, 50.0);  // the count is of what the framer really asks
}

// A strong signal whose two tones fade together by 25 dB for a second every
// four: the slot SNR learnt before a fade still says strong inside it, but
// a faded frame scores far under a good one, and the coarse search's
// assumption (a score that rises smoothly to its peak) no longer holds
// there. Inside the fades the whole grid is looked at; outside, the few.
TEST(FramerLikelihoods, FadedFramesAreLookedForOnTheWholeGrid)
{
    constexpr double kRate = 8000.0;
    const std::string text = bulletinText(400, 5);
    auto inFade = [](double seconds) {
        return seconds > 2.0 && std::fmod(seconds, 4.0) >= 1.5 && std::fmod(seconds, 4.0) < 2.5;
    };
    const double faded = std::pow(10.0, -25.0 / 20.0);
    const FramedRun run = runFramer(text, 40.0, [&](double seconds) { return inFade(seconds) ? faded : 1.0; });

    EXPECT_LT(characterErrorRate(text, run.decoded), 0.02) << run.decoded;
    std::vector<std::size_t> inside, outside;
    const double frameSeconds = 7.5 * (1.0 / 50.0);
    for (const auto& [start, asked] : run.askedPerFrame) {
        const double seconds = start / kRate;
        if (seconds < 4.0) continue;  // the first lock's wide search
        if (inFade(seconds + 0.1 * frameSeconds) && inFade(seconds + 0.9 * frameSeconds))
            inside.push_back(asked);
        else if (!inFade(seconds - frameSeconds) && !inFade(seconds) && !inFade(seconds + 2.0 * frameSeconds))
            outside.push_back(asked);
    }
    auto median = [](std::vector<std::size_t> values) {
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(values.size() / 2), values.end());
        return values[values.size() / 2];
    };
    ASSERT_GE(inside.size(), 20u);
    ASSERT_GE(outside.size(), 100u);
    EXPECT_GE(median(inside), 257u);
    EXPECT_LT(median(outside), 140u);
}
