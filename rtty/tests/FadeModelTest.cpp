// The level model on fades: of both tones (dips, at a strong and a middling
// signal, and one before the levels are learnt), of one tone for seconds at
// a weak signal, and bursts that land in a fade of both.

#include "TestSignals.h"

#include "rtty/channel/HfChannel.h"
#include "rtty/dsp/SlotLikelihood.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;
using rtty::testing::line;

namespace {

constexpr double kRate = 8000.0;
constexpr double kSignalPower = 0.125;

double cerThrough(const std::string& text, const RttyParameters& parameters, const hfchannel::ChannelSettings& settings)
{
    std::vector<float> samples = renderText(text, kRate, parameters);
    hfchannel::HfChannel(settings).applyAligned(samples);
    const double cer = characterErrorRate(text, decodeAll(samples, kRate, parameters));
    if (std::getenv("FADE_MODEL_PRINT"))
        std::fprintf(stderr, "  %.0f/%.0f: CER %.4f\n", parameters.baud, parameters.shiftHz, cer);
    return cer;
}

hfchannel::ChannelSettings preset(const std::string& name, const RttyParameters& parameters, double snrDb, uint32_t seed)
{
    auto settings = hfchannel::channelPreset(name, kRate, kSignalPower, parameters.centreHz, parameters.shiftHz, seed);
    settings->snrDb = snrDb;
    return *settings;
}

}  // namespace

// Both tones 20 dB down for 300 ms every 3 s at +15 dB: in the dips the
// signal is at -5 dB, near the 1 % point of white noise at 75 Bd, and
// the first bits of each dip are read against levels from before it. At
// 50 Bd this modulator's signal still loses a shift code in some dips (a
// line of letters then prints in figures): 4-6 % here, where a signal
// sent by minimodem loses 0.2-0.3 %; the bounds there guard against a
// collapse of the level model (11 % and more), 75 Bd holds the target.
TEST(FadeModel, DipsOfBothTonesAtAMiddlingSignal)
{
    const std::string text = bulletinText(800, 51);
    for (auto [baud, shift, bound] : {std::tuple{50.0, 450.0, 0.08}, std::tuple{50.0, 425.0, 0.06},
                                      std::tuple{75.0, 850.0, 0.008}}) {
        const RttyParameters parameters = line(baud, shift);
        EXPECT_LE(cerThrough(text, parameters, preset("dips20", parameters, 15.0, 11)), bound) << baud << "/" << shift;
    }
}

// A dip within the first second of a transmission, before the levels are
// learnt from frames, at a strong signal: the characters in it are read at
// the pair's own level, and the text before it is not lost with them.
TEST(FadeModel, DipBeforeTheLevelsAreLearnt)
{
    const std::string text = bulletinText(120, 52);
    for (auto [baud, shift] : {std::pair{50.0, 450.0}, std::pair{75.0, 850.0}}) {
        const RttyParameters parameters = line(baud, shift);
        hfchannel::ChannelSettings settings;
        settings.sampleRate = kRate;
        settings.signalPower = kSignalPower;
        settings.seed = 12;
        settings.snrDb = 40.0;
        settings.dips = true;
        settings.dip.firstAtSeconds = 0.9;
        settings.dip.periodSeconds = 1000.0;
        EXPECT_LE(cerThrough(text, parameters, settings), 0.0) << baud << "/" << shift;
    }
}

// One tone 10-20 dB down for seconds at a time at +4 dB: the faded tone is
// in the noise, the other decides alone. Read as a fade of both, the other
// tone's weight fell with the faded one's (1.3-2.1 % here).
TEST(FadeModel, OneToneFadedForSecondsAtAWeakSignal)
{
    const std::string text = bulletinText(1000, 53);
    for (auto [baud, shift, bound] : {std::tuple{50.0, 450.0, 0.008}, std::tuple{75.0, 850.0, 0.01}}) {
        const RttyParameters parameters = line(baud, shift);
        EXPECT_LE(cerThrough(text, parameters, preset("selective", parameters, 4.0, 13)), bound) << baud << "/" << shift;
    }
}

// Moderate fading, a drifting offset and static crashes together: a crash
// in a fade of both is loud against the faded signal. Blanked, it lowers
// both tones for the bits it hits, which the level model reads as a short
// fade of both rather than as a decision; what is left of it widens the
// noise of the slots it reaches (1.3 % and 0.5 % before, 0.1 % and 0.7 %).
TEST(FadeModel, BurstsInsideFadesWithDrift)
{
    const std::string text = bulletinText(1000, 54);
    for (auto [baud, shift, bound] : {std::tuple{50.0, 450.0, 0.008}, std::tuple{75.0, 850.0, 0.01}}) {
        const RttyParameters parameters = line(baud, shift);
        EXPECT_LE(cerThrough(text, parameters, preset("storm", parameters, 24.0, 14)), bound) << baud << "/" << shift;
    }
}

// A strong signal's noise level is tiny: a slot misread as the opposite
// value (a frame slipped in a dip, a transition learnt from raw audio) puts
// a whole tone's power where noise is learnt. The slot SNR must not fall
// for it, while noise that really rises is followed within some characters.
TEST(FadeModel, MisreadSlotsDoNotLowerTheSlotSnr)
{
    std::mt19937 rng(4);
    std::normal_distribution<double> noise(0.0, 0.01);
    auto slot = [&](SlotLikelihood& likelihood, bool mark, double sigmaScale = 1.0) {
        const auto on = static_cast<float>(1.0 + sigmaScale * noise(rng));
        const auto off = static_cast<float>(std::hypot(sigmaScale * noise(rng), sigmaScale * noise(rng)));
        likelihood.learnSlot(mark, mark ? on : off, mark ? off : on);
    };
    SlotLikelihood likelihood;
    for (int k = 0; k < 700; ++k)
        slot(likelihood, k % 3 != 0);
    const double settled = likelihood.slotSnr();
    ASSERT_GT(settled, 1000.0);
    // A slipped frame's worth of slots read the wrong way round.
    for (int k = 0; k < 7; ++k)
        likelihood.learnSlot(k % 2 == 0, k % 2 == 0 ? 0.01f : 1.0f, k % 2 == 0 ? 1.0f : 0.01f);
    EXPECT_GT(likelihood.slotSnr(), 0.5 * settled);
    // Noise ten times the power: the SNR follows it down within a few
    // hundred slots (some forty characters).
    for (int k = 0; k < 400; ++k)
        slot(likelihood, k % 3 != 0, std::sqrt(10.0));
    EXPECT_LT(likelihood.slotSnr(), 0.2 * settled);
}

// Fades of both tones at a strong signal, some long enough to lose the
// frames: a frame that slips there, or transitions learnt from raw audio
// while none frame, once lowered the learnt SNR tenfold, and the characters
// after it were read at that for seconds (75/850 lost a line's shift in the
// next dip). Once learnt, the SNR the frames are read at stays near where
// it was.
TEST(FadeModel, SlotSnrHoldsAcrossDips)
{
    const std::string text = bulletinText(1400, 55);
    const RttyParameters parameters = line(75, 850);
    for (auto [seconds, depthDb] : {std::pair{0.3, 20.0}, std::pair{1.0, 30.0}}) {
        std::vector<float> samples = renderText(text, kRate, parameters);
        hfchannel::ChannelSettings settings = preset("dips20", parameters, 40.0, 1);
        settings.dip.seconds = seconds;
        settings.dip.depthDb = depthDb;
        settings.dip.periodSeconds = 5.0;
        hfchannel::HfChannel(settings).applyAligned(samples);
        std::vector<FrameEvent> frames;
        const std::string decoded = decodeAll(samples, kRate, parameters, 4096, &frames);
        std::vector<double> snrs;
        for (const FrameEvent& frame : frames)
            if (frame.startSample > 20.0 * kRate)  // the noise level is learnt by then
                snrs.push_back(frame.signalToNoise);
        ASSERT_GT(snrs.size(), 500u);
        std::vector<double> sorted = snrs;
        std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
        const double median = sorted[sorted.size() / 2];
        EXPECT_GT(*std::min_element(snrs.begin(), snrs.end()), 0.5 * median) << seconds << " s dips";
        if (std::getenv("FADE_MODEL_PRINT"))
            std::fprintf(stderr, "  %.1f s dips: least SNR %.0f, median %.0f, CER %.4f\n", seconds,
                         *std::min_element(snrs.begin(), snrs.end()), median, characterErrorRate(text, decoded));
    }
}

// A slot the blanker cut into holds its tones at the share of the window
// left, noise too; one blanked whole holds nothing. Read against the
// whole-window levels, the weaker of two unequal tones (a selective fade)
// won such slots whatever was sent.
TEST(FadeModel, SlotsBlankedInPartAreReadAtTheirShare)
{
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 0.02);
    SlotLikelihood likelihood;
    const double markAmplitude = 1.0, spaceAmplitude = 0.3;
    for (int k = 0; k < 600; ++k) {
        const bool mark = k % 3 != 0;
        const auto on = static_cast<float>((mark ? markAmplitude : spaceAmplitude) + noise(rng));
        const auto off = static_cast<float>(std::hypot(noise(rng), noise(rng)));
        likelihood.learnSlot(mark, mark ? on : off, mark ? off : on);
    }
    const auto markLevel = float(markAmplitude), spaceLevel = float(spaceAmplitude);
    auto llr = [&](double mark, double space, float kept) {
        return likelihood.llr(float(mark), float(space), markLevel, spaceLevel, 1.0f, 1.0f, kept);
    };
    // Blanked whole: a tie, which goes to mark by a vanishing margin.
    EXPECT_GT(llr(0.0, 0.0, 0.0f), 0.0);
    EXPECT_LT(llr(0.0, 0.0, 0.0f), 1e-6);
    EXPECT_LT(llr(0.0, 0.9, 0.0f), 1e-6);
    for (float kept : {0.3f, 0.6f, 0.9f}) {
        const double markSent = llr(kept * markAmplitude, 0.01, kept);
        const double spaceSent = llr(0.01, kept * spaceAmplitude, kept);
        EXPECT_GT(markSent, 0.5 * kept * llr(markAmplitude, 0.01, 1.0f)) << kept;
        EXPECT_LT(spaceSent, 0.5 * kept * llr(0.01, spaceAmplitude, 1.0f)) << kept;
    }
}

// A burst's tail that the blanker let through, in a fade of both tones:
// the faded tone's slot holds the burst's noise in both filters, far above
// the tone. Read at the learnt noise, the off-tone's filter won it with
// odds of some 10^8 to one; with the burst's noise power given, the slot
// says little either way, and a strong tone beside a weak burst still
// decides as before.
TEST(FadeModel, BurstNoiseLeftInASlotWidensItsNoise)
{
    std::mt19937 rng(6);
    std::normal_distribution<double> noise(0.0, 0.02);
    SlotLikelihood likelihood;
    for (int k = 0; k < 600; ++k) {
        const bool mark = k % 3 != 0;
        const auto on = static_cast<float>(1.0 + noise(rng));
        const auto off = static_cast<float>(std::hypot(noise(rng), noise(rng)));
        likelihood.learnSlot(mark, mark ? on : off, mark ? off : on);
    }
    auto llr = [&](double mark, double space, float level, float burst) {
        return likelihood.llr(float(mark), float(space), level, level, level, level, 1.0f, burst);
    };
    // Mark sent 16 dB down; the burst's noise (power 0.1 per dimension)
    // gives the space filter a typical magnitude of 0.45.
    const float faded = 0.15f, burst = 0.1f;
    EXPECT_LT(llr(faded, 0.45, faded, 0.0f), -10.0);
    EXPECT_GT(llr(faded, 0.45, faded, burst), -1.5);
    EXPECT_LT(std::fabs(llr(0.45, faded, faded, burst)), 1.5);
    // The same slot cut into by the blanker as well: still no strong vote.
    EXPECT_GT(likelihood.llr(faded, 0.45f, faded, faded, faded, faded, 0.5f, burst), -1.5);
    // Without a burst the call is the one without the argument.
    EXPECT_EQ(llr(0.9, 0.05, 1.0f, 0.0f), likelihood.llr(0.9f, 0.05f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f));
    // A weak burst beside a full tone: the decision stands, nearly as sure.
    const double clean = llr(0.95, 0.03, 1.0f, 0.0f);
    EXPECT_GT(llr(0.95, 0.03, 1.0f, 0.0004f), 0.5 * clean);
    EXPECT_GT(clean, 100.0);
}
