// The line search on HF channels and on signals that begin late: it keeps
// listening, and it recognises keying when both tones fade together.
#include "AlsCases.h"

#include "rtty/signal/BulletinText.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/channel/HfChannel.h"

#include <gtest/gtest.h>

using namespace rtty;
using namespace rtty::testing;

namespace {

constexpr double kRate = 8000;

// Bulletin text on the line after `silentSeconds` without it, through the
// named channel at the SNR (white noise all along).
std::vector<float> transmission(const RttyParameters& line, const std::string& channel, double snrDb,
                                double silentSeconds, unsigned seed)
{
    BulletinText bulletins(seed);
    std::string text;
    while (double(text.size()) * 7.5 / line.baud < 20)
        text += bulletins.next();
    RenderOptions options;
    options.leaderBits = 5;
    const std::vector<float> signal = renderText(text, kRate, line, options);
    std::vector<float> samples(size_t(silentSeconds * kRate), 0.0f);
    samples.insert(samples.end(), signal.begin(), signal.end());
    auto settings = hfchannel::channelPreset(channel, kRate, 0.125, line.centreHz, line.shiftHz, seed);
    EXPECT_TRUE(settings) << channel;
    settings->snrDb = snrDb;
    hfchannel::HfChannel(*settings).applyAligned(samples);
    return samples;
}

RttyParameters lineOf(double baud, double shift, double centre, bool inverted)
{
    RttyParameters line;
    line.baud = baud;
    line.shiftHz = shift;
    line.centreHz = centre;
    line.inverted = inverted;
    return line;
}

}  // namespace

TEST(AutoLineSearch, SearchStartedOnNoiseFindsASignalThatBeginsTwentySecondsLater)
{
    const RttyParameters line = lineOf(50, 425, 1700, false);
    const std::vector<float> samples = transmission(line, "white", 0, 20, 7);
    AutoLineSearch search(kRate);
    size_t fed = 0;
    for (; fed < samples.size() && !search.determined(); fed += 800)
        search.process(samples.data() + fed, std::min<size_t>(800, samples.size() - fed));
    const AlsResult& result = search.result();
    ASSERT_TRUE(foundLine(result, line)) << result.reason;
    EXPECT_LE(result.secondsUsed, 30.0);
    // Decoding from where it says loses none of the line.
    EXPECT_LE(result.fromSeconds, 20.0);
    EXPECT_GE(result.fromSeconds, 10.0);
}

// Two-path fading takes both tones down together: no anti-correlation of
// their powers to rely on. Every speed, and the narrow shifts of LF and HF
// weather broadcasts as well as the wide ones.
TEST(AutoLineSearch, FindsLinesUnderModerateFadingWithinTenSecondsOfSignal)
{
    struct Case {
        double baud, shift, centre;
        bool inverted;
    };
    const Case cases[] = {{50, 450, 2000, false}, {50, 85, 1000, false}, {45.45, 170, 1500, true},
                          {75, 850, 1800, true},  {100, 425, 1300, false}, {50, 425, 700, true}};
    unsigned seed = 11;
    for (const Case& c : cases) {
        const RttyParameters line = lineOf(c.baud, c.shift, c.centre, c.inverted);
        const std::vector<float> samples = transmission(line, "moderate", 6, 5, ++seed);
        const AlsResult result = searchSamples(samples, kRate);
        EXPECT_TRUE(foundLine(result, line))
            << c.baud << "/" << c.shift << ": " << result.baud << " Bd " << result.shiftHz << " Hz "
            << result.centreHz << " Hz inverted " << result.inverted << " " << result.reason;
        EXPECT_LE(result.secondsUsed, 15.0) << c.baud << "/" << c.shift;
    }
}

TEST(AutoLineSearch, SaysWhatItHeardWhenThereIsNoLine)
{
    // Clicks and crashes on a quiet band.
    std::vector<float> silent(size_t(30 * kRate), 0.0f);
    auto settings = hfchannel::channelPreset("impulse", kRate, 0.125, 1500, 425, 3);
    settings->snrDb = 30;
    hfchannel::HfChannel(*settings).applyAligned(silent);
    const AlsResult bursts = [&] {
        AutoLineSearch search(kRate);
        search.process(silent.data(), silent.size());
        search.finish();
        EXPECT_FALSE(search.determined());
        return search.mostLikeALine();
    }();
    EXPECT_EQ(bursts.seen, AlsSeen::NoiseBursts) << bursts.reason;
    EXPECT_NE(bursts.reason.find("bursts"), std::string::npos);
}
