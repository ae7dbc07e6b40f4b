// The real server, run as a program and spoken to with a plain socket.
#include "RawClient.h"
#include "protocol/CardRecord.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/testing/WaitFor.h"

#include <QFile>
#include <QRegularExpression>
#include <csignal>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

const QByteArray kText = "SMDL01 EDZW 081200\r\nAAXX 08121\r\n10384 32575 72008 10052 20023=\r\n";

class ServerProtocol : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        textPath = dir.filePath("bulletin.txt");
        QFile file(textPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kText);
    }
    void startServer(QStringList args)
    {
        ASSERT_TRUE(server.start(args)) << server.error().toStdString();
    }
    void connectClient(RawClient& client)
    {
        ASSERT_TRUE(client.connectTo(server.host(), server.port())) << server.log().toStdString();
    }
    void openCard(RawClient& client, int card)
    {
        connectClient(client);
        const auto reply = client.reply(client.request("OpenCard", openArgs(card)));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->status, 0) << reply->text.toStdString();
    }

    QTemporaryDir dir;
    QString textPath;
    CardServerProcess server;
};

}  // namespace

TEST_F(ServerProtocol, GreetsAndReportsEveryCardWithItsAvailability)
{
    startServer({"--card", "2=text:" + textPath, "--card", "5=demo"});
    RawClient search;
    connectClient(search);
    EXPECT_EQ(search.greeting()->serverName, "pluvane-cardserver");
    EXPECT_EQ(search.greeting()->protocol, 1);
    EXPECT_EQ(search.greeting()->cards, 2);

    RawClient holder;
    openCard(holder, 5);

    const qint64 id = search.request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(server.port())});
    const auto reply = search.reply(id);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 0);
    QList<std::pair<int, bool>> found;
    for (const auto& m : search.seen) {
        if (m.event != "CardFound") continue;
        const auto record = cardproto::CardRecord::decode(m.args.at(1).bytes);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->typeName, "W61PC");
        EXPECT_GE(m.args.at(1).bytes.size(), 24);
        found.append({int(m.args.at(0).integer), record->available});
    }
    EXPECT_EQ(found, (QList<std::pair<int, bool>>{{2, true}, {5, false}}));
}

TEST_F(ServerProtocol, SessionStartsInOrderAndHeldCardsAreRefused)
{
    startServer({"--card", "2=text:" + textPath, "--time-scale", "10"});
    RawClient first;
    openCard(first, 2);
    QList<Message> events;
    for (int i = 0; i < 4; ++i) {
        const auto m = first.next();
        ASSERT_TRUE(m);
        events << *m;
    }
    QStringList order;
    for (const auto& m : events) order << m.event;
    EXPECT_EQ(order, QStringList({"SessionStarted", "StatusReport", "FrequencyReport", "StateText"}));
    ASSERT_EQ(events.at(1).args.size(), 6);
    EXPECT_EQ(events.at(1).args.at(1).text, "baudot");
    EXPECT_EQ(events.at(1).args.at(2).type, cardproto::WireType::R8);

    RawClient second;
    connectClient(second);
    auto reply = second.reply(second.request("OpenCard", openArgs(2)));
    EXPECT_EQ(reply->status, 4);
    EXPECT_TRUE(reply->text.contains("in use")) << reply->text.toStdString();
    reply = second.reply(second.request("OpenCard", openArgs(3)));
    EXPECT_EQ(reply->status, 3);
    EXPECT_EQ(reply->text, "Card 3 is not installed");
    // Each refusal is a line of the log, with the client and the reason.
    const QString log = server.log();
    EXPECT_TRUE(log.contains(QRegularExpression("OpenCard by 127\\.0\\.0\\.1:\\d+ refused: Card 2 is in use"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QRegularExpression("OpenCard by 127\\.0\\.0\\.1:\\d+ refused: Card 3 is not installed")));
    reply = second.reply(second.request("SetAls", {WireValue::i4(2)}));
    EXPECT_EQ(reply->status, 2);
    reply = second.reply(second.request("Reboot"));
    EXPECT_EQ(reply->status, 1);

    // The holder was not disturbed: its text keeps coming, in sequence.
    EXPECT_EQ(first.collectText(kEventWaitMs, 20).left(20), QString::fromLatin1(kText.left(20)));
    qint64 sequence = 0;
    for (const auto& m : first.seen)
        if (m.event == "DataText") {
            EXPECT_EQ(m.args.at(2).integer, ++sequence);
        }
}

TEST_F(ServerProtocol, TextIsReplayedAtTheCharacterRateOfTheSpeed)
{
    startServer({"--card", "1=text:" + textPath, "--time-scale", "4"});
    RawClient client;
    openCard(client, 1);
    // 3 s at four times real speed: 12 s of 50 Bd, about 6.7 characters a
    // second, so never more than 85; a loaded machine may send fewer, but
    // they keep coming.
    QString text = client.collectText(3000);
    EXPECT_TRUE(QString::fromLatin1(kText + kText).startsWith(text)) << text.toStdString();
    EXPECT_LE(text.size(), 85);
    text += client.collectText(kEventWaitMs, 50 - int(text.size()));
    EXPECT_GE(text.size(), 50);
    EXPECT_TRUE(QString::fromLatin1(kText + kText).startsWith(text)) << text.toStdString();
}

TEST_F(ServerProtocol, MisbehavingClientLosesOnlyItsOwnConnection)
{
    startServer({"--card", "1=text:" + textPath, "--time-scale", "10"});
    RawClient session;
    openCard(session, 1);
    session.collectText(300);

    RawClient garbage, oversized, illTyped, notARequest;
    connectClient(garbage);
    connectClient(oversized);
    connectClient(illTyped);
    connectClient(notARequest);
    garbage.sendLine("this is not json");
    oversized.sendLine(QByteArray(70000, 'x'));
    illTyped.sendLine(R"({"id":1,"op":"OpenCard","args":[{"str":"h"},{"i4":1},{"i2":70000}]})");
    notARequest.sendLine(R"({"event":"SessionStarted","args":[]})");
    for (RawClient* bad : {&garbage, &oversized, &illTyped, &notARequest}) EXPECT_TRUE(bad->waitForClose());

    EXPECT_FALSE(session.collectText(kEventWaitMs, 10).isEmpty());
    const QString log = server.log();
    EXPECT_TRUE(log.contains("protocol error")) << log.toStdString();
}

TEST_F(ServerProtocol, CloseCardEndsQuietlyAndFreesTheCard)
{
    startServer({"--card", "1=text:" + textPath});
    RawClient first;
    openCard(first, 1);
    const auto reply = first.reply(first.request("CloseCard"));
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->status.has_value());
    while (auto m = first.next(700)) EXPECT_NE(m->event, "SessionEnded");

    RawClient second;
    openCard(second, 1);
}

TEST_F(ServerProtocol, TerminationEndsEverySessionFirst)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        startServer({"--card", "1=text:" + textPath, "--card", "2=demo"});
        RawClient one, two;
        openCard(one, 1);
        openCard(two, 2);
        ASSERT_EQ(::kill(pid_t(server.processId()), signal), 0);
        for (RawClient* client : {&one, &two}) {
            const auto ended = client->event("SessionEnded");
            ASSERT_TRUE(ended);
            EXPECT_NE(ended->args.at(0).integer, 0);
            EXPECT_TRUE(client->waitForClose());
        }
        EXPECT_TRUE(server.terminate());  // it has exited by itself, with status 0
    }
}

TEST_F(ServerProtocol, HangUpIsLoggedAndSessionsGoOn)
{
    startServer({"--card", "1=text:" + textPath});
    RawClient client;
    openCard(client, 1);
    ASSERT_EQ(::kill(pid_t(server.processId()), SIGHUP), 0);
    WAIT_FOR_TRUE(server.log().contains("SIGHUP ignored"), 5000);
    EXPECT_TRUE(server.isRunning());  // it used to die with status 129
    const auto reply = client.reply(client.request("CloseCard"));  // the session is still there to close
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->status.has_value());
    EXPECT_TRUE(server.terminate());
}

TEST_F(ServerProtocol, LogLinesCarryATimeStampUnlessTheJournalStampsThem)
{
    static const QRegularExpression stamped(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Listening on )"));
    startServer({"--card", "1=text:" + textPath});
    EXPECT_TRUE(stamped.match(server.log()).hasMatch()) << server.log().toStdString();
    EXPECT_FALSE(server.log().contains("beyond loopback"));
    ASSERT_TRUE(server.terminate());

    qputenv("JOURNAL_STREAM", "8:12345");
    startServer({"--card", "1=text:" + textPath});
    qunsetenv("JOURNAL_STREAM");
    EXPECT_TRUE(server.log().startsWith("Listening on ")) << server.log().toStdString();
}

TEST_F(ServerProtocol, HeartbeatsFillSilenceOnAnIdleSession)
{
    // Card 1's first input carries nothing, so nothing else is said.
    startServer({"--card", "1:2=text:" + textPath});
    RawClient client;
    openCard(client, 1);
    while (auto m = client.next(300)) EXPECT_NE(m->event, "DataText");
    // Pings (for clients that answer them) say nothing of the card.
    std::optional<cardproto::Message> heartbeat;
    while ((heartbeat = client.next(6000)) && heartbeat->event == "Ping") {
    }
    ASSERT_TRUE(heartbeat);
    EXPECT_EQ(heartbeat->event, "Heartbeat");
    EXPECT_TRUE(heartbeat->args.isEmpty());
}

TEST(ServerCommandLine, AnswersHelpVersionAndRefusesBadArguments)
{
    auto run = [](const QStringList& args, QByteArray* out, QByteArray* err) {
        QProcess process;
        process.start(CardServerProcess::executable(), args);
        process.waitForFinished(10000);
        *out = process.readAllStandardOutput();
        *err = process.readAllStandardError();
        return process.exitCode();
    };
    QByteArray out, err;
    EXPECT_EQ(run({"--help"}, &out, &err), 0);
    EXPECT_TRUE(out.contains("--listen ADDR:PORT"));
    EXPECT_EQ(run({"--version"}, &out, &err), 0);
    EXPECT_TRUE(out.startsWith("pluvane-cardserver "));
    EXPECT_EQ(run({"--card", "9=demo"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("--card"));
    EXPECT_EQ(run({"--card", "1=text:/nonexistent/file"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("cannot read /nonexistent/file"));
    EXPECT_EQ(run({"--listen", "localhost:99999"}, &out, &err), 2);
    EXPECT_TRUE(err.contains("\"99999\" is not a port number")) << err.toStdString();
}
