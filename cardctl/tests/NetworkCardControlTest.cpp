// The control against the real card server program.
#include "cardctl/NetworkCardControl.h"
#include "protocol/CardRecord.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/PumpedWait.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace cardctl;
using cardserver::testing::CardServerProcess;
using platform::Variant;

namespace {

class ControlAgainstServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start({"--demo", "--card", "3=demo", "--time-scale", "10"})) << server.error().toStdString();
        host = server.host();
        port = server.port();
    }
    int32_t open(NetworkCardControl& control, int16_t cardNumber)
    {
        card = cardNumber;
        return control.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card));
    }

    CardServerProcess server;
    QString host;
    int32_t port = 0;
    int16_t card = 1;
};

}  // namespace

TEST_F(ControlAgainstServer, SessionEventsArriveAfterOpenCardReturnsThroughPumpedWaits)
{
    NetworkCardControl control;
    QSignalSpy started(&control, &CardControl::SessionStarted);
    QSignalSpy status(&control, &CardControl::StatusReport);
    QSignalSpy frequency(&control, &CardControl::FrequencyReport);
    QSignalSpy state(&control, &CardControl::StateText);
    QSignalSpy text(&control, &CardControl::DataText);
    ASSERT_EQ(open(control, 1), 0);
    EXPECT_EQ(started.size(), 0);  // raised from the event loop, after the call

    platform::pumpedWait(1);
    EXPECT_EQ(started.size(), 1);
    ASSERT_EQ(status.size(), 1);
    EXPECT_EQ(status.at(0).at(1).toString(), "baudot");
    EXPECT_EQ(status.at(0).at(2).toDouble(), 50);
    EXPECT_EQ(status.at(0).at(4).value<int16_t>(), 0);
    EXPECT_EQ(frequency.at(0).at(0).value<int16_t>(), 1500);
    EXPECT_FALSE(state.isEmpty());

    // Three pieces of text take half a second of air; a loaded machine may take far longer.
    for (QDeadlineTimer deadline(30000); text.size() < 3 && !deadline.hasExpired();) platform::pumpedWait(1);
    ASSERT_GE(text.size(), 3);
    QString received;
    for (const auto& chunk : text) received += chunk.at(4).toString();
    EXPECT_TRUE(received.startsWith("ZCZC ")) << received.toStdString();

    // A typed change, passed by reference, comes back as a report.
    double speed = 75;
    control.SetMode(Variant::str(""), Variant::str(""), Variant::ref(&speed), Variant::i2(-1), Variant::i2(-1),
                    Variant::str(""), Variant::boolean(false));
    ASSERT_TRUE(status.wait(2000));
    EXPECT_EQ(status.last().at(2).toDouble(), 75);

    QSignalSpy ended(&control, &CardControl::SessionEnded);
    control.CloseCard();
    platform::pumpedWait(4);
    EXPECT_EQ(ended.size(), 0);
    EXPECT_FALSE(control.hasSession());
}

TEST_F(ControlAgainstServer, SearchRaisesCardFoundWhileItBlocks)
{
    NetworkCardControl holder;
    ASSERT_EQ(open(holder, 3), 0);

    NetworkCardControl control;
    QList<std::pair<int16_t, bool>> found;
    bool inCall = false;
    QObject::connect(&control, &CardControl::CardFound, [&](int16_t number, const QByteArray& record) {
        EXPECT_TRUE(inCall);
        found.append({number, cardproto::CardRecord::decode(record)->available});
    });
    inCall = true;
    // By name, as a user types it.
    const int32_t status = control.SearchCards(Variant::str("localhost"), Variant::r8(port));
    inCall = false;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(found, (QList<std::pair<int16_t, bool>>{{1, true}, {3, false}}));
}

TEST_F(ControlAgainstServer, RefusalsCarryTheServersTextAndLeaveTheHolderAlone)
{
    NetworkCardControl holder;
    ASSERT_EQ(open(holder, 1), 0);
    QSignalSpy holderEnded(&holder, &CardControl::SessionEnded);

    NetworkCardControl other;
    const int32_t inUse = open(other, 1);
    EXPECT_EQ(inUse, 4);
    EXPECT_EQ(other.GetErrorText(Variant::i2(int16_t(inUse))), "Card 1 is in use by another session");
    const int32_t missing = open(other, 7);
    EXPECT_EQ(missing, 3);
    EXPECT_EQ(other.GetErrorText(Variant::i4(missing)), "Card 7 is not installed");
    // Still the first failure's text for its own status.
    EXPECT_EQ(other.GetErrorText(Variant::i2(4)), "Card 1 is in use by another session");

    QSignalSpy errors(&holder, &CardControl::ErrorReport);
    holder.SetMode(Variant::str("ms"), Variant::str("PACTOR"), Variant::i2(-1), Variant::i2(-1), Variant::i2(-1),
                   Variant::str(""), Variant::boolean(false));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.at(0).at(1).toString().contains("PACTOR"));
    platform::pumpedWait(2);
    EXPECT_EQ(holderEnded.size(), 0);
    EXPECT_TRUE(holder.hasSession());
}

TEST_F(ControlAgainstServer, ServerEndingTheSessionGivesANonZeroReasonOnce)
{
    NetworkCardControl control;
    ASSERT_EQ(open(control, 1), 0);
    QSignalSpy ended(&control, &CardControl::SessionEnded);
    EXPECT_TRUE(server.terminate());
    ASSERT_TRUE(ended.wait(3000));
    platform::pumpedWait(4);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_NE(ended.at(0).at(0).value<int16_t>(), 0);
}

TEST_F(ControlAgainstServer, KilledServerEndsTheSessionWithReasonZero)
{
    NetworkCardControl control;
    ASSERT_EQ(open(control, 1), 0);
    QSignalSpy ended(&control, &CardControl::SessionEnded);
    server.kill();
    ASSERT_TRUE(ended.wait(3000));
    EXPECT_EQ(ended.at(0).at(0).value<int16_t>(), 0);
    EXPECT_EQ(ended.at(0).at(1).value<int32_t>(), kConnectionLost);

    // Operations after the end report that there is no session.
    QSignalSpy errors(&control, &CardControl::ErrorReport);
    control.SetAls(Variant::i4(2));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors.at(0).at(0).value<int32_t>(), kNoSession);
}

TEST(ControlErrors, UnreachableServersAreNamedWithTheirCause)
{
    QTcpServer probe;  // a port known to be free once closed
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 freePort = probe.serverPort();
    probe.close();

    NetworkCardControl control;
    QString host = "127.0.0.1";
    int32_t port = freePort;
    int16_t card = 1;
    int32_t status = control.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card));
    EXPECT_EQ(status, kCannotConnect);
    EXPECT_EQ(control.GetErrorText(Variant::i2(int16_t(status))),
              QStringLiteral("Cannot reach card server 127.0.0.1:%1: connection refused").arg(freePort));

    status = control.SearchCards(Variant::str("nohost.invalid"), Variant::r8(33234));
    EXPECT_EQ(status, kHostNotFound);
    EXPECT_EQ(control.GetErrorText(Variant::i2(int16_t(status))), "Card server host 'nohost.invalid' not found");

    // An empty port box searches with port 0: a clear failure, not a hang.
    status = control.SearchCards(Variant::str("127.0.0.1"), Variant::r8(0));
    EXPECT_EQ(status, kCannotConnect);
    EXPECT_TRUE(control.GetErrorText(Variant::i2(int16_t(status))).contains("127.0.0.1:0: not a valid port"));
}

// A server full of sessions says so, and the control passes its words on as
// the failure of the search or the open, not as a lost connection.
TEST(ControlAtALimit, AFullServerIsReportedInItsOwnWords)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--max-connections", "1"})) << server.error().toStdString();
    QString host = server.host();
    int32_t port = server.port();
    int16_t card = 1;
    NetworkCardControl holder;
    ASSERT_EQ(holder.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card)), 0);

    NetworkCardControl other;
    const int32_t opened = other.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card));
    EXPECT_EQ(opened, kServerFull);
    EXPECT_TRUE(other.GetErrorText(Variant::i4(opened)).contains("limit of 1 connections"))
        << other.GetErrorText(Variant::i4(opened)).toStdString();
    EXPECT_EQ(other.SearchCards(Variant::ref(&host), Variant::ref(&port)), kServerFull);
    EXPECT_TRUE(holder.hasSession());
}

// The control answers the server's Ping while its program runs; a program
// that stops (here: a thread that no longer turns its event loop) loses its
// card to the next client within the server's stall timeout.
TEST(ControlAtALimit, AControlThatStopsReadingLosesItsCardAndLearnsSoWhenItResumes)
{
    CardServerProcess server;
    ASSERT_TRUE(server.start({"--demo", "--stall-timeout", "1"})) << server.error().toStdString();
    QString host = server.host();
    int32_t port = server.port();
    int16_t card = 1;
    NetworkCardControl holder;
    QSignalSpy ended(&holder, &CardControl::SessionEnded);
    ASSERT_EQ(holder.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card)), 0);
    platform::pumpedWait(40);  // 2 s of answered Pings: the session stays
    EXPECT_EQ(ended.size(), 0);
    EXPECT_TRUE(holder.hasSession());

    QThread::sleep(4);  // stopped: reads nothing, answers nothing
    NetworkCardControl other;
    EXPECT_EQ(other.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card)), 0)
        << other.GetErrorText(Variant::i2(4)).toStdString();
    EXPECT_TRUE(server.log().contains("answered no Ping")) << server.log().toStdString();
    ASSERT_TRUE(!ended.isEmpty() || ended.wait(10000));
    EXPECT_EQ(ended.at(0).at(0).value<int16_t>(), 0);
}

// A connection made by the caller instead of TCP (the fuzzer hands over a
// socket pair): the control asks for the host and port it was given, runs
// its session over the descriptor it gets, and a refusal is one.
TEST_F(ControlAgainstServer, AConnectorMakesTheConnectionInsteadOfTcp)
{
    NetworkCardControl control;
    QStringList asked;
    control.setConnector([&](const QString& askedHost, quint16 askedPort) -> qintptr {
        asked << QStringLiteral("%1:%2").arg(askedHost).arg(askedPort);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
        if (fd >= 0) ::close(fd);
        return -1;
    });
    QSignalSpy started(&control, &CardControl::SessionStarted);
    ASSERT_EQ(open(control, 1), 0) << control.GetErrorText(Variant::i4(kCannotConnect)).toStdString();
    EXPECT_EQ(asked, QStringList{QStringLiteral("%1:%2").arg(host).arg(port)});
    for (QDeadlineTimer deadline(30000); started.isEmpty() && !deadline.hasExpired();) platform::pumpedWait(1);
    EXPECT_EQ(started.size(), 1);
    control.CloseCard();

    NetworkCardControl refused;
    refused.setConnector([](const QString&, quint16) -> qintptr { return -1; });
    EXPECT_EQ(open(refused, 1), kCannotConnect);
    EXPECT_TRUE(refused.GetErrorText(Variant::i4(kCannotConnect)).contains("connection refused"));
}
