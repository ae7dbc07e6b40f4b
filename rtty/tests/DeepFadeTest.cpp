// Fades of both tones deep enough to take a strong signal down to where
// the other tone's leakage, not noise, filled the off-tone's filter: the
// level model must read the dip against the noise that is left in it.

#include "TestSignals.h"

#include "rtty/channel/HfChannel.h"
#include "rtty/dsp/SlotLikelihood.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// Slots of a steady signal whose off-tone holds `leakage` of the on-tone
// (at a random phase against the noise) plus complex noise of `sigma` per
// component. With `misreadEvery` set, every such slot is decided the wrong
// way round, as a frame that slips at a fade's edge is: the off-tone's filter
// then holds the on-tone whole.
void learnSlotsWithMisreads(SlotLikelihood& likelihood, double leakage, double sigma, int count, int misreadEvery,
                            uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    for (int k = 0; k < count; ++k) {
        const bool mark = k % 3 != 0;
        const double on = std::hypot(1.0 + noise(rng), noise(rng));
        const double off = std::hypot(leakage * on + noise(rng), noise(rng));
        const bool misread = misreadEvery > 0 && k % misreadEvery == misreadEvery - 1;
        likelihood.learnSlot(misread ? !mark : mark, float(mark ? on : off), float(mark ? off : on));
    }
}

void learnSlots(SlotLikelihood& likelihood, double leakage, double sigma, int count, uint32_t seed)
{
    learnSlotsWithMisreads(likelihood, leakage, sigma, count, 0, seed);
}

// 75/850 at 8000 Hz, sent by this modulator, through `channel` at `snrDb`.
double characterErrorRateThrough(const std::string& text, const char* channel, double snrDb, uint32_t seed)
{
    const RttyParameters parameters = line(75.0, 850.0);
    std::vector<float> samples = renderText(text, kRate, parameters);
    auto settings = hfchannel::channelPreset(channel, kRate, kSignalPower, parameters.centreHz, parameters.shiftHz, seed);
    if (!settings)
        return 1.0;
    settings->snrDb = snrDb;
    hfchannel::HfChannel(*settings).applyAligned(samples);
    const double cer = characterErrorRate(text, decodeAll(samples, kRate, parameters));
    if (std::getenv("FADE_MODEL_PRINT"))
        std::fprintf(stderr, "  %s at %.0f dB: CER %.4f\n", channel, snrDb, cer);
    return cer;
}

}  // namespace

// On a strong signal what the off-tone holds beyond the leakage is tiny.
// A slot decided the wrong way round (a frame slipping at a fade's edge)
// puts the on-tone's whole power there; one in a hundred such slots must
// not lift the noise to near the leakage, nor a clean signal's leakage a
// little above the filters' own (slots a few hundredths of a bit off their
// centre) count as noise: either way a fade of both tones 30-40 dB deep
// would be read as both tones off.
TEST(DeepFades, MisreadSlotsAndALittleMoreLeakageAreNotNoise)
{
    const double sidelobe = std::fabs(std::sin(M_PI * 850.0 / 75.0) / (M_PI * 850.0 / 75.0));
    for (auto [leakage, misreadEvery] : {std::pair{sidelobe, 100}, std::pair{1.15 * sidelobe, 1 << 30},
                                         std::pair{1.15 * sidelobe, 150}}) {
        SlotLikelihood likelihood;
        likelihood.setLeakage(sidelobe);
        learnSlotsWithMisreads(likelihood, leakage, 1e-4, 3000, misreadEvery, 9);
        for (double noise : {likelihood.markNoise(), likelihood.spaceNoise()})
            EXPECT_LT(noise, 0.1 * leakage) << leakage << " " << misreadEvery;
    }
    // Noise that really rises is still followed, misread slots or not.
    SlotLikelihood likelihood;
    likelihood.setLeakage(sidelobe);
    learnSlotsWithMisreads(likelihood, sidelobe, 1e-4, 1500, 100, 10);
    learnSlotsWithMisreads(likelihood, sidelobe, 0.05, 1500, 100, 11);
    for (double noise : {likelihood.markNoise(), likelihood.spaceNoise()})
        EXPECT_GT(noise, 0.5 * std::sqrt(2.0) * 0.05);
}

// Both tones 40 and 35 dB down for a second every four at +60 dB, 75/850:
// inside the fade the signal is still 30 dB above the noise in a bit, yet
// the level model read it against the leakage of the signal before the
// fade taken for noise, and lost most characters inside it (minimodem's
// signal: 18-28 % of all; this modulator's, whose leakage is the filters'
// own: 2.7 % here, now 1.1 %). What is left is the first fade, before
// anything is learnt, and the odd shift code at a fade's edge.
TEST(DeepFades, SecondLongFadesOfBothTonesAtAStrongSignal)
{
    const std::string text = bulletinText(700, 62);
    EXPECT_LE(characterErrorRateThrough(text, "dips:40:1:4", 60.0, 31), 0.02);
    EXPECT_LE(characterErrorRateThrough(text, "dips:35:1:4", 60.0, 32), 0.03);
}

// 50 Bd at 425 Hz puts each tone on a sidelobe peak of the other's filter
// (-28 dB). At +40 dB the noise is 30 dB below that: it, not the leakage,
// is what stays when both tones fade, and the noise level must come out
// well below the leakage's. Where the noise is above the leakage (a weak
// signal), or there is none, the estimate is the noise.
TEST(DeepFades, NoiseIsToldFromTheOtherTonesLeakage)
{
    const double sidelobe = 1.0 / (M_PI * 8.5);
    // More leakage than the filters' own, up to a little over it (slots
    // off their centre), is taken as leakage, beyond that as noise.
    for (auto [leakage, most] : {std::pair{sidelobe, 0.25}, std::pair{1.15 * sidelobe, 0.6}}) {
        SlotLikelihood likelihood;
        likelihood.setLeakage(sidelobe);
        learnSlots(likelihood, leakage, 0.001, 1500, 7);
        for (double noise : {likelihood.markNoise(), likelihood.spaceNoise()}) {
            EXPECT_LT(noise, most * leakage) << leakage;
            EXPECT_GT(noise, 0.5 * std::sqrt(2.0) * 0.001) << leakage;
        }
    }
    for (auto [leakage, sigma] : {std::pair{sidelobe, 0.05}, std::pair{0.0, 0.001}, std::pair{0.0, 0.05}}) {
        SlotLikelihood likelihood;
        likelihood.setLeakage(sidelobe);
        learnSlots(likelihood, leakage, sigma, 1500, 8);
        const double noise = std::sqrt(2.0) * sigma;  // RMS magnitude of the noise alone
        for (double estimate : {likelihood.markNoise(), likelihood.spaceNoise()}) {
            EXPECT_LT(estimate, 2.0 * noise) << leakage << " " << sigma;
            EXPECT_GT(estimate, 0.5 * noise) << leakage << " " << sigma;
        }
    }
}

// Both tones 30 dB down for 300 ms every 3 s at +40 dB: in the dips the
// signal is still some 25 dB above the noise in a bit. Read against the
// leakage's level as noise, the dips' characters were lost (9 % here at
// 50/425; 10 % and 5 % at 50/425 and 75/850 sent by minimodem). This
// modulator's signal still loses a shift code in some dips at 50 Bd
// (FadeModel.DipsOfBothTonesAtAMiddlingSignal), hence the bounds there.
TEST(DeepFades, ThirtyDecibelDipsAtAStrongSignal)
{
    const std::string text = bulletinText(700, 61);
    for (auto [baud, shift, bound] : {std::tuple{50.0, 425.0, 0.06}, std::tuple{75.0, 850.0, 0.02},
                                      std::tuple{50.0, 450.0, 0.03}}) {
        const RttyParameters parameters = line(baud, shift);
        std::vector<float> samples = renderText(text, kRate, parameters);
        auto settings = hfchannel::channelPreset("dips:30:0.3:3", kRate, kSignalPower, parameters.centreHz,
                                                 parameters.shiftHz, 21);
        ASSERT_TRUE(settings);
        settings->snrDb = 40.0;
        hfchannel::HfChannel(*settings).applyAligned(samples);
        const double cer = characterErrorRate(text, decodeAll(samples, kRate, parameters));
        if (std::getenv("FADE_MODEL_PRINT"))
            std::fprintf(stderr, "  %.0f/%.0f: CER %.4f\n", baud, shift, cer);
        EXPECT_LE(cer, bound) << baud << "/" << shift;
    }
}
