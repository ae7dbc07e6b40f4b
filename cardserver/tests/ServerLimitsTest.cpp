// No peer can starve the server: connection, idle, stall, output and
// descriptor limits, seen from outside the real server.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QElapsedTimer>
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
    ASSERT_TRUE(server.start({"--card", "1=demo", "--card", "2=demo", "--max-connections", "2"}))
        << server.error().toStdString();
    // Sessions keep their slots: with every slot a session, a third is refused.
    RawClient first, second, third;
    ASSERT_TRUE(first.connectTo(server.host(), server.port()));
    ASSERT_EQ(first.reply(first.request("OpenCard", openArgs(1)))->status, 0);
    ASSERT_TRUE(second.connectTo(server.host(), server.port()));
    ASSERT_EQ(second.reply(second.request("OpenCard", openArgs(2)))->status, 0);
    ASSERT_TRUE(third.connectTo(server.host(), server.port()));
    const auto refusal = third.event("ErrorReport");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->args.value(0).integer, 6);
    EXPECT_TRUE(refusal->args.value(1).text.contains("limit of 2 connections")) << refusal->args.value(1).text.toStdString();
    EXPECT_TRUE(third.waitForClose(3000));
    EXPECT_TRUE(server.log().contains("Refused connection from 127.0.0.1"));

    // A place that frees up is served again.
    first.socket.disconnectFromHost();
    QDeadlineTimer deadline(kEventWaitMs);
    while (!server.log().contains("disconnected") && !deadline.hasExpired()) QThread::msleep(50);
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
    QString text = holder.collectText(2000);
    const double used = server.cpuSeconds() - before;
    if (text.isEmpty()) text = holder.collectText(kEventWaitMs, 1);  // a loaded machine
    EXPECT_FALSE(text.isEmpty()) << "the session's text stopped at the descriptor limit";
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

    // Nor do searches, however often: they keep no connection for ever.
    RawClient searcher;
    ASSERT_TRUE(searcher.connectTo(server.host(), server.port()));
    QDeadlineTimer searching(5000);
    while (searcher.socket.state() == QAbstractSocket::ConnectedState && !searching.hasExpired()) {
        searcher.request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)});
        searcher.waitForClose(100);
    }
    EXPECT_NE(searcher.socket.state(), QAbstractSocket::ConnectedState) << "a searching connection was kept";

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
    EXPECT_FALSE(holder.collectText(kEventWaitMs, 1).isEmpty());
}

// At the connection limit nobody is locked out by connections that hold no
// card: ones that sit silent, or search again and again, make room, the one
// that went longest without a card first, told why in the protocol's words.
TEST(ServerLimits, AFreshClientIsServedWhileSixtyFourConnectionsSitIdleOrSearch)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=demo", "--card", "2=demo", "--card", "3=demo", "--idle-timeout", "600"}))
        << server.error().toStdString();
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (int i = 0; i < 64; ++i) {
        crowd.push_back(std::make_unique<RawClient>());
        ASSERT_TRUE(crowd.back()->connectTo(server.host(), server.port())) << i;
        if (i % 2 == 1) {  // half of them search; a search keeps no slot
            const auto searched = crowd.back()->reply(
                crowd.back()->request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)}));
            ASSERT_TRUE(searched && searched->status == 0);
        }
    }
    // The newest searches again: it is no longer the one without a card longest.
    crowd.back()->request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)});

    RawClient sessions[3];
    for (int fresh = 0; fresh < 3; ++fresh) {
        RawClient& client = sessions[fresh];
        ASSERT_TRUE(client.connectTo(server.host(), server.port())) << fresh;
        const auto opened = client.reply(client.request("OpenCard", openArgs(fresh + 1)));
        ASSERT_TRUE(opened) << fresh;
        EXPECT_EQ(opened->status, 0) << opened->text.toStdString();
        // The oldest of the crowd made room, and was told why.
        const auto why = crowd[fresh]->event("ErrorReport");
        ASSERT_TRUE(why) << fresh;
        EXPECT_EQ(why->args.value(0).integer, 6);
        EXPECT_TRUE(why->args.value(1).text.contains("Card server is full")) << why->args.value(1).text.toStdString();
        EXPECT_TRUE(crowd[fresh]->waitForClose());
    }
    EXPECT_EQ(crowd.back()->socket.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(server.log().count("to make room"), 3) << server.log().toStdString();
}

// With a secret, connections that have proven nothing go first, however
// young; sessions never go, and a server full of them still refuses.
TEST(ServerLimits, UnprovenConnectionsMakeRoomFirstAndSessionsNever)
{
    QTemporaryDir dir;
    QFile secretFile(dir.filePath("secret"));
    ASSERT_TRUE(secretFile.open(QIODevice::WriteOnly));
    secretFile.write("s3cret");
    secretFile.close();
    secretFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--card", "1=demo", "--card", "2=demo", "--card", "3=demo", "--max-connections", "3", "--secret-file",
                              secretFile.fileName()}))
        << server.error().toStdString();
    const auto prove = [](RawClient& client) {
        const QByteArray proof = QMessageAuthenticationCode::hash(client.greeting()->challenge, "s3cret",
                                                                  QCryptographicHash::Sha256);
        const auto reply = client.reply(client.request("Authenticate", {WireValue::binary(proof)}));
        return reply && reply->status == 0;
    };
    RawClient holder, proven, unproven;
    ASSERT_TRUE(holder.connectTo(server.host(), server.port()));
    ASSERT_TRUE(prove(holder));
    ASSERT_EQ(holder.reply(holder.request("OpenCard", openArgs(1)))->status, 0);
    ASSERT_TRUE(proven.connectTo(server.host(), server.port()));
    ASSERT_TRUE(prove(proven));
    ASSERT_TRUE(unproven.connectTo(server.host(), server.port()));

    RawClient fresh;
    ASSERT_TRUE(fresh.connectTo(server.host(), server.port()));
    EXPECT_TRUE(unproven.event("ErrorReport"));
    EXPECT_TRUE(unproven.waitForClose());
    ASSERT_TRUE(prove(fresh));
    ASSERT_EQ(fresh.reply(fresh.request("OpenCard", openArgs(2)))->status, 0);

    // Now the proven connection without a card goes; then only sessions are left.
    RawClient next;
    ASSERT_TRUE(next.connectTo(server.host(), server.port()));
    EXPECT_TRUE(proven.waitForClose());
    ASSERT_TRUE(prove(next));
    ASSERT_EQ(next.reply(next.request("OpenCard", openArgs(3)))->status, 0);
    RawClient last;
    ASSERT_TRUE(last.connectTo(server.host(), server.port()));
    const auto refusal = last.event("ErrorReport");
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->args.value(1).text.contains("limit of 3 connections")) << refusal->args.value(1).text.toStdString();
    EXPECT_TRUE(last.waitForClose());
    EXPECT_FALSE(holder.collectText(20000, 1).isEmpty());
    for (RawClient* session : {&holder, &fresh, &next}) EXPECT_EQ(session->socket.state(), QAbstractSocket::ConnectedState);
}

// A holder that stopped reading is found out by the Ping it no longer
// answers, however much its receive buffer could still take: here a
// megabyte, which the card's text would take hours to fill.
TEST(ServerLimits, AHolderThatAnswersPingsAndThenStopsReadingLosesItsCardWhateverItsBuffer)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--stall-timeout", "2"})) << server.error().toStdString();
    RawClient holder;
    holder.socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 1 << 20);
    holder.answerPings = true;
    ASSERT_TRUE(holder.connectTo(server.host(), server.port()));
    ASSERT_EQ(holder.reply(holder.request("OpenCard", openArgs(1)))->status, 0);
    // Reading and answering, it keeps the card past the timeout.
    QDeadlineTimer reading(4000);
    int pings = 0;
    while (!reading.hasExpired())
        if (const auto message = holder.next(int(reading.remainingTime())); message && message->event == "Ping") ++pings;
    EXPECT_GE(pings, 2);
    RawClient other;
    ASSERT_TRUE(other.connectTo(server.host(), server.port()));
    EXPECT_EQ(other.reply(other.request("OpenCard", openArgs(1)))->status, 4);

    // Then it reads nothing more: the card is free a few seconds later.
    QDeadlineTimer deadline(30000);
    std::optional<qint64> status;
    while (!deadline.hasExpired()) {
        const auto reply = other.reply(other.request("OpenCard", openArgs(1)));
        ASSERT_TRUE(reply);
        status = reply->status;
        if (status == 0) break;
        QThread::msleep(250);
    }
    EXPECT_EQ(status, 0) << "the card stayed with a holder that reads nothing";
    EXPECT_TRUE(server.log().contains("answered no Ping for 2 s")) << server.log().toStdString();
}

// One client cannot fill the server's log, however many refusals it asks
// for; a secret file others can read is used, with a warning.
TEST(ServerLimits, OneClientsRefusalsAreLoggedWithinABoundAndAnExposedSecretIsNamed)
{
    QTemporaryDir dir;
    QFile secretFile(dir.filePath("secret"));
    ASSERT_TRUE(secretFile.open(QIODevice::WriteOnly));
    secretFile.write("s3cret\n");
    secretFile.close();
    secretFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--secret-file", secretFile.fileName()})) << server.error().toStdString();
    RawClient client;
    ASSERT_TRUE(client.connectTo(server.host(), server.port()));
    qint64 last = 0;
    for (int i = 0; i < 2000; ++i) last = client.request("OpenCard", openArgs(1));
    ASSERT_TRUE(client.reply(last));
    const QString log = server.log();
    EXPECT_LE(log.count("refused"), 20);
    EXPECT_TRUE(log.contains("further lines about its requests are left out")) << log.toStdString();
    EXPECT_TRUE(log.contains("can be read by other accounts")) << log.toStdString();
    EXPECT_TRUE(log.startsWith("Listening on") || log.section('\n', 0, 0).contains("Listening on"));
}

// A host whose connections come and go in a tight loop, each with a line
// of garbage, cannot fill the log either: its lines stop at a bound, and
// the end of the window says how many were left out.
TEST(ServerLimits, AHostThatReconnectsInALoopIsLoggedWithinABound)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo"})) << server.error().toStdString();
    constexpr int kConnections = 400;
    QElapsedTimer loop;
    loop.start();
    for (int i = 0; i < kConnections; ++i) {
        QTcpSocket socket;
        socket.connectToHost(server.host(), server.port());
        ASSERT_TRUE(socket.waitForConnected(10000)) << i;
        socket.write("not a request\n");
        socket.flush();
        socket.abort();
    }
    // The bound holds per window of the server's: a slow machine spreads the
    // loop over more of them, each with its own allowance.
    const qint64 windows = loop.elapsed() / 10000 + 2;
    QDeadlineTimer deadline(60000);
    while (!server.log().contains("more lines about its connections were left out") && !deadline.hasExpired())
        QThread::msleep(100);
    const QString log = server.log();
    EXPECT_TRUE(log.contains("further lines about its connections are left out")) << log.toStdString();
    EXPECT_TRUE(log.contains("more lines about its connections were left out")) << log.toStdString();
    EXPECT_LE(log.count("Connection from"), 100 * windows);
    EXPECT_LT(log.count('\n'), 102 * windows + 20) << "lines in the log";
}
