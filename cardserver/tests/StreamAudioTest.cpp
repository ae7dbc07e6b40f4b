// Audio that arrives at the sender's pace: gqrx-style UDP datagrams, and raw
// PCM through a FIFO written faster than real time, then closed.
#include "RawClient.h"
#include "rtty/dsp/Baudot.h"
#include "rtty/signal/FskModulator.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/testing/CpuWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <QRegularExpression>
#include <QThread>
#include <QUdpSocket>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using cardserver::testing::CardServerProcess;

namespace {

QByteArray s16le(const std::string& text, double rate)
{
    const std::vector<float> samples = rtty::renderText(text, rate, rtty::RttyParameters{});
    QByteArray pcm;
    for (float s : samples) {
        const auto v = qint16(qRound(qBound(-1.0f, s, 1.0f) * 32767));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    return pcm;
}

}  // namespace

TEST(UdpAudio, DatagramsSentToTheCardAreDecoded)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=udp:0@8000"})) << server.error().toStdString();
    const QRegularExpression udpInput(QStringLiteral(R"(input 1: udp:127\.0\.0\.1:(\d+)@8000,s16le)"));
    ASSERT_TRUE(server.waitForLog(udpInput)) << server.log().toStdString();
    const auto bound = udpInput.match(server.log());
    const quint16 port = quint16(bound.captured(1).toUInt());
    // One socket, on input 1 only: the other inputs could not bind it again.
    EXPECT_TRUE(server.log().contains(QStringLiteral("input 2: no signal"))) << server.log().toStdString();

    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);

    const std::string sent = "ZCZC 003\r\nAAXX 08121 10384 32575=\r\n";
    const QByteArray pcm = s16le("\r\n" + sent + "\r\n", 8000);
    // 1,024-byte datagrams as gqrx sends them, at twice the real pace.
    QUdpSocket sender;
    QElapsedTimer clock;
    clock.start();
    for (qsizetype at = 0; at < pcm.size(); at += 1024) {
        sender.writeDatagram(pcm.mid(at, 1024), QHostAddress::LocalHost, port);
        const qint64 due = qint64(double(at / 2) / 8000 * 1000 / 2);
        if (due > clock.elapsed()) QThread::msleep(ulong(due - clock.elapsed()));
    }
    // The sender stops: the text still comes out to its end.
    const QString text = client.collectText(kEventWaitMs, int(sent.size()));
    EXPECT_TRUE(text.contains(QStringLiteral("AAXX 08121 10384 32575="))) << text.toStdString();
}

// All of it at once, as `cat recording.raw > fifo` does: the card holds the
// writer back instead of dropping audio, takes the audio as real time goes
// (never faster), and after the writer closes the pipe the last characters
// still come out.
TEST(RawAudio, FifoWrittenAtOnceIsTakenInRealTimeToItsEnd)
{
    QTemporaryDir dir;
    const QByteArray fifo = dir.filePath(QStringLiteral("sdr")).toLocal8Bit();
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=raw:" + QString::fromLocal8Bit(fifo) + "@12000,s16le"}))
        << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    ASSERT_EQ(client.reply(client.request("OpenCard", openArgs(1)))->status, 0);

    std::string sent;
    for (int i = 1; i <= 5; ++i) sent += "ZCZC 00" + std::to_string(i) + "\r\nAAXX 08121 10384 32575 72008=\r\n";
    const QByteArray pcm = s16le(sent, 12000);  // 28 s of audio, far more than the card buffers
    const double seconds = double(pcm.size()) / 2 / 12000;
    QElapsedTimer clock;
    clock.start();
    std::thread writer([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY);
        for (qsizetype at = 0; fd >= 0 && at < pcm.size();) {
            const ssize_t n = ::write(fd, pcm.constData() + at, size_t(pcm.size() - at));
            if (n <= 0) break;
            at += n;
        }
        ::close(fd);
    });
    const QString text = client.collectText(int(2 * seconds * 1000) + 2 * kEventWaitMs, int(sent.size()));
    const double tookSeconds = double(clock.elapsed()) / 1000;
    writer.join();
    EXPECT_EQ(text.count(QStringLiteral("AAXX 08121 10384 32575 72008=")), 5) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ZCZC 005"))) << text.toStdString();
    // The last character is in the last second of the audio: it cannot be
    // out before nearly all of the recording's time has passed.
    EXPECT_GE(tookSeconds, seconds - 2) << "the pipe was taken faster than real time";
}

namespace {

// What a client saw of a transmission written into a FIFO at real time.
struct RealTimeRun {
    bool lineFound = false;
    QString text;
    std::vector<double> delays;  // per printed character: arrival at the client - end of its stop bit in the audio
    double cpuWaitSeconds = 0;   // how long the server and the test waited for a CPU meanwhile
    double adoptedAt = -1;       // on the writer's clock: Auto's line adopted
    double firstTextAt = -1;     // and the first text after it
    QString serverLog;
};

// A FIFO written at the pace of real time, as an SDR program does, with the
// automatic line search: the card finds the line and then decodes it, each
// character timed from the end of its stop bit (on the writer's clock) to
// its arrival at the client.
RealTimeRun fifoAtRealTime(const rtty::RttyParameters& line, int bulletins)
{
    RealTimeRun run;
    QTemporaryDir dir;
    const QByteArray fifo = dir.filePath(QStringLiteral("sdr")).toLocal8Bit();
    if (::mkfifo(fifo.constData(), 0600) != 0) {
        ADD_FAILURE() << "mkfifo failed";
        return run;
    }
    CardServerProcess server;
    if (!server.start({"--card", "1=raw:" + QString::fromLocal8Bit(fifo) + "@8000,s16le"})) {
        ADD_FAILURE() << server.error().toStdString();
        return run;
    }
    RawClient client;
    if (!client.connectTo(server.host(), server.port()) || client.reply(client.request("OpenCard", openArgs(1)))->status != 0) {
        ADD_FAILURE() << "the card did not open";
        return run;
    }

    std::string sent;
    for (int i = 1; i <= bulletins; ++i)
        sent += "ZCZC 00" + std::to_string(i) + "\r\nAAXX 0812" + std::to_string(i) + " 10384 32575 7200" + std::to_string(i)
                + " 10052=\r\n";
    const std::vector<float> samples = rtty::renderText(sent, 8000, line);
    // Where each printed character's stop bit ends in the audio.
    std::vector<double> stopEnd;
    {
        const rtty::RenderOptions render;
        rtty::baudot::Decoder decoder(true);
        const std::vector<uint8_t> codes = rtty::baudot::encode(sent).codes;
        const double bit = 8000.0 / line.baud;
        for (size_t j = 0; j < codes.size(); ++j) {
            std::string out;
            decoder.decode(codes[j], out);
            for (size_t k = 0; k < out.size(); ++k)
                stopEnd.push_back((render.leaderBits + double(j + 1) * (6 + line.stopBits)) * bit / 8000.0);
        }
    }
    QByteArray pcm;
    for (float s : samples) {
        const auto v = qint16(qRound(qBound(-1.0f, s, 1.0f) * 32767));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    std::atomic<bool> stop{false};
    QElapsedTimer clock;
    const auto cpuWait = [&] {
        return platform::testing::secondsWaitingForCpu(server.processId())
               + platform::testing::secondsWaitingForCpu(QCoreApplication::applicationPid());
    };
    const double cpuWaitBefore = cpuWait();
    std::thread writer([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY);
        clock.start();
        // 20 ms blocks on the writer's own clock.
        constexpr qsizetype kBlock = 2 * 160;
        for (qsizetype at = 0; fd >= 0 && at < pcm.size() && !stop; at += kBlock) {
            const qint64 due = qint64(double(at) / 2 / 8000 * 1000);
            if (due > clock.elapsed()) QThread::msleep(ulong(due - clock.elapsed()));
            if (::write(fd, pcm.constData() + at, size_t(std::min(kBlock, pcm.size() - at))) <= 0) break;
        }
        ::close(fd);
    });
    auto ok = [&](const QString& op, QList<cardproto::WireValue> args) {
        const auto reply = client.reply(client.request(op, std::move(args)));
        return reply && !reply->status.has_value();
    };
    EXPECT_TRUE(ok("SetAls", {cardproto::WireValue::i4(2)}));
    for (std::optional<cardproto::Message> report; !run.lineFound && (report = client.event("FrequencyReport", 20000));)
        run.lineFound = std::abs(report->args.at(0).integer - qRound(line.centreHz)) <= 3;
    EXPECT_TRUE(ok("SetAls", {cardproto::WireValue::i4(1)}));
    const cardproto::WireValue keep = cardproto::WireValue::i2(-1);  // keep the value
    EXPECT_TRUE(ok("SetMode", {cardproto::WireValue::str("ms"), cardproto::WireValue::str("BAUDOT"), keep, keep, keep,
                               keep, cardproto::WireValue::boolean(true)}));
    run.adoptedAt = double(clock.elapsed()) / 1000;
    size_t matched = 0;
    QElapsedTimer waited;
    waited.start();
    const qint64 longest = qint64(double(samples.size()) / 8000 * 1000) + 20000;
    while (matched + 2 < sent.size() && waited.elapsed() < longest) {
        const auto message = client.next(1000);
        if (!message || message->event != QLatin1String("DataText")) continue;
        const double now = double(clock.elapsed()) / 1000;
        const std::string chunk = message->args.value(4).text.toStdString();
        if (run.firstTextAt < 0) run.firstTextAt = now;
        run.text += QString::fromStdString(chunk);
        const size_t at = sent.find(chunk, matched);
        if (at == std::string::npos || at > matched + 8) continue;
        for (size_t k = at; k < at + chunk.size() && k < stopEnd.size(); ++k) run.delays.push_back(now - stopEnd[k]);
        matched = at + chunk.size();
    }
    run.cpuWaitSeconds = cpuWait() - cpuWaitBefore;
    stop = true;
    writer.join();
    run.serverLog = server.log();
    return run;
}

// The delays of the last `count` characters, sorted: the first seconds after
// the line was adopted wait for the line check; from then on text follows
// the audio by well under a character or two.
std::vector<double> settledDelays(const RealTimeRun& run, size_t count, const char* what)
{
    if (run.delays.size() < count)
        return {};
    std::vector<double> settled(run.delays.end() - long(count), run.delays.end());
    std::sort(settled.begin(), settled.end());
    std::vector<double> all = run.delays;
    std::sort(all.begin(), all.end());
    std::printf("%s: delay stop bit -> client over the last %zu characters: median %.3f s, worst %.3f s "
                "(all %zu characters, the line check's wait included: median %.3f s, worst %.3f s); "
                "the server and the test waited %.3f s for a CPU\n",
                what, settled.size(), settled[settled.size() / 2], settled.back(), all.size(), all[all.size() / 2],
                all.back(), run.cpuWaitSeconds);
    return settled;
}

}  // namespace

// Auto has just measured the line it adopts: its text flows at once rather
// than waiting for the line check (which looks after 3 s of audio, then every
// 2 s; the text waited 3-5 s). What is left is the demodulator's own start,
// about a second.
void expectTextSoonAfterAdoption(const RealTimeRun& run)
{
    ASSERT_GE(run.adoptedAt, 0);
    ASSERT_GE(run.firstTextAt, run.adoptedAt);
    EXPECT_LT(run.firstTextAt - run.adoptedAt, 2.5 + run.cpuWaitSeconds);  // the line check would take 3 s or more
}

// 75 Bd, 850 Hz, inverted, off the default centre.
TEST(RawAudio, FifoAtRealTimeWithAutoDecodes)
{
    rtty::RttyParameters line;
    line.baud = 75;
    line.shiftHz = 850;
    line.centreHz = 1800;
    line.inverted = true;
    const RealTimeRun run = fifoAtRealTime(line, 6);
    EXPECT_TRUE(run.lineFound) << run.serverLog.toStdString();
    EXPECT_TRUE(run.text.contains(QStringLiteral("AAXX 08122 10384 32575 72002 10052="))) << run.text.toStdString();
    expectTextSoonAfterAdoption(run);
    const std::vector<double> settled = settledDelays(run, 60, "75 Bd");
    ASSERT_FALSE(settled.empty()) << run.text.toStdString();
    // A bound for a busy machine, widened by the time the processes waited
    // for a CPU; the benchmark's figure is far lower.
    EXPECT_LT(settled[settled.size() / 2], 0.5 + run.cpuWaitSeconds);
}

// 50 Bd, where a character is half as long again: the card must not hold
// text for a tick or a character more than the demodulator needs.
TEST(RawAudio, FifoAtRealTimeFiftyBaud)
{
    rtty::RttyParameters line;
    line.baud = 50;
    line.shiftHz = 450;
    line.centreHz = 1500;
    const RealTimeRun run = fifoAtRealTime(line, 4);
    EXPECT_TRUE(run.lineFound) << run.serverLog.toStdString();
    EXPECT_TRUE(run.text.contains(QStringLiteral("AAXX 08123 10384 32575 72003 10052="))) << run.text.toStdString();
    expectTextSoonAfterAdoption(run);
    const std::vector<double> settled = settledDelays(run, 60, "50 Bd");
    ASSERT_FALSE(settled.empty()) << run.text.toStdString();
    EXPECT_LT(settled[settled.size() / 2], 0.5 + run.cpuWaitSeconds);
}
