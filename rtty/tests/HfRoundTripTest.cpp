// Round trips through the HF channel simulator: fading, dips, mistuning.

#include "ChannelSignals.h"
#include "TestSignals.h"

#include "rtty/dsp/Baudot.h"
#include "rtty/audio/DemoSource.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/dsp/SlotLikelihood.h"
#include "rtty/channel/HfChannel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;
using rtty::testing::line;
using rtty::testing::throughChannel;

namespace {

constexpr double kRate = 8000.0;

// Offsets from the set centre, per code, as a transmitter off frequency would send.
std::vector<float> offTune(const std::string& text, const RttyParameters& parameters, double offsetHz, double snrDb)
{
    FskModulator modulator(kRate, parameters);
    modulator.setFrequencyOffset(offsetHz);
    std::vector<float> samples;
    modulator.appendIdle(8, samples);
    modulator.appendCodes(baudot::encode(text).codes, samples);
    modulator.appendIdle(8, samples);
    NoiseAdder(kRate, 0.125, snrDb, 21).add(samples.data(), samples.size());
    return samples;
}

}  // namespace

// Two-path Rayleigh fading at +20 dB: tones fade 20 dB and more, one at a
// time and both together; the levels must follow both, except under
// flutter, where following them would chase each bit's own fluctuation.
TEST(HfRoundTrip, FadedSignalsDecodeAtPlusTwentyDecibels)
{
    const std::string text = bulletinText(500, 31);
    for (auto [baud, shift, channel, bound] : {std::tuple{50.0, 450.0, "moderate", 0.02}, std::tuple{75.0, 850.0, "poor", 0.03},
                                               std::tuple{50.0, 425.0, "selective", 0.01},
                                               std::tuple{75.0, 850.0, "flutter", 0.02}}) {
        const RttyParameters parameters = line(baud, shift);
        const std::string decoded = decodeAll(throughChannel(text, parameters, channel, 20.0, 5), kRate, parameters);
        EXPECT_LE(characterErrorRate(text, decoded), bound) << channel << " " << baud << "/" << shift;
    }
}

// The squelch cannot open 60 Hz off at 50 Bd: the spectrum finds the
// tones, and what was heard mistuned is decoded again once they are found.
TEST(HfRoundTrip, SignalSixtyHertzOffIsPulledIn)
{
    const std::string text = bulletinText(250, 33);
    for (double offset : {60.0, -60.0}) {
        const RttyParameters parameters = line(50, 450);
        const std::vector<float> samples = offTune(text, parameters, offset, 0.0);
        RttyDemodulator demodulator(kRate, parameters);
        std::string decoded;
        for (size_t i = 0; i < samples.size(); i += 800)
            demodulator.process(samples.data() + i, std::min<size_t>(800, samples.size() - i), decoded);
        EXPECT_LE(characterErrorRate(text, decoded), 0.01) << offset;
        EXPECT_NEAR(demodulator.measuredCentreHz(), parameters.centreHz + offset, 2.0) << offset;
    }
}

// The demo broadcast switched from its slow fade to a fading HF channel.
TEST(HfRoundTrip, DemoThroughAnHfChannelDecodes)
{
    DemoOptions options;
    options.channel = "moderate";
    options.snrDb = 20.0;
    const std::string text = bulletinText(400, 34);
    bool sent = false;
    DemoSource demo(options, [&] { return sent ? std::string() : (sent = true, text); });
    std::vector<float> all, buffer(1000);
    while (size_t got = demo.read(buffer.data(), buffer.size()))
        all.insert(all.end(), buffer.begin(), buffer.begin() + static_cast<long>(got));
    EXPECT_LE(characterErrorRate(text, decodeAll(all, options.sampleRate, options.parameters)), 0.02);

    options.channel = "stormy";
    EXPECT_THROW(DemoSource(options, [] { return std::string(); }), std::invalid_argument);
}

TEST(HfRoundTrip, NoiseAloneDoesNotPullTheTuning)
{
    std::vector<float> noise(static_cast<size_t>(30 * kRate), 0.0f);
    NoiseAdder(kRate, 0.125, 0.0, 3).add(noise.data(), noise.size());
    RttyDemodulator demodulator(kRate, line(50, 450));
    std::string decoded;
    demodulator.process(noise.data(), noise.size(), decoded);
    EXPECT_EQ(decoded, "");
    EXPECT_DOUBLE_EQ(demodulator.measuredCentreHz(), 1500.0);
}

// The regime measure: steady or slowly fading slots let the local levels
// decide, slot-to-slot flutter does not.
TEST(SlotLikelihood, TellsFlutterFromSlowFading)
{
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(0.0, 0.05);
    auto feed = [&](SlotLikelihood& likelihood, auto level) {
        for (int slot = 0; slot < 400; ++slot) {
            const bool mark = (slot / 3) % 2 == 0;  // runs of three, so that neighbours pair up
            const auto on = static_cast<float>(level(slot) + noise(rng));
            const auto off = static_cast<float>(std::fabs(noise(rng)));
            likelihood.learnSlot(mark, mark ? on : off, mark ? off : on);
        }
    };
    SlotLikelihood steady, slow, flutter;
    feed(steady, [](int) { return 1.0; });
    feed(slow, [](int slot) { return 0.55 + 0.45 * std::sin(slot / 15.0); });
    std::uniform_real_distribution<double> rayleighish(0.1, 1.5);
    feed(flutter, [&](int) { return rayleighish(rng); });
    EXPECT_TRUE(steady.followsLocalLevels());
    EXPECT_TRUE(slow.followsLocalLevels());
    EXPECT_FALSE(flutter.followsLocalLevels());
}

// Both tones 20 dB down for 300 ms every 3 s, at a strong signal: the
// level model follows the common fade within a bit, so the dips cost
// nothing (before: a character or three each). 10 dB dips as well.
TEST(HfRoundTrip, DipsOfBothTonesCostAlmostNothing)
{
    const std::string text = bulletinText(600, 41);
    for (auto [baud, shift, channel, snr, bound] :
         {std::tuple{50.0, 450.0, "dips20", 40.0, 0.015}, std::tuple{75.0, 850.0, "dips20", 40.0, 0.015},
          std::tuple{50.0, 425.0, "dips10", 40.0, 0.015}}) {
        const RttyParameters parameters = line(baud, shift);
        const std::string decoded = decodeAll(throughChannel(text, parameters, channel, snr, 6), kRate, parameters);
        EXPECT_LE(characterErrorRate(text, decoded), bound) << channel << " " << baud << "/" << shift << " at " << snr;
    }
}

// One path fading slowly (flat Rayleigh, 0.5 Hz): fades of both tones in
// their natural form, tens of dB deep now and then.
TEST(HfRoundTrip, FlatFadingAtPlusTwentyFourDecibels)
{
    const std::string text = bulletinText(600, 42);
    for (auto [baud, shift] : {std::pair{50.0, 450.0}, std::pair{75.0, 850.0}}) {
        const RttyParameters parameters = line(baud, shift);
        const std::string decoded = decodeAll(throughChannel(text, parameters, "flat", 24.0, 7), kRate, parameters);
        EXPECT_LE(characterErrorRate(text, decoded), 0.005) << baud << "/" << shift;
    }
}

// Static crashes that land in fades of both tones: loud against the faded
// signal, they would swamp the bits they hit and lift the tone levels for
// a character either side. Blanked, they cost the bits under them only;
// the tail the blanker lets through, still far above the faded tones, is
// read as noise in both tones' filters, not as a tone.
TEST(HfRoundTrip, CrashesInsideFadesAreBlanked)
{
    const std::string text = bulletinText(600, 43);
    const RttyParameters parameters = line(50, 450);
    std::vector<float> samples = renderText(text, kRate, parameters);
    hfchannel::ChannelSettings settings;
    settings.sampleRate = kRate;
    settings.signalPower = 0.125;
    settings.dips = true;
    settings.dip.depthDb = 20.0;
    settings.dip.seconds = 0.4;
    settings.impulses = true;
    settings.impulse.clicksPerSecond = 3.0;
    settings.impulse.crashesPerSecond = 0.3;
    settings.impulse.minAboveSignalDb = 20.0;
    settings.impulse.maxAboveSignalDb = 30.0;
    settings.snrDb = 30.0;
    settings.seed = 8;
    hfchannel::HfChannel(settings).applyAligned(samples);
    // Without blanking: 7.7 %; the crashes' own bits cost about 3 %. With
    // the pair's share told from each tone's own level, 5.3 % on this file;
    // with blanked slots read at their share, 2.0 %; with the tails' noise
    // weighed, 0.67 %.
    const double cer = characterErrorRate(text, decodeAll(samples, kRate, parameters));
    if (std::getenv("FADE_MODEL_PRINT"))
        std::fprintf(stderr, "  CER %.4f\n", cer);
    EXPECT_LE(cer, 0.015);
}

// A voice on the frequency (speech-like noise: loud, bursty, tonal) frames a
// character now and then, and runs of them at the rhythm of text; traffic
// runs on, each frame as decided as the signal's level says. Twenty minutes
// of it, ten voices at two levels, at 50 Bd / 425 Hz: when any run of
// framed characters opened the text, some 170 characters came out of the
// same voices in an hour (seeds 8 and 9 at +20 dB the worst: 67 and 37 in
// their minute); allowed now is one a minute.
TEST(HfRoundTrip, SpeechOnTheChannelPrintsAlmostNothing)
{
    size_t printed = 0;
    std::string heard;
    for (uint32_t seed = 1; seed <= 10; ++seed)
        for (double speechDb : {10.0, 20.0}) {
            std::vector<float> samples(static_cast<size_t>(60 * kRate), 0.0f);
            auto settings = hfchannel::channelPreset("speech", kRate, 0.125, 1500.0, 425.0, seed);
            settings->snrDb = speechDb;
            hfchannel::HfChannel(*settings).applyAligned(samples);
            const std::string text = decodeAll(samples, kRate, line(50, 425));
            printed += text.size();
            heard += text;
        }
    EXPECT_LE(printed, 20u) << heard;
}

// A transmission that ends without an idle tail (as many senders and
// recordings do) leaves the framer locked while the line goes quiet; the
// blank frames after the last line printed a digit each in figures ("33"
// after a bulletin's end where one noise frame had printed "3").
TEST(HfRoundTrip, NothingButNoiseFollowsABulletinsEnd)
{
    const std::string text = "ZCZC 001\r\nAAXX 09061\r\n10400 12544 12724 10052 20003\r\n";
    for (const RttyParameters& parameters : {line(50, 425), line(50, 450), line(75, 850)})
        for (uint32_t seed = 1; seed <= 3; ++seed) {
            RenderOptions options;
            options.trailerBits = 0.0;
            std::vector<float> samples = renderText(text, kRate, parameters, options);
            auto settings = hfchannel::channelPreset("dips20", kRate, 0.125, 1500.0, parameters.shiftHz, seed);
            settings->snrDb = 15.0;
            hfchannel::HfChannel(*settings).applyAligned(samples);
            const std::string decoded = decodeAll(samples, kRate, parameters);
            const size_t end = decoded.rfind("20003");
            ASSERT_NE(end, std::string::npos) << decoded;
            EXPECT_LE(decoded.size() - end, std::string("20003\r\n").size() + 1)
                << parameters.baud << "/" << parameters.shiftHz << " seed " << seed << ": " << decoded.substr(end);
        }
}

// The loudest voices of the benchmark that printed on one line or another:
// 49 and 38 characters in their minute at 50/425 when the coarse tuning took
// their formants for tones and decoded each jump again, 18 and 87 for two
// others once it no longer did (frames below the FSK bar did not break the
// run that opens the text). Allowed: one a minute on each line.
TEST(HfRoundTrip, LoudVoicesPrintAlmostNothingOnAnyLine)
{
    for (const RttyParameters& parameters : {line(50, 425), line(50, 450), line(75, 850)}) {
        size_t printed = 0;
        std::string heard;
        for (uint32_t seed : {15u, 16u, 19u, 20u}) {
            std::vector<float> samples(static_cast<size_t>(60 * kRate), 0.0f);
            auto settings = hfchannel::channelPreset("speech", kRate, 0.125, 1500.0, parameters.shiftHz, seed);
            settings->snrDb = 20.0;
            hfchannel::HfChannel(*settings).applyAligned(samples);
            const std::string text = decodeAll(samples, kRate, parameters);
            printed += text.size();
            heard += text;
        }
        EXPECT_LE(printed, 4u) << parameters.baud << "/" << parameters.shiftHz << ": " << heard;
    }
}

// The same squelch must not hold back a weak transmission's head: a short
// bulletin after seconds of noise, near the white-noise 1 % point, prints
// from its first group on. Nor may the head gain a letter: where the signal
// comes up, a frame straddling the onset (its start bit from the noise, the
// rest from the idle mark) read as a letter before "ZCZC" in most of these
// runs at 75 Bd.
TEST(HfRoundTrip, WeakTransmissionPrintsFromItsFirstCharacters)
{
    const std::string text = "ZCZC 001\r\nSMDL01 EDZW 080300\r\nAAXX 08031\r\n10400 12544 12724 10052=\r\n";
    int extraHeads = 0;
    for (const auto& [parameters, snrDb] : {std::pair{line(50, 425), -6.0}, std::pair{line(75, 850), -4.5}})
        for (uint32_t seed = 1; seed <= 6; ++seed) {
            std::vector<float> samples(static_cast<size_t>(4 * kRate), 0.0f);
            const std::vector<float> signal = renderText(text, kRate, parameters);
            samples.insert(samples.end(), signal.begin(), signal.end());
            auto settings = hfchannel::channelPreset("white", kRate, 0.125, 1500.0, parameters.shiftHz, seed);
            settings->snrDb = snrDb;
            hfchannel::HfChannel(*settings).applyAligned(samples);
            const std::string decoded = decodeAll(samples, kRate, parameters);
            const size_t head = decoded.find("ZCZC 0");
            EXPECT_NE(head, std::string::npos) << parameters.baud << " Bd, seed " << seed << ": " << decoded;
            EXPECT_LE(characterErrorRate(text, decoded), 0.15) << parameters.baud << " Bd, seed " << seed << ": " << decoded;
            extraHeads += head != std::string::npos && head > 0;
        }
    EXPECT_LE(extraHeads, 1);
}
