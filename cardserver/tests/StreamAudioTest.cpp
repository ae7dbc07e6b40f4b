// Audio that arrives at the sender's pace: gqrx-style UDP datagrams, and raw
// PCM through a FIFO written faster than real time, then closed.
#include "RawClient.h"
#include "rtty/signal/FskModulator.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QElapsedTimer>
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
    const auto bound = QRegularExpression(QStringLiteral(R"(input 1: udp:127\.0\.0\.1:(\d+)@8000,s16le)")).match(server.log());
    ASSERT_TRUE(bound.hasMatch()) << server.log().toStdString();
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
// writer back instead of dropping audio, and after the writer closes the
// pipe the last characters still come out.
TEST(RawAudio, FifoWrittenAtOnceIsDecodedToItsEnd)
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
    std::thread writer([&] {
        const int fd = ::open(fifo.constData(), O_WRONLY);
        for (qsizetype at = 0; fd >= 0 && at < pcm.size();) {
            const ssize_t n = ::write(fd, pcm.constData() + at, size_t(pcm.size() - at));
            if (n <= 0) break;
            at += n;
        }
        ::close(fd);
    });
    const QString text = client.collectText(2 * kEventWaitMs, int(sent.size()));
    writer.join();
    EXPECT_EQ(text.count(QStringLiteral("AAXX 08121 10384 32575 72008=")), 5) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("ZCZC 005"))) << text.toStdString();
}
