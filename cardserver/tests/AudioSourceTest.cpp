// A recording of real RTTY audio served by the card: the demodulator decodes
// it, the line search measures it, and the card adopts what it measured.
#include "RawClient.h"
#include "card/Ita2.h"
#include "rtty/signal/FskModulator.h"
#include "rtty/audio/WavWriter.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

const QString kBulletin = QStringLiteral(
    "ZCZC 101\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n"
    "10384 32575 72008 10052 20023 39948 40152 52008 69901 72582 8457/=\r\n"
    "10400 11460 82310 10071 20050 30011 40120 57016 60041 76162 887//=\r\nNNNN\r\n");

// 75 Bd, 850 Hz shift, inverted, centre 1800 Hz, 10 dB SNR in 3 kHz.
QString writeRecording(const QString& path)
{
    rtty::RttyParameters line;
    line.baud = 75;
    line.shiftHz = 850;
    line.centreHz = 1800;
    line.inverted = true;
    const double rate = 8000;
    rtty::FskModulator modulator(rate, line);
    std::vector<float> samples;
    modulator.appendIdle(20, samples);
    cardserver::Ita2Encoder encoder;
    std::vector<uint8_t> codes;
    for (int repeat = 0; repeat < 4; ++repeat)
        for (const QChar c : kBulletin) encoder.encode(c, &codes);
    modulator.appendCodes(codes, samples);
    rtty::NoiseAdder noise(rate, 0.125, 10, 5);
    noise.add(samples.data(), samples.size());
    return QString::fromStdString(rtty::writeWav(path.toStdString(), samples, int(rate)));
}

}  // namespace

TEST(AudioSource, LineSearchMeasuresTheRecordingAndTheCardDecodesIt)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("broadcast.wav");
    ASSERT_EQ(writeRecording(path), QString());
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=wav:" + path, "--time-scale", "16"})) << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);

    // Tuned to 50 Bd, 425 Hz, 1500 Hz: nothing of the bulletin comes through.
    EXPECT_FALSE(client.collectText(600).contains("10384 32575"));

    // The audio decoder needs both tones in its band: refused, nothing changed.
    const auto refused = client.reply(client.request("SetCentreShift", {WireValue::i2(200), WireValue::i2(850)}));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 5);
    EXPECT_TRUE(refused->text.contains("cannot decode")) << refused->text.toStdString();

    client.request("SetAls", {WireValue::i4(2)});
    std::optional<cardproto::Message> measured;
    while ((measured = client.event("FrequencyReport")) && measured->args.at(0).integer != 1800) {
    }
    ASSERT_TRUE(measured) << "no measurement of the 1800 Hz centre";
    client.request("SetAls", {WireValue::i4(1)});
    client.request("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), WireValue::i2(-1), WireValue::i2(-1),
                               WireValue::i2(-1), WireValue::i2(-1), WireValue::boolean(true)});
    const auto report = client.event("StatusReport");
    ASSERT_TRUE(report);
    EXPECT_EQ(report->args.at(2).real, 75);
    EXPECT_EQ(report->args.at(3).real, 850);
    EXPECT_EQ(report->args.at(4).integer, -1);

    const QString text = client.collectTextUntil("10384 32575 72008 10052 20023 39948");
    EXPECT_TRUE(text.contains("10384 32575 72008 10052 20023 39948")) << text.toStdString();
}

TEST(AudioSource, DemoBroadcastIsDecodedLiveAndMeasuredAsSent)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--time-scale", "20"})) << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);
    const QString text = client.collectTextUntil("AAXX ");
    EXPECT_TRUE(text.contains("AAXX ")) << text.toStdString();

    // Mistune it, let the search measure, adopt: back to the sent line.
    client.request("SetCentreShift", {WireValue::i2(2100), WireValue::i2(850)});
    client.request("SetAls", {WireValue::i4(2)});
    std::optional<cardproto::Message> measured;
    while ((measured = client.event("FrequencyReport")) && measured->args.at(0).integer == 2100) {
    }
    ASSERT_TRUE(measured);
    EXPECT_NEAR(double(measured->args.at(0).integer), 1500, 5);
    client.request("SetAls", {WireValue::i4(1)});
    client.request("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), WireValue::i2(-1), WireValue::i2(-1),
                               WireValue::i2(-1), WireValue::i2(-1), WireValue::boolean(true)});
    std::optional<cardproto::Message> report;
    while ((report = client.event("StatusReport")) && report->args.at(3).real == 850) {
    }
    ASSERT_TRUE(report);
    EXPECT_EQ(report->args.at(2).real, 50);
    EXPECT_NEAR(report->args.at(3).real, 425, 5);
    EXPECT_EQ(report->args.at(4).integer, 0);
}

// The demo through a fading HF channel still prints its bulletins; a
// channel name the simulator does not know is refused at start-up.
TEST(AudioSource, DemoThroughAnHfChannelStillPrints)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo=moderate", "--time-scale", "20"})) << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);
    const QString text = client.collectTextUntil("AAXX ");
    EXPECT_TRUE(text.contains("AAXX ")) << text.toStdString();

    CardServerProcess refused;
    EXPECT_FALSE(refused.start({"--card", "1=demo:stormy"}));
    EXPECT_TRUE(refused.error().contains("unknown demo channel \"stormy\"")) << refused.error().toStdString();
}
