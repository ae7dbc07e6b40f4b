// No peer can starve the server: connection, idle, stall, output and
// descriptor limits, seen from outside the real server.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

// A socket that reads nothing: what the server sends it waits in the kernel
// (kept small here) and then in the server.
std::unique_ptr<QTcpSocket> silentPeer(const CardServerProcess& server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    socket->connectToHost(server.host(), server.port());
    socket->waitForConnected(5000);
    return socket;
}

bool closedByServer(QTcpSocket& socket, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        socket.readAll();
        if (socket.state() == QAbstractSocket::UnconnectedState) return true;
        socket.waitForReadyRead(50);
    }
    return socket.state() == QAbstractSocket::UnconnectedState;
}

}  // namespace

TEST(ServerLimits, ClientBeyondTheConnectionLimitIsToldWhyAndClosed)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--max-connections", "2"})) << server.error().toStdString();
    RawClient first, second, third;
    ASSERT_TRUE(first.connectTo(server.host(), server.port()));
    ASSERT_TRUE(second.connectTo(server.host(), server.port()));
    ASSERT_TRUE(third.connectTo(server.host(), server.port()));
    const auto refusal = third.event("ErrorReport");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->args.value(0).integer, 6);
    EXPECT_TRUE(refusal->args.value(1).text.contains("limit of 2 connections")) << refusal->args.value(1).text.toStdString();
    EXPECT_TRUE(third.waitForClose(3000));
    EXPECT_TRUE(server.log().contains("Refused connection from 127.0.0.1"));

    // A place that frees up is served again.
    first.socket.disconnectFromHost();
    QThread::msleep(300);
    RawClient fourth;
    ASSERT_TRUE(fourth.connectTo(server.host(), server.port()));
    const auto reply = fourth.reply(fourth.request("OpenCard", openArgs(1)));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 0);
}

TEST(ServerLimits, AtTheDescriptorLimitTheServerIdlesAndKeepsServing)
{
    CardServerProcess server;
    server.setDescriptorLimit(64);
    ASSERT_TRUE(server.start({"--demo", "--time-scale", "20", "--max-connections", "1000"}))
        << server.error().toStdString();
    RawClient holder;
    ASSERT_TRUE(holder.connectTo(server.host(), server.port()));
    const auto opened = holder.reply(holder.request("OpenCard", openArgs(1)));
    ASSERT_TRUE(opened && opened->status == 0);

    std::vector<std::unique_ptr<QTcpSocket>> crowd;
    for (int i = 0; i < 100; ++i) crowd.push_back(silentPeer(server));
    QThread::msleep(500);
    const double before = server.cpuSeconds();
    EXPECT_FALSE(holder.collectText(2000).isEmpty()) << "the session's text stopped at the descriptor limit";
    const double used = server.cpuSeconds() - before;
    // A server spinning on accept() burns the whole 2 s.
    EXPECT_LT(used, 0.5) << "CPU seconds in 2 s at the descriptor limit";
    EXPECT_TRUE(server.log().contains("Connection limit lowered from 1000"));

    crowd.clear();
    QThread::msleep(300);
    RawClient late;
    ASSERT_TRUE(late.connectTo(server.host(), server.port()));
    const auto searched = late.reply(late.request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)}));
    ASSERT_TRUE(searched);
    EXPECT_EQ(searched->status, 0);
}

TEST(ServerLimits, IdleConnectionIsClosedButASessionIsNot)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--idle-timeout", "0.5"})) << server.error().toStdString();
    RawClient holder;
    ASSERT_TRUE(holder.connectTo(server.host(), server.port()));
    ASSERT_EQ(holder.reply(holder.request("OpenCard", openArgs(1)))->status, 0);
    auto idle = silentPeer(server);
    // Requests that open nothing do not count as activity.
    RawClient busyIdle;
    ASSERT_TRUE(busyIdle.connectTo(server.host(), server.port()));
    busyIdle.request("CloseCard");

    EXPECT_TRUE(closedByServer(*idle, 3000));
    EXPECT_TRUE(busyIdle.waitForClose(3000));
    EXPECT_TRUE(server.log().contains("idle for 0.5 s"));
    holder.collectText(200);
    EXPECT_EQ(holder.socket.state(), QAbstractSocket::ConnectedState);
}

TEST(ServerLimits, SessionHolderThatStopsReadingLosesItsCard)
{
    QTemporaryDir dir;
    QFile text(dir.filePath("bulletin.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("AAXX 08121\r\n10384 32575 72008 10052 20023=\r\n");
    text.close();
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=text:" + text.fileName(), "--time-scale", "1000", "--stall-timeout", "1"}))
        << server.error().toStdString();
    auto stalled = silentPeer(server);
    stalled->write(Message::request(1, "OpenCard", openArgs(1)).encode() + '\n');
    stalled->flush();

    RawClient other;
    ASSERT_TRUE(other.connectTo(server.host(), server.port()));
    QDeadlineTimer deadline(40000);
    std::optional<qint64> status;
    while (!deadline.hasExpired()) {
        const auto reply = other.reply(other.request("OpenCard", openArgs(1)));
        ASSERT_TRUE(reply);
        status = reply->status;
        if (status == 0) break;
        QThread::msleep(250);
    }
    EXPECT_EQ(status, 0) << "the card stayed with a holder that reads nothing";
    EXPECT_TRUE(server.log().contains("has read nothing of what it was sent for 1 s"));
}

TEST(ServerLimits, OutputWaitingOverAllClientsIsBounded)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--output-limit", "256", "--idle-timeout", "60"}))
        << server.error().toStdString();
    RawClient holder;
    ASSERT_TRUE(holder.connectTo(server.host(), server.port()));
    ASSERT_EQ(holder.reply(holder.request("OpenCard", openArgs(1)))->status, 0);

    // Each asks for far more than it reads; together they pass the bound.
    QByteArray searches;
    for (int i = 0; i < 3000; ++i)
        searches += Message::request(i, "SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)}).encode() + '\n';
    std::vector<std::unique_ptr<QTcpSocket>> flooders;
    for (int i = 0; i < 8; ++i) {
        flooders.push_back(silentPeer(server));
        flooders.back()->write(searches);
        flooders.back()->flush();
    }
    // Reading a flooder while waiting would drain its queue and spare it, so
    // the drops are awaited in the server's log before any socket is read.
    QDeadlineTimer deadline(30000);
    while (server.log().count(QStringLiteral("Closing connection from")) < 8 && !deadline.hasExpired())
        QThread::msleep(50);
    int closed = 0;
    for (auto& flooder : flooders) closed += closedByServer(*flooder, 5000) ? 1 : 0;
    EXPECT_EQ(closed, 8);
    EXPECT_TRUE(server.log().contains("output limit is reached")) << server.log().toStdString();
    // An audio card holds its first seconds of text until its line is checked.
    EXPECT_FALSE(holder.collectText(9000).isEmpty());
}
