#include "rtty/dsp/ToneFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

using namespace rtty;

namespace {

// A tone (amplitude 1, some phase) with white noise, `n` samples.
std::vector<float> toneInNoise(double rate, double hz, size_t n, double noise, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> gaussian(0.0, noise);
    std::vector<float> samples(n);
    for (size_t i = 0; i < n; ++i)
        samples[i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * hz * double(i) / rate + 0.7) + gaussian(random));
    return samples;
}

struct Outputs {
    std::vector<float> magnitude;
    std::vector<std::complex<float>> window;
};

// The filter fed in blocks of `block` samples (0: blocks of sizes that
// change from one to the next, up and down, as pieces of audio do).
Outputs filtered(const std::vector<float>& samples, double rate, double hz, double baud, int decimation, size_t block)
{
    const size_t sizes[] = {400, 96, 1, 4096, 13, 400, 7};
    ToneFilter filter(rate, hz, baud, decimation);
    Outputs out;
    std::vector<float> magnitude((block > 0 ? block : 4096) / size_t(decimation) + 1);
    std::vector<std::complex<float>> window(magnitude.size());
    size_t n = 0;
    for (size_t done = 0, piece = 0; done < samples.size(); done += n, ++piece) {
        n = std::min(block > 0 ? block : sizes[piece % std::size(sizes)], samples.size() - done);
        const size_t written = filter.process(samples.data() + done, n, magnitude.data(), window.data());
        out.magnitude.insert(out.magnitude.end(), magnitude.begin(), magnitude.begin() + long(written));
        out.window.insert(out.window.end(), window.begin(), window.begin() + long(written));
    }
    return out;
}

// The window by its definition: the last whole bitSamples samples mixed
// down, the one before them weighted by the fraction, scaled by 2 / bit.
std::complex<double> directWindow(const std::vector<float>& samples, double rate, double hz, double baud, size_t newest)
{
    const double bit = rate / baud;
    const auto whole = static_cast<long>(std::floor(bit));
    std::complex<double> sum;
    for (long k = 0; k <= whole; ++k) {
        const long i = long(newest) - k;
        if (i < 0)
            break;
        const double weight = k < whole ? 1.0 : bit - double(whole);
        sum += weight * double(samples[size_t(i)]) * std::polar(1.0, -2.0 * std::numbers::pi * hz * double(i) / rate);
    }
    return sum * (2.0 / bit);
}

}  // namespace

// Whole and fractional bit lengths, with and without decimation, in blocks
// that do and do not line up with the outputs: every window as defined.
TEST(ToneFilter, WindowsAreTheMixedSumOverOneBit)
{
    struct Case {
        double rate, baud;
        int decimation;
        size_t block;
    };
    for (const Case& c : {Case{8000, 50, 5, 400}, Case{8000, 75, 3, 7}, Case{11025, 45.45, 7, 4096}, Case{8000, 300, 1, 13},
                          Case{48000, 50, 30, 1}, Case{8000, 100, 2, 401}, Case{8000, 50, 5, 0},
                          Case{8000, 75, 3, 0}}) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << c.baud << " Bd, every " << c.decimation << ", blocks of " << c.block);
        const double hz = 1275.0;
        const std::vector<float> samples = toneInNoise(c.rate, hz + 3.0, static_cast<size_t>(c.rate), 0.5, 3);
        const Outputs out = filtered(samples, c.rate, hz, c.baud, c.decimation, c.block);
        ASSERT_EQ(out.magnitude.size(), samples.size() / size_t(c.decimation));
        for (size_t m = 0; m < out.magnitude.size(); m += 17) {
            const size_t newest = (m + 1) * size_t(c.decimation) - 1;
            const std::complex<double> expected = directWindow(samples, c.rate, hz, c.baud, newest);
            ASSERT_NEAR(out.window[m].real(), expected.real(), 1e-4) << "output " << m;
            ASSERT_NEAR(out.window[m].imag(), expected.imag(), 1e-4) << "output " << m;
            ASSERT_NEAR(out.magnitude[m], std::abs(expected), 1e-4) << "output " << m;
        }
    }
}

// An hour of a steady tone: the running sum and the oscillator must not
// drift, nor the blocks' joins show. At 8000 Hz, 1712.5 Hz repeats every
// 640 samples: the last block's windows are those of block 7, which starts
// at the same phase of the tone (28 799 600 and 2800 are 240 past a
// multiple of 640).
TEST(ToneFilter, AnHourOfAToneKeepsItsAmplitudeAndPhase)
{
    const double rate = 8000, baud = 50, hz = 1712.5;
    ToneFilter filter(rate, hz, baud, 5);
    std::vector<float> block(400), magnitude(81);
    std::vector<std::complex<float>> window(81), early, late;
    std::vector<float> period(640);
    for (size_t k = 0; k < period.size(); ++k)
        period[k] = static_cast<float>(std::cos(2.0 * std::numbers::pi * hz * double(k) / rate));
    const int blocks = 3600 * 20;
    size_t i = 0;
    for (int b = 0; b < blocks; ++b) {
        for (float& sample : block)
            sample = period[i++ % period.size()];
        const size_t written = filter.process(block.data(), block.size(), magnitude.data(), window.data());
        ASSERT_EQ(written, 80u);
        if (b == 7)
            early.assign(window.begin(), window.begin() + 80);
        if (b == blocks - 1)
            late.assign(window.begin(), window.begin() + 80);
        for (size_t m = 0; m < written; ++m)
            ASSERT_NEAR(magnitude[m], std::abs(window[m]), 1e-5);
    }
    for (size_t m = 0; m < early.size(); ++m) {
        EXPECT_NEAR(std::abs(early[m]), 1.0f, 0.01f);  // the mixed-up twice-tone ripples a little
        EXPECT_NEAR(late[m].real(), early[m].real(), 1e-4) << "output " << m;
        EXPECT_NEAR(late[m].imag(), early[m].imag(), 1e-4) << "output " << m;
    }
}

// Retuned, the filter goes on from its memory: a tone at the new frequency
// reads full amplitude a bit later, and nothing jumps at the retune.
TEST(ToneFilter, RetuningKeepsTheMemoryAndFollowsTheNewTone)
{
    const double rate = 8000, baud = 50;
    ToneFilter filter(rate, 1500.0, baud, 5);
    const std::vector<float> tone = toneInNoise(rate, 1520.0, 8000, 0.0, 1);
    std::vector<float> magnitude(1601);
    size_t written = filter.process(tone.data(), 4000, magnitude.data());
    const float before = magnitude[written - 1];
    EXPECT_LT(before, 0.9f);  // 20 Hz off over a 20 ms window
    filter.setTone(1520.0);
    written = filter.process(tone.data() + 4000, 4000, magnitude.data());
    EXPECT_NEAR(magnitude[0], before, 0.02f);
    EXPECT_NEAR(magnitude[written - 1], 1.0f, 0.01f);
    EXPECT_DOUBLE_EQ(filter.toneHz(), 1520.0);
}
