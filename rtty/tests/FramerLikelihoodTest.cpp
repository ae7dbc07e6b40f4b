// How many slot likelihoods the framer asks for: each is the dearest step
// of the demodulator, and a locked character needs far fewer than its
// start's whole search grid holds.

#include "TestSignals.h"

#include "rtty/dsp/CharacterFramer.h"
#include "rtty/dsp/ReceiverFrontEnd.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <random>

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

}  // namespace

// A minute of traffic at +10 dB in 3 kHz, one character after another: the
// start's grid round the flywheel's prediction holds 33 instants of 8 slots
// (257 LLRs); looked at on every fourth instant and then round the best,
// with the frame's own slots taken from its score, a character needs about
// 120 (the first ones were found by the wider search). Asking for the
// whole grid again would double it. The text is what the line carries.
TEST(FramerLikelihoods, LockedCharacterAsksForFewSlotLlrs)
{
    constexpr double kRate = 8000.0;
    const RttyParameters parameters = line(50, 450);
    const std::string text = bulletinText(400, 4);
    std::vector<float> samples = renderText(text, kRate, parameters);
    std::mt19937 random(9);
    double power = 0.0;
    for (float sample : samples)
        power += double(sample) * sample;
    power /= double(samples.size());
    // +10 dB in 3 kHz: noise power over the whole 4 kHz band.
    std::normal_distribution<float> noise(0.0f, float(std::sqrt(power / 10.0 * 4000.0 / 3000.0)));
    for (float& sample : samples)
        sample += noise(random);

    ReceiverFrontEnd frontEnd(kRate, parameters);
    CountingSource source(frontEnd);
    CharacterFramer framer(kRate, parameters);
    framer.restart(source);
    std::size_t frames = 0;
    framer.setFrameObserver([&](const FrameEvent&) { ++frames; });
    std::string decoded;
    const std::vector<float> silence(std::size_t(kRate), 0.0f);
    auto feed = [&](const float* block, std::size_t n) {
        frontEnd.process(block, n, !framer.locked());
        framer.updateSquelch();
        framer.run(decoded);
        framer.discardOld();
    };
    constexpr std::size_t kPiece = 400;
    for (std::size_t at = 0; at + kPiece <= samples.size(); at += kPiece)
        feed(samples.data() + at, kPiece);
    for (std::size_t at = 0; at < silence.size(); at += kPiece)
        feed(silence.data() + at, kPiece);

    EXPECT_LT(characterErrorRate(text, decoded), 0.01) << decoded;
    ASSERT_GE(frames, text.size());
    const double perFrame = double(source.asked) / double(frames);
    EXPECT_LT(perFrame, 140.0);
    EXPECT_GT(perFrame, 50.0);  // the count is of what the framer really asks
}
