// gqrx-style UDP audio into a card: the server picks the port, says it in
// its log, and decodes what arrives; a sender that stops leaves the card idle.
#include "RawClient.h"
#include "cardserver/demod/FskModulator.h"
#include "cardserver/server/testing/CardServerProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

using cardserver::testing::CardServerProcess;

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
    std::vector<float> samples = rtty::renderText("\r\n" + sent + "\r\n", 8000, rtty::RttyParameters{});
    QByteArray pcm;
    for (float s : samples) {
        const auto v = qint16(qRound(qBound(-1.0f, s, 1.0f) * 32767));
        pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
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
    const QString text = client.collectText(4000, int(sent.size()));
    EXPECT_TRUE(text.contains(QStringLiteral("AAXX 08121 10384 32575="))) << text.toStdString();
}
