#include "TestSignals.h"

#include "rtty/dsp/Baudot.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;

namespace {

RttyParameters line(double baud, double shift, double centre = 1500.0, bool inverted = false, double stopBits = 1.5)
{
    RttyParameters parameters;
    parameters.baud = baud;
    parameters.shiftHz = shift;
    parameters.centreHz = centre;
    parameters.inverted = inverted;
    parameters.stopBits = stopBits;
    return parameters;
}

std::vector<float> noisy(const std::string& text, double rate, const RttyParameters& parameters, double snrDb,
                         uint32_t seed = 7)
{
    RenderOptions options;
    options.addNoise = true;
    options.snrDb = snrDb;
    options.seed = seed;
    return renderText(text, rate, parameters, options);
}

struct GridCase {
    double baud, shift, centre;
    bool inverted;
    double rate, stopBits;
};

class RoundTrip : public ::testing::TestWithParam<GridCase> {};

}  // namespace

// A sample of the speed × shift × polarity × rate × stop grid; the whole grid
// runs in the slow tests.
TEST_P(RoundTrip, CleanAtPlusTenDecibels)
{
    const GridCase c = GetParam();
    const RttyParameters parameters = line(c.baud, c.shift, c.centre, c.inverted, c.stopBits);
    const std::string text = bulletinText(200, 3);
    const std::string decoded = decodeAll(noisy(text, c.rate, parameters, 10.0), c.rate, parameters);
    EXPECT_EQ(decoded, text);
}

INSTANTIATE_TEST_SUITE_P(Sample, RoundTrip,
                         ::testing::Values(GridCase{45.45, 170, 1000, false, 8000, 1.5},
                                           GridCase{50, 425, 1500, true, 11025, 1.5},
                                           GridCase{50, 850, 2000, false, 48000, 2.0},
                                           GridCase{75, 450, 800, true, 44100, 1.0},
                                           GridCase{100, 1000, 2900, false, 8000, 1.5},
                                           GridCase{100, 850, 600, true, 22050, 1.42}));

TEST(Demodulator, BlockSizeDoesNotChangeTheText)
{
    const RttyParameters parameters = line(75, 850);
    const std::string text = bulletinText(150, 5);
    const std::vector<float> samples = noisy(text, 8000, parameters, 0.0);
    const std::string reference = decodeAll(samples, 8000, parameters, 4096);
    EXPECT_LT(characterErrorRate(text, reference), 0.02);
    EXPECT_EQ(decodeAll(samples, 8000, parameters, 1), reference);
    EXPECT_EQ(decodeAll(samples, 8000, parameters, 333), reference);
}

TEST(Demodulator, NoiseCarriersAndIdleMarkPrintNothing)
{
    const double rate = 8000;
    const RttyParameters parameters = line(50, 425);
    const size_t length = static_cast<size_t>(20 * rate);
    std::vector<float> noise(length, 0.0f);
    NoiseAdder(rate, 0.125, 0.0, 11).add(noise.data(), noise.size());

    std::vector<float> carrier(length), idleMark;
    for (size_t i = 0; i < length; ++i)
        carrier[i] = 0.5f * static_cast<float>(std::sin(2 * M_PI * parameters.spaceHz() * double(i) / rate))
                   + 0.3f * static_cast<float>(std::sin(2 * M_PI * 1900.0 * double(i) / rate)) + noise[i] * 0.1f;
    FskModulator modulator(rate, parameters);
    modulator.appendIdle(1000, idleMark);
    NoiseAdder(rate, 0.125, 10.0, 12).add(idleMark.data(), idleMark.size());

    for (const auto* samples : {&noise, &carrier, &idleMark}) {
        RttyDemodulator demodulator(rate, parameters);
        std::string text;
        demodulator.process(samples->data(), samples->size(), text);
        EXPECT_EQ(text, "");
        EXPECT_NE(demodulator.state(), DecodeState::Traffic);
    }
}

TEST(Demodulator, StateFollowsTheSignal)
{
    const double rate = 8000;
    const RttyParameters parameters = line(50, 425);
    std::vector<float> silence(static_cast<size_t>(rate), 0.0f);
    RttyDemodulator demodulator(rate, parameters);
    std::string text;
    demodulator.process(silence.data(), silence.size(), text);
    EXPECT_EQ(demodulator.state(), DecodeState::NoSignal);

    const std::vector<float> signal = noisy(bulletinText(100, 1), rate, parameters, 10.0);
    demodulator.process(signal.data(), signal.size(), text);
    EXPECT_EQ(demodulator.state(), DecodeState::Traffic);
    EXPECT_NEAR(demodulator.measuredCentreHz(), 1500.0, 5.0);

    FskModulator idle(rate, parameters);
    std::vector<float> mark;
    idle.appendIdle(250, mark);  // five seconds of mark
    demodulator.process(mark.data(), mark.size(), text);
    EXPECT_EQ(demodulator.state(), DecodeState::Searching);
}

TEST(Demodulator, ParametersChangeWhileRunning)
{
    const double rate = 8000;
    const std::string first = "FIRST 123\r\n", second = "SECOND 456\r\n";
    std::vector<float> samples = noisy(first, rate, line(50, 425), 20.0);
    const std::vector<float> more = noisy(second, rate, line(75, 850, 1200, true), 20.0);
    RttyDemodulator demodulator(rate, line(50, 425));
    std::string text;
    demodulator.process(samples.data(), samples.size(), text);
    demodulator.setParameters(line(75, 850, 1200, true));
    demodulator.process(more.data(), more.size(), text);
    EXPECT_EQ(text, first + second);
}

TEST(Demodulator, ToleratesGapsClockErrorMistuningAndAFadedTone)
{
    const double rate = 8000;
    const RttyParameters nominal = line(50, 425);
    const std::string text = bulletinText(150, 9);
    const auto codes = baudot::encode(text).codes;

    // Idle gaps of 0 to 5 bits between characters.
    std::vector<float> gaps;
    FskModulator modulator(rate, nominal);
    modulator.appendIdle(8, gaps);
    for (size_t i = 0; i < codes.size(); ++i) {
        modulator.appendCode(codes[i], gaps);
        modulator.appendIdle(static_cast<double>(i % 6) * 0.83, gaps);
    }
    modulator.appendIdle(8, gaps);
    EXPECT_EQ(decodeAll(gaps, rate, nominal), text);

    // Sender clock 1 % fast and 1 % slow, and tuned 10 Hz off.
    for (double factor : {0.99, 1.01}) {
        RttyParameters sender = nominal;
        sender.baud *= factor;
        sender.centreHz += 10.0 * (factor > 1 ? 1 : -1);
        EXPECT_EQ(decodeAll(noisy(text, rate, sender, 10.0), rate, nominal), text) << factor;
    }

    // The space tone 10 dB down, then missing entirely, at a good SNR.
    for (float spaceGain : {0.316f, 0.0f}) {
        FskModulator faded(rate, nominal);
        faded.setToneGains(1.0f, spaceGain);
        std::vector<float> samples;
        faded.appendIdle(8, samples);
        faded.appendCodes(codes, samples);
        faded.appendIdle(8, samples);
        NoiseAdder(rate, 0.125, 10.0, 3).add(samples.data(), samples.size());
        EXPECT_EQ(decodeAll(samples, rate, nominal), text) << spaceGain;
    }
}

TEST(Demodulator, AfcFollowsMistuningAndDrift)
{
    const double rate = 8000;
    const RttyParameters nominal = line(50, 425);
    const std::string text = bulletinText(450, 12);  // about 70 s at 50 Bd
    const auto codes = baudot::encode(text).codes;
    // 15 Hz high at first, drifting down by 0.5 Hz/s to 20 Hz low.
    FskModulator modulator(rate, nominal);
    std::vector<float> samples;
    double offset = 15.0;
    modulator.appendIdle(8, samples);
    for (uint8_t code : codes) {
        modulator.setFrequencyOffset(offset);
        modulator.appendCode(code, samples);
        offset -= 0.5 * 7.5 / nominal.baud;
    }
    NoiseAdder(rate, 0.125, 0.0, 8).add(samples.data(), samples.size());

    RttyDemodulator demodulator(rate, nominal);
    std::string decoded;
    demodulator.process(samples.data(), samples.size(), decoded);
    EXPECT_LT(characterErrorRate(text, decoded), 0.005);
    EXPECT_NEAR(demodulator.measuredCentreHz(), nominal.centreHz + offset, 3.0);
}

// 85 Hz shift at 75 Bd is barely more than one tone filter's width: the
// tones leak into each other's filters and spectrum bands, and the tuning
// must not mistake the leakage for an offset.
TEST(Demodulator, NarrowShiftsDecodeAtPlusThreeDecibels)
{
    const double rate = 8000;
    const std::string text = bulletinText(500, 21);
    for (auto [baud, shift, inverted] : {std::tuple{75.0, 85.0, false}, std::tuple{75.0, 85.0, true},
                                         std::tuple{50.0, 85.0, false}, std::tuple{100.0, 85.0, false}}) {
        SCOPED_TRACE(::testing::Message() << baud << " Bd " << shift << " Hz inverted " << inverted);
        const RttyParameters parameters = line(baud, shift, 1500, inverted);
        const std::string decoded = decodeAll(noisy(text, rate, parameters, 3.0, 11), rate, parameters);
        EXPECT_LT(characterErrorRate(text, decoded), 0.01);
    }
}
