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
// component.
void learnSlots(SlotLikelihood& likelihood, double leakage, double sigma, int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, sigma);
    for (int k = 0; k < count; ++k) {
        const bool mark = k % 3 != 0;
        const double on = std::hypot(1.0 + noise(rng), noise(rng));
        const double off = std::hypot(leakage * on + noise(rng), noise(rng));
        likelihood.learnSlot(mark, float(mark ? on : off), float(mark ? off : on));
    }
}

}  // namespace

// 50 Bd at 425 Hz puts each tone on a sidelobe peak of the other's filter
// (-28 dB). At +40 dB the noise is 30 dB below that: it, not the leakage,
// is what stays when both tones fade, and the noise level must come out
// well below the leakage's. Where the noise is above the leakage (a weak
// signal), or there is none, the estimate is the noise.
TEST(DeepFades, NoiseIsToldFromTheOtherTonesLeakage)
{
    const double sidelobe = 1.0 / (M_PI * 8.5);
    // More leakage than the filters' own (slots off their centre) is
    // taken as noise: only the filters' own share is known to be leakage.
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
