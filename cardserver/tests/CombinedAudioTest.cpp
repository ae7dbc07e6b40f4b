// An input that carries three receivers of one broadcast, fed live as
// gqrx-style UDP streams, each through its own fading channel and with its
// own delay and tuning: the card decodes them as one text.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"
#include "rtty/channel/HfChannel.h"
#include "rtty/audio/WavWriter.h"
#include "rtty/signal/FskModulator.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

constexpr double kRate = 8000;

struct Receiver {
    double delaySeconds;
    double offsetHz;
    double snrDb;
    uint32_t seed;
};

QByteArray received(const std::string& text, const Receiver& r)
{
    rtty::RttyParameters line;
    line.centreHz += r.offsetHz;
    std::vector<float> samples = rtty::renderText(text, kRate, line);
    samples.insert(samples.begin(), size_t(r.delaySeconds * kRate), 0.0f);
    samples.resize(samples.size() + size_t(1.5 * kRate), 0.0f);
    auto settings = hfchannel::channelPreset("moderate", kRate, 0.125, line.centreHz, line.shiftHz, r.seed);
    settings->snrDb = r.snrDb;
    hfchannel::HfChannel(*settings).applyAligned(samples);
    QByteArray pcm;
    for (float s : samples) {
        const auto v = qint16(qRound(qBound(-1.0f, s, 1.0f) * 32767));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    return pcm;
}

}  // namespace

TEST(CombinedAudio, ThreeUdpReceiversOnOneInputDecodeAsOne)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1:4=udp:0@8000+udp:0@8000+udp:0@8000"})) << server.error().toStdString();
    // The ports the server took, from its description of input 4.
    QList<quint16> ports;
    ASSERT_TRUE(server.waitForLog(QRegularExpression(QStringLiteral("input 4: .*combined"))))
        << server.log().toStdString();
    auto found = QRegularExpression(QStringLiteral(R"(udp:127\.0\.0\.1:(\d+)@8000,s16le)")).globalMatch(server.log());
    while (found.hasNext()) ports << quint16(found.next().captured(1).toUInt());
    ASSERT_EQ(ports.size(), 3) << server.log().toStdString();
    EXPECT_TRUE(server.log().contains(QStringLiteral("combined"))) << server.log().toStdString();

    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);
    const auto selected = client.reply(client.request(
        "SetInput", {WireValue::i2(4, true), WireValue::i2(70), WireValue::i4(0, true), WireValue::i2(-1)}));
    ASSERT_TRUE(selected);
    ASSERT_FALSE(selected->status.has_value()) << selected->text.toStdString();

    std::string sent;
    for (int i = 1; i <= 4; ++i) sent += "ZCZC 00" + std::to_string(i) + "\r\nAAXX 08121 10384 32575 72008=\r\n";
    // Faded independently at 0 dB, where one receiver alone drops a
    // character or two in a hundred; delays and mistunings of their own.
    const std::vector<Receiver> receivers{{0.0, 0, 0, 31}, {0.3, 14, 0, 32}, {0.45, -22, 0, 33}};
    std::vector<QByteArray> streams;
    for (const Receiver& r : receivers) streams.push_back(received("\r\n" + sent + "\r\n", r));

    // 1,024-byte datagrams from each, interleaved, at one and a half times the real pace.
    QUdpSocket sender;
    QElapsedTimer clock;
    clock.start();
    qsizetype longest = 0;
    for (const QByteArray& s : streams) longest = std::max(longest, s.size());
    for (qsizetype at = 0; at < longest; at += 1024) {
        for (int b = 0; b < 3; ++b)
            if (at < streams[size_t(b)].size())
                sender.writeDatagram(streams[size_t(b)].mid(at, 1024), QHostAddress::LocalHost, ports[b]);
        const qint64 due = qint64(double(at / 2) / kRate * 1000 / 1.5);
        if (due > clock.elapsed()) QThread::msleep(ulong(due - clock.elapsed()));
    }
    const QString text = client.collectText(30000, int(sent.size()));
    EXPECT_GE(text.count(QStringLiteral("AAXX 08121 10384 32575 72008=")), 3) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ZCZC 004"))) << text.toStdString();
}

TEST(CombinedAudio, CombinedSourcesAreCheckedAtStart)
{
    CardServerProcess server;
    EXPECT_FALSE(server.start({"--card", "1=udp:0+wav:/nowhere/missing.wav"}));
    EXPECT_FALSE(server.start({"--card", "1=udp:0+udp:0+udp:0+udp:0+udp:0"}));
}

TEST(CombinedAudio, LineSearchReportsTheReceiverThatHearsTheLine)
{
    // Two recordings on one input: the first hears only noise, the second
    // the station (75 Bd, 850 Hz, inverted, at 1800 Hz). Set wrong, the
    // card says MISTUNED; the search finds the second's line; adopted, the
    // card decodes the combination.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string sent;
    for (int i = 1; i <= 6; ++i) sent += "ZCZC 00" + std::to_string(i) + "\r\nAAXX 08121 10384 32575 72008=\r\n";
    rtty::RttyParameters line;
    line.baud = 75;
    line.shiftHz = 850;
    line.centreHz = 1800;
    line.inverted = true;
    std::vector<float> station = rtty::renderText(sent, kRate, line);
    station.insert(station.begin(), size_t(0.3 * kRate), 0.0f);
    std::vector<float> nothing(station.size(), 0.0f);
    rtty::NoiseAdder(kRate, 0.125, 10, 7).add(station.data(), station.size());
    rtty::NoiseAdder(kRate, 0.125, 10, 8).add(nothing.data(), nothing.size());
    const QString noisePath = dir.filePath(QStringLiteral("noise.wav")), stationPath = dir.filePath(QStringLiteral("station.wav"));
    ASSERT_EQ(rtty::writeWav(noisePath.toStdString(), nothing, int(kRate)), "");
    ASSERT_EQ(rtty::writeWav(stationPath.toStdString(), station, int(kRate)), "");

    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=wav:" + noisePath + "+wav:" + stationPath, "--time-scale", "16"}))
        << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);
    auto ok = [&](const QString& op, QList<WireValue> args) {
        const auto reply = client.reply(client.request(op, std::move(args)));
        ASSERT_TRUE(reply) << op.toStdString();
        EXPECT_FALSE(reply->status.has_value()) << op.toStdString() << ": " << reply->text.toStdString();
    };
    // At the card's default line (50 Bd, 425 Hz) the station does not fit:
    // said, not printed.
    const QString mistuned = client.collectText(3000);
    EXPECT_FALSE(mistuned.contains(QStringLiteral("AAXX"))) << mistuned.toStdString();
    bool said = false;
    for (const cardproto::Message& m : client.seen)
        said = said || (m.event == "StateText" && m.args.at(0).text == "MISTUNED");
    EXPECT_TRUE(said) << server.log().toStdString();

    ok("SetAls", {WireValue::i4(2)});
    bool found = false;
    while (const auto report = client.event("FrequencyReport", 20000))
        if (std::abs(report->args.at(0).integer - 1800) <= 2) {
            found = true;
            break;
        }
    ASSERT_TRUE(found) << server.log().toStdString();
    ok("SetAls", {WireValue::i4(1)});
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), WireValue::i2(-1), WireValue::i2(-1),
                   WireValue::i2(-1), WireValue::i2(-1), WireValue::boolean(true)});
    EXPECT_TRUE(client.collectText(20000, 200).contains("AAXX 08121 10384 32575 72008=")) << server.log().toStdString();
}

TEST(CombinedAudio, PipesWrittenAtOnceAreTakenEvenlyAndAtTheCardsPace)
{
    // Two FIFOs, each written in one go as `cat recording > fifo` does: the
    // card takes them side by side at its clock (four times real time
    // here), not as fast as the writers could go, and decodes them to the end.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray fifo1 = dir.filePath(QStringLiteral("rx1")).toLocal8Bit();
    const QByteArray fifo2 = dir.filePath(QStringLiteral("rx2")).toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo1.constData(), 0600), 0);
    ASSERT_EQ(::mkfifo(fifo2.constData(), 0600), 0);
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=raw:" + QString::fromLocal8Bit(fifo1) + "@8000+raw:" + QString::fromLocal8Bit(fifo2)
                                            + "@8000",
                              "--time-scale", "4"}))
        << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);

    std::string sent;
    for (int i = 1; i <= 5; ++i) sent += "ZCZC 00" + std::to_string(i) + "\r\nAAXX 08121 10384 32575 72008=\r\n";
    // About 28 s of audio: 7 s at the card's pace.
    const QByteArray first = received("\r\n" + sent + "\r\n", {0.0, 0, 3, 41});
    const QByteArray second = received("\r\n" + sent + "\r\n", {0.2, 9, 3, 42});
    auto writeAll = [](const QByteArray& path, const QByteArray& pcm) {
        const int fd = ::open(path.constData(), O_WRONLY);
        for (qsizetype at = 0; fd >= 0 && at < pcm.size();) {
            const ssize_t n = ::write(fd, pcm.constData() + at, size_t(pcm.size() - at));
            if (n <= 0) break;
            at += n;
        }
        ::close(fd);
    };
    QElapsedTimer clock;
    clock.start();
    std::thread writer1(writeAll, fifo1, first), writer2(writeAll, fifo2, second);
    // A third of the way in by the card's clock, most of the text is yet to come.
    const QString early = client.collectText(2500);
    EXPECT_LT(early.count(QStringLiteral("AAXX")), 3) << early.toStdString();
    const QString text = early + client.collectText(30000, int(sent.size()) - int(early.size()));
    writer1.join();
    writer2.join();
    EXPECT_EQ(text.count(QStringLiteral("AAXX 08121 10384 32575 72008=")), 5) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ZCZC 005"))) << text.toStdString();
}
