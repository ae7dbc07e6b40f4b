#include "rtty/dsp/ToneFilter.h"
#include "rtty/dsp/TonePairFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

using namespace rtty;

namespace {

struct Outputs {
    std::vector<float> mark, space;
    std::vector<std::complex<float>> markWindow, spaceWindow;
};

// Two keyed tones in noise with a click now and then: values of every size.
std::vector<float> keyedTones(double rate, double markHz, double spaceHz, double baud, size_t n)
{
    std::mt19937 random(5);
    std::normal_distribution<double> gaussian(0.0, 0.3);
    std::vector<float> samples(n);
    const auto bit = static_cast<size_t>(rate / baud);
    bool mark = true;
    for (size_t i = 0; i < n; ++i) {
        if (i % bit == 0)
            mark = random() % 2 == 0;
        const double hz = mark ? markHz : spaceHz;
        samples[i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * hz * double(i) / rate) + gaussian(random)
                                        + (i % 9973 == 0 ? 40.0 : 0.0));
    }
    return samples;
}

const size_t kSizes[] = {400, 96, 1, 4096, 13, 400, 7, 200};
constexpr size_t kRetuneAt = 5;  // the block before which both are retuned

Outputs pairOutputs(const std::vector<float>& samples, double rate, double markHz, double spaceHz, double baud, int decimation,
                    bool wide)
{
    TonePairFilter filter(rate, markHz, spaceHz, baud, decimation);
    filter.useWideVectors(wide);
    Outputs out;
    std::vector<float> mark(4096 + 1), space(mark.size());
    std::vector<std::complex<float>> markWindow(mark.size()), spaceWindow(mark.size());
    for (size_t done = 0, piece = 0; done < samples.size(); ++piece) {
        if (piece == kRetuneAt)
            filter.setTones(markHz + 7.5, spaceHz + 7.5);
        const size_t n = std::min(kSizes[piece % std::size(kSizes)], samples.size() - done);
        const size_t written =
            filter.process(samples.data() + done, n, mark.data(), space.data(), markWindow.data(), spaceWindow.data());
        out.mark.insert(out.mark.end(), mark.begin(), mark.begin() + long(written));
        out.space.insert(out.space.end(), space.begin(), space.begin() + long(written));
        out.markWindow.insert(out.markWindow.end(), markWindow.begin(), markWindow.begin() + long(written));
        out.spaceWindow.insert(out.spaceWindow.end(), spaceWindow.begin(), spaceWindow.begin() + long(written));
        done += n;
    }
    return out;
}

void singleOutputs(const std::vector<float>& samples, double rate, double hz, double baud, int decimation,
                   std::vector<float>& magnitudes, std::vector<std::complex<float>>& windows)
{
    ToneFilter filter(rate, hz, baud, decimation);
    std::vector<float> magnitude(4096 + 1);
    std::vector<std::complex<float>> window(magnitude.size());
    for (size_t done = 0, piece = 0; done < samples.size(); ++piece) {
        if (piece == kRetuneAt)
            filter.setTone(hz + 7.5);
        const size_t n = std::min(kSizes[piece % std::size(kSizes)], samples.size() - done);
        const size_t written = filter.process(samples.data() + done, n, magnitude.data(), window.data());
        magnitudes.insert(magnitudes.end(), magnitude.begin(), magnitude.begin() + long(written));
        windows.insert(windows.end(), window.begin(), window.begin() + long(written));
        done += n;
    }
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

bool sameBits(const std::vector<std::complex<float>>& a, const std::vector<std::complex<float>>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
}

}  // namespace

// The pair is two single filters to the last bit, on either path: whole and
// fractional bits, the unrolled decimations and the general one, bits that
// are and are not whole outputs, blocks of changing size (some shorter
// than the oscillator's phases), a retune, and past the point where the
// window sums are recomputed from their samples.
TEST(TonePairFilter, IsTwoToneFiltersToTheLastBit)
{
    struct Case {
        double rate, baud;
        int decimation;
    };
    for (const Case& c : {Case{8000, 50, 5}, Case{8000, 75, 3}, Case{11025, 45.45, 7}, Case{8000, 300, 1},
                          Case{48000, 50, 30}, Case{44100, 75, 18}, Case{8000, 100, 2}}) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, " << c.baud << " Bd, every " << c.decimation);
        const double markHz = 1712.5, spaceHz = 1287.5;
        const std::vector<float> samples = keyedTones(c.rate, markHz, spaceHz, c.baud, size_t(1) << 17);
        std::vector<float> mark, space;
        std::vector<std::complex<float>> markWindow, spaceWindow;
        singleOutputs(samples, c.rate, markHz, c.baud, c.decimation, mark, markWindow);
        singleOutputs(samples, c.rate, spaceHz, c.baud, c.decimation, space, spaceWindow);
        ASSERT_EQ(mark.size(), samples.size() / size_t(c.decimation));
        for (bool wide : {false, true}) {
            SCOPED_TRACE(wide ? "wide path" : "base path");
            const Outputs pair = pairOutputs(samples, c.rate, markHz, spaceHz, c.baud, c.decimation, wide);
            EXPECT_TRUE(sameBits(pair.mark, mark));
            EXPECT_TRUE(sameBits(pair.space, space));
            EXPECT_TRUE(sameBits(pair.markWindow, markWindow));
            EXPECT_TRUE(sameBits(pair.spaceWindow, spaceWindow));
        }
    }
}
