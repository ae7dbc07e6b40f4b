// The card's line search and IF translation on recorded audio: a search that
// keeps listening until a late signal comes, one that hears nothing and says
// so, and a translation that moves where the card expects the tones.
#include "RawClient.h"
#include "card/Ita2.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/audio/WavWriter.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

const QString kBulletin = QStringLiteral(
    "ZCZC 101\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n"
    "10384 32575 72008 10052 20023 39948 40152 52008 69901 72582 8457/=\r\n"
    "10400 11460 82310 10071 20050 30011 40120 57016 60041 76162 887//=\r\nNNNN\r\n");

WireValue keep() { return WireValue::i2(-1); }

constexpr double kRate = 8000;

rtty::RttyParameters lineOf(double baud, double shift, double centre, bool inverted)
{
    rtty::RttyParameters line;
    line.baud = baud;
    line.shiftHz = shift;
    line.centreHz = centre;
    line.inverted = inverted;
    return line;
}

// The bulletin `repeats` times on the line, appended to the samples.
void appendTransmission(const rtty::RttyParameters& line, int repeats, std::vector<float>& samples)
{
    rtty::FskModulator modulator(kRate, line);
    cardserver::Ita2Encoder encoder;
    std::vector<uint8_t> codes;
    for (int repeat = 0; repeat < repeats; ++repeat)
        for (const QChar c : kBulletin) encoder.encode(c, &codes);
    modulator.appendIdle(20, samples);
    modulator.appendCodes(codes, samples);
}

// Noise at 10 dB below the signal's power (SNR in 3 kHz) all through.
QString write(const QString& path, std::vector<float> samples)
{
    rtty::NoiseAdder noise(kRate, 0.125, 10, 5);
    noise.add(samples.data(), samples.size());
    return QString::fromStdString(rtty::writeWav(path.toStdString(), samples, int(kRate)));
}

// 75 Bd, 850 Hz shift, inverted, at the given centre, after `silentSeconds`
// of noise alone; `repeats` 0 gives noise only.
QString writeRecording(const QString& path, double centre, double silentSeconds, int repeats)
{
    std::vector<float> samples(size_t(silentSeconds * kRate), 0.0f);
    if (repeats > 0) appendTransmission(lineOf(75, 850, centre, true), repeats, samples);
    return write(path, std::move(samples));
}

class AudioLineSearch : public ::testing::Test {
protected:
    void start(double centre, double silentSeconds, int repeats)
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_EQ(writeRecording(dir.filePath("recording.wav"), centre, silentSeconds, repeats), QString());
        serve();
    }
    void serve()
    {
        const QString path = dir.filePath("recording.wav");
        ASSERT_TRUE(server.start({"--card", "1=wav:" + path, "--time-scale", "16"})) << server.error().toStdString();
        ASSERT_TRUE(client.connectTo(server.host(), server.port()));
        const auto reply = client.reply(client.request("OpenCard", openArgs(1)));
        ASSERT_TRUE(reply && reply->status == 0);
    }
    void ok(const QString& op, QList<WireValue> args)
    {
        const auto reply = client.reply(client.request(op, std::move(args)));
        ASSERT_TRUE(reply) << op.toStdString();
        EXPECT_FALSE(reply->status.has_value()) << op.toStdString() << ": " << reply->text.toStdString();
    }
    void adopt()
    {
        ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), keep(), keep(), keep(), keep(),
                       WireValue::boolean(true)});
    }
    // The first FrequencyReport of this centre (to 2 Hz: where the search
    // starts in the audio depends on when the request arrives) within the time.
    bool measured(int centre, int timeoutMs)
    {
        std::optional<Message> report;
        while ((report = client.event("FrequencyReport", timeoutMs)))
            if (std::abs(report->args.at(0).integer - centre) <= 2) return true;
        return false;
    }

    QTemporaryDir dir;
    CardServerProcess server;
    RawClient client;
};

}  // namespace

TEST_F(AudioLineSearch, SearchStartedOnNoiseFindsASignalThatBeginsTwentySecondsLater)
{
    start(1800, 20, 2);
    ok("SetAls", {WireValue::i4(2)});
    // 20 s of noise and 10 s of the line take under 2 s at 16 times speed
    // (the bounds leave room for a loaded machine).
    ASSERT_TRUE(measured(1800, kEventWaitMs)) << server.log().toStdString();
    ok("SetAls", {WireValue::i4(1)});
    adopt();
    const auto report = client.event("StatusReport");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->args.at(2).real, 75);
    EXPECT_EQ(report->args.at(3).real, 850);
    EXPECT_EQ(report->args.at(4).integer, -1);
    // The recording comes round again after its noise if need be.
    EXPECT_TRUE(client.collectTextUntil("10400 11460 82310", 2 * kEventWaitMs).contains("10400 11460 82310"));
}

TEST_F(AudioLineSearch, SearchOnNoiseSaysSoAndAdoptsNothing)
{
    start(1800, 15, 0);
    ok("SetAls", {WireValue::i4(2)});
    client.collectText(800);  // about 12 s of noise
    ok("SetAls", {WireValue::i4(1)});
    adopt();
    const auto report = client.event("StatusReport");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->args.at(2).real, 50);
    EXPECT_EQ(report->args.at(3).real, 425);
    client.collectText(500);
    QString lastState;
    for (const Message& m : client.seen) {
        if (m.event == "StateText") lastState = m.args.at(0).text;
        if (m.event == "FrequencyReport") {
            EXPECT_EQ(m.args.at(0).integer, 1500) << "a measurement from noise";
        }
    }
    EXPECT_EQ(lastState, "NOSIGNAL");
    EXPECT_TRUE(server.log().contains("found no line")) << server.log().toStdString();
}

TEST_F(AudioLineSearch, IfTranslationMovesTheCentreTheCardExpects)
{
    // The recording carries the line 300 Hz above the 1800 Hz the card is set to.
    start(2100, 0, 8);
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), WireValue::r8(75, true), WireValue::r8(850, true),
                   WireValue::i2(1, true), keep(), WireValue::boolean(false)});
    ok("SetCentreShift", {WireValue::i2(1800), keep()});
    EXPECT_FALSE(client.collectText(1000).contains("10384 32575"));
    ok("SetInput", {WireValue::i2(1, true), WireValue::i2(70), WireValue::i4(300, true), keep()});
    EXPECT_TRUE(client.collectTextUntil("10384 32575 72008").contains("10384 32575 72008"));

    // Tones pushed past this input's band: refused with the reason, nothing changed.
    const auto refusal = client.reply(client.request("SetInput", {WireValue::i2(1, true), WireValue::i2(70),
                                                                  WireValue::i4(2000, true), keep()}));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->status, 5);
    EXPECT_TRUE(refusal->text.contains("IF translation of 2000 Hz")) << refusal->text.toStdString();
    EXPECT_TRUE(refusal->text.contains("half the sample rate")) << refusal->text.toStdString();

    // The search measures at the input and reports at the card's frequencies.
    ok("SetCentreShift", {WireValue::i2(1500), WireValue::i2(425)});
    ok("SetAls", {WireValue::i4(2)});
    EXPECT_TRUE(measured(1800, kEventWaitMs));
}

TEST_F(AudioLineSearch, KeepsMeasuringAndAdoptsTheLatestLine)
{
    // One station for about 20 s, then another on other frequencies and
    // speed for long enough (4 min) that a loaded machine adopts it before
    // the recording comes round to the first again.
    ASSERT_TRUE(dir.isValid());
    std::vector<float> samples;
    appendTransmission(lineOf(50, 425, 1500, false), 1, samples);
    appendTransmission(lineOf(75, 850, 2000, true), 12, samples);
    ASSERT_EQ(write(dir.filePath("recording.wav"), std::move(samples)), QString());
    serve();

    ok("SetAls", {WireValue::i4(2)});
    ASSERT_TRUE(measured(1500, kEventWaitMs));
    ASSERT_TRUE(measured(2000, kEventWaitMs)) << "the second station was not measured";
    adopt();  // with the search still on
    const auto report = client.event("StatusReport");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->args.at(2).real, 75);
    EXPECT_EQ(report->args.at(3).real, 850);
    EXPECT_EQ(report->args.at(4).integer, -1);
}

// The card at its default line (50 Bd, 425 Hz, 1500 Hz, normal) on a
// recording sent at 50 Bd, 450 Hz, inverted, round 1977 Hz: it says
// MISTUNED and prints nothing, rather than garbage that looks like traffic.
TEST_F(AudioLineSearch, WrongLineIsSaidAndNotPrinted)
{
    ASSERT_TRUE(dir.isValid());
    std::vector<float> samples;
    appendTransmission(lineOf(50, 450, 1977, true), 3, samples);
    ASSERT_EQ(write(dir.filePath("recording.wav"), std::move(samples)), QString());
    serve();
    const QString text = client.collectText(6000);
    EXPECT_LE(text.size(), 10) << text.toStdString();
    bool mistuned = false;
    for (const auto& message : client.seen)
        mistuned |= message.event == QLatin1String("StateText") && message.args.value(0).text == QLatin1String("MISTUNED");
    EXPECT_TRUE(mistuned);
}
