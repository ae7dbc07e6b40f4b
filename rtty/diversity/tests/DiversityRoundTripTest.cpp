// Several receivers of one transmission through independent HF channels,
// decoded as one: the text against what each receiver gives alone.

#include "rtty/diversity/DiversityDecoder.h"
#include "rtty/tests/TestSignals.h"

#include "rtty/channel/HfChannel.h"
#include "rtty/signal/FskModulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace rtty;
using rtty::testing::bulletinText;
using rtty::testing::characterErrorRate;
using rtty::testing::decodeAll;

namespace {

struct Path {
    std::string channel = "white";
    double snrDb = 10.0;
    double delaySeconds = 0.0;
    double offsetHz = 0.0;
    double level = 1.0;
    double rate = 8000.0;
    double startSeconds = 0.0;  // noise only before this
    bool dead = false;          // noise only
    bool silent = false;        // nothing at all
};

RttyParameters line450()
{
    RttyParameters p;
    p.baud = 50;
    p.shiftHz = 450;
    p.inverted = true;
    return p;
}

// The transmission as one receiver hears it.
std::vector<float> receive(const std::string& text, const RttyParameters& line, const Path& path, uint32_t seed)
{
    RttyParameters sent = line;
    sent.centreHz += path.offsetHz;
    std::vector<float> signal = renderText(text, path.rate, sent);
    signal.insert(signal.begin(), size_t(path.delaySeconds * path.rate), 0.0f);
    // What the receiver missed of the start.
    std::fill_n(signal.begin(), std::min(signal.size(), size_t((path.delaySeconds + path.startSeconds) * path.rate)), 0.0f);
    signal.resize(signal.size() + size_t(path.rate), 0.0f);
    if (path.dead)
        std::fill(signal.begin(), signal.end(), 0.0f);
    if (path.silent)
        return std::vector<float>(signal.size(), 0.0f);
    auto settings = hfchannel::channelPreset(path.channel, path.rate, 0.125, sent.centreHz, sent.shiftHz, seed);
    settings->snrDb = path.snrDb;
    hfchannel::HfChannel(*settings).applyAligned(signal);
    for (float& x : signal)
        x *= float(path.level);
    return signal;
}

struct Outcome {
    std::string text;
    std::vector<BranchReport> reports;
    double worstAlignmentError = 0.0;  // seconds, at the end
};

// Decoded together, fed in blocks of 0.1 s from each branch in turn.
Outcome combine(const std::vector<std::vector<float>>& audio, const std::vector<Path>& paths, const RttyParameters& line)
{
    std::vector<double> rates;
    for (const Path& p : paths)
        rates.push_back(p.rate);
    DiversityDecoder decoder(rates, std::vector<RttyParameters>(paths.size(), line));
    Outcome outcome;
    for (size_t done = 0;; ++done) {
        bool any = false;
        for (size_t b = 0; b < paths.size(); ++b) {
            const auto block = size_t(0.1 * paths[b].rate);
            const size_t from = done * block;
            std::vector<float> piece(block, 0.0f);
            if (from < audio[b].size()) {
                std::copy_n(audio[b].begin() + long(from), std::min(block, audio[b].size() - from), piece.begin());
                any = true;
            }
            decoder.process(int(b), piece.data(), piece.size());
        }
        decoder.decode(outcome.text);
        if (!any)
            break;
    }
    for (int b = 0; b < decoder.branches(); ++b)
        outcome.reports.push_back(decoder.report(b));
    return outcome;
}

double aloneCer(const std::string& text, const std::vector<float>& audio, const Path& path, const RttyParameters& line)
{
    return characterErrorRate(text, decodeAll(audio, path.rate, line));
}

}  // namespace

std::vector<std::vector<float>> receiveAll(const std::string& text, const RttyParameters& line,
                                           const std::vector<Path>& paths, uint32_t seed)
{
    std::vector<std::vector<float>> audio;
    for (size_t b = 0; b < paths.size(); ++b)
        audio.push_back(receive(text, line, paths[b], seed + uint32_t(b)));
    return audio;
}

TEST(DiversityRoundTrip, ThreeFadedReceiversDecodeWhereEachAloneFails)
{
    // Moderate fading, independent on each path, at -5 dB each; the paths
    // differ in delay, tuning, level and sample rate.
    const RttyParameters line = line450();
    const std::string text = bulletinText(1500, 11);
    const std::vector<Path> paths{{"moderate", -5, 0.0, 0, 1.0},
                                  {"moderate", -5, 0.23, 12, 0.3},
                                  {"moderate", -5, 0.41, -27, 2.0, 12000}};
    const auto audio = receiveAll(text, line, paths, 100);
    for (size_t b = 0; b < paths.size(); ++b)
        EXPECT_GT(aloneCer(text, audio[b], paths[b], line), 0.10) << "branch " << b << " alone";
    const Outcome outcome = combine(audio, paths, line);
    EXPECT_LT(characterErrorRate(text, outcome.text), 0.01);
    // Delays and tunings found, each branch a fair share of the decisions.
    const double bit = 1.0 / line.baud;
    for (size_t b = 0; b < paths.size(); ++b) {
        const BranchReport& r = outcome.reports[b];
        EXPECT_TRUE(r.aligned && r.combined) << b;
        EXPECT_NEAR(r.delaySeconds, paths[b].delaySeconds, bit / 16) << b;
        EXPECT_NEAR(r.offsetHz, paths[b].offsetHz, 3.0) << b;
        EXPECT_GT(r.share, 0.2) << b;
    }
}

TEST(DiversityRoundTrip, ADeadOrSilentReceiverCostsNothing)
{
    // Two live receivers alone, then with a third that hears only noise,
    // or nothing at all.
    const RttyParameters line = line450();
    const std::string text = bulletinText(1200, 12);
    std::vector<Path> paths{{"moderate", -3, 0.0, 0, 1.0}, {"moderate", -3, 0.3, 5, 0.5}};
    const auto live = receiveAll(text, line, paths, 200);
    const double twoAlone = characterErrorRate(text, combine(live, paths, line).text);
    EXPECT_LT(twoAlone, 0.03);

    for (const bool silent : {false, true}) {
        Path third{"moderate", -3, 0.15, 0, 1.0};
        third.dead = !silent;
        third.silent = silent;
        std::vector<Path> three = paths;
        three.push_back(third);
        auto audio = live;
        audio.push_back(receive(text, line, third, 300));
        const Outcome outcome = combine(audio, three, line);
        // Within a few characters of the two alone.
        EXPECT_LE(characterErrorRate(text, outcome.text), twoAlone + 0.003) << (silent ? "silent" : "noise");
        EXPECT_FALSE(outcome.reports[2].aligned);
        EXPECT_EQ(outcome.reports[2].share, 0.0);
    }
}

TEST(DiversityRoundTrip, AReceiverThatStartsLateJoinsWithoutAGap)
{
    // The strong receiver is switched on 20 s late; a weak one (about 6 %
    // alone) carries the text until then. Nothing is lost at the join, and
    // the text after it is clean.
    const RttyParameters line = line450();
    const std::string text = bulletinText(400, 13);
    Path late{"white", 6, 0.2, 15, 1.0};
    late.startSeconds = 20;
    const std::vector<Path> paths{{"white", -7.5, 0.0, 0, 1.0}, late};
    const auto audio = receiveAll(text, line, paths, 400);
    const Outcome outcome = combine(audio, paths, line);
    // 20 s is about 130 characters; the rest, about 270, decoded cleanly.
    const size_t joinCharacter = 130;
    const double before = characterErrorRate(text.substr(0, joinCharacter), outcome.text.substr(0, joinCharacter));
    const double after = characterErrorRate(text.substr(joinCharacter + 40),
                                            outcome.text.substr(outcome.text.size() - (text.size() - joinCharacter - 40)));
    EXPECT_LT(before, 0.15);
    EXPECT_LT(after, 0.01);
    EXPECT_LT(characterErrorRate(text, outcome.text), 0.08);
    EXPECT_TRUE(outcome.reports[1].aligned);
    EXPECT_NEAR(outcome.reports[1].delaySeconds, 0.2, 1.0 / (16 * line.baud));
}

TEST(DiversityRoundTrip, NewSettingsKeepTheAlignment)
{
    // The card retunes (SetMode, SetCentreShift) while receivers are
    // aligned: they stay combined at once, and the text after the change
    // decodes as before.
    const RttyParameters line = line450();
    const std::string text = bulletinText(300, 14);
    const std::vector<Path> paths{{"white", -6, 0.0, 0, 1.0}, {"white", -6, 0.35, 8, 1.0}};
    const auto audio = receiveAll(text, line, paths, 500);
    DiversityDecoder decoder({8000.0, 8000.0}, {line, line});
    std::string out;
    const size_t half = audio[0].size() / 2;
    decoder.process(0, audio[0].data(), half);
    decoder.process(1, audio[1].data(), half);
    decoder.decode(out);
    ASSERT_TRUE(decoder.report(1).combined);
    decoder.setParameters({line, line});
    EXPECT_TRUE(decoder.report(0).combined && decoder.report(1).combined);
    EXPECT_NEAR(decoder.report(1).delaySeconds, 0.35, 1.0 / (16 * line.baud));
    decoder.process(0, audio[0].data() + half, audio[0].size() - half);
    decoder.process(1, audio[1].data() + half, audio[1].size() - half);
    decoder.decode(out);
    const std::string tail = text.substr(text.size() - 100);
    EXPECT_NE(out.find(tail.substr(0, 40)), std::string::npos) << out;
}

TEST(DiversityRoundTrip, TheFirstLinesComeFromTheSumToo)
{
    // At -10 dB one receiver alone misses one character in five: the text
    // of the seconds before the receivers are aligned is framed again from
    // the sum, not left to the one decoded first.
    const RttyParameters line = line450();
    const std::string text = bulletinText(250, 15);
    const std::vector<Path> paths{{"white", -10, 0.0, 0, 1.0}, {"white", -10, 0.2, 0, 1.0}, {"white", -10, 0.4, 0, 1.0}};
    const auto audio = receiveAll(text, line, paths, 600);
    EXPECT_GT(characterErrorRate(text.substr(0, 40), decodeAll(audio[0], 8000, line).substr(0, 40)), 0.1);
    const Outcome outcome = combine(audio, paths, line);
    EXPECT_LE(characterErrorRate(text.substr(0, 40), outcome.text.substr(0, 40)), 0.05) << outcome.text.substr(0, 60);
    EXPECT_LT(characterErrorRate(text, outcome.text), 0.03);
}
