// The control against servers that break the contract: every failure comes
// back as a status with a text naming host, port and cause, within the
// time limits, and an open session that goes wrong ends with reason 0.
#include "ScriptedServer.h"
#include "cardctl/NetworkCardControl.h"
#include "platform/PumpedWait.h"
#include "platform/testing/WaitFor.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

using namespace cardctl;
using platform::Variant;

namespace {

TimeLimits quickLimits()
{
    TimeLimits limits;
    limits.connectMs = 2000;
    limits.greetingMs = 300;
    limits.replyMs = 300;
    limits.searchMs = 300;
    limits.silenceMs = 600;
    return limits;
}

struct Opened {
    int32_t status;
    QString text;
    qint64 elapsedMs;
};

Opened openOn(NetworkCardControl& control, quint16 port)
{
    QString host = "127.0.0.1";
    int32_t portNumber = port;
    int16_t card = 1;
    QElapsedTimer timer;
    timer.start();
    const int32_t status = control.OpenCard(Variant::ref(&host), Variant::ref(&portNumber), Variant::ref(&card));
    return {status, control.GetErrorText(Variant::i2(int16_t(status))), timer.elapsed()};
}

void replyToOpen(QTcpSocket& socket, const QByteArray& status = R"({"i2":0})")
{
    ScriptedServer::greet(socket);
    const auto request = ScriptedServer::readRequest(socket);
    if (!request) return;
    ScriptedServer::send(socket, "{\"id\":" + QByteArray::number(request->id) + ",\"status\":" + status + "}");
}

}  // namespace

TEST(MisbehavingServer, FailuresBeforeTheReplyBecomeStatusesWithTexts)
{
    struct Case {
        const char* name;
        ScriptedServer::Script script;
        int32_t status;
        const char* textPart;
    };
    const QList<Case> cases = {
        {"no greeting", [](QTcpSocket&) {}, kNoGreeting, "sent no greeting within 0.3 s"},
        {"wrong protocol", [](QTcpSocket& s) { ScriptedServer::greet(s, 2); }, kWrongProtocol, "speaks protocol 2"},
        {"stalled reply", [](QTcpSocket& s) { ScriptedServer::greet(s); }, kReplyTimeout,
         "did not answer OpenCard within 0.3 s"},
        {"garbage line",
         [](QTcpSocket& s) {
             ScriptedServer::greet(s);
             ScriptedServer::readRequest(s);
             ScriptedServer::send(s, "<html>garbage</html>");
         },
         kProtocolError, "broke the protocol"},
        {"oversized line",
         [](QTcpSocket& s) {
             ScriptedServer::greet(s);
             ScriptedServer::readRequest(s);
             ScriptedServer::send(s, "{\"event\":\"StateText\",\"args\":[{\"str\":\"" + QByteArray(70000, 'x') + "\"}]}");
         },
         kProtocolError, "longer than 65536 bytes"},
        {"dropped connection",
         [](QTcpSocket& s) {
             ScriptedServer::greet(s);
             ScriptedServer::readRequest(s);
             s.disconnectFromHost();
         },
         kConnectionLost, "lost"},
        {"status beyond 16 bits", [](QTcpSocket& s) { replyToOpen(s, R"({"i4":65536})"); }, kStatusOutOfRange,
         "status 65536, outside the 16-bit range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server(c.script);
        NetworkCardControl control;
        control.setTimeLimits(quickLimits());
        QSignalSpy ended(&control, &CardControl::SessionEnded);
        const Opened opened = openOn(control, server.port());
        EXPECT_EQ(opened.status, c.status);
        EXPECT_TRUE(opened.text.contains(QStringLiteral("127.0.0.1:%1").arg(server.port())))
            << opened.text.toStdString();
        EXPECT_TRUE(opened.text.contains(c.textPart)) << opened.text.toStdString();
        EXPECT_LT(opened.elapsedMs, 2000);
        EXPECT_FALSE(control.hasSession());
        EXPECT_EQ(ended.size(), 0);  // no session was ever open
    }
}

TEST(MisbehavingServer, OpenSessionThatDropsOrFallsSilentEndsWithReasonZero)
{
    for (const bool drop : {true, false}) {
        SCOPED_TRACE(drop ? "drop" : "silence");
        ScriptedServer server([drop](QTcpSocket& s) {
            replyToOpen(s);
            if (drop) s.disconnectFromHost();
        });
        NetworkCardControl control;
        control.setTimeLimits(quickLimits());
        QSignalSpy ended(&control, &CardControl::SessionEnded);
        ASSERT_EQ(openOn(control, server.port()).status, 0);
        ASSERT_TRUE(ended.wait(2000));
        EXPECT_EQ(ended.at(0).at(0).value<int16_t>(), 0);
        EXPECT_EQ(ended.at(0).at(1).value<int32_t>(), drop ? kConnectionLost : kServerSilent);
        EXPECT_FALSE(control.hasSession());
        QTest::qWait(100);
        EXPECT_EQ(ended.size(), 1);
    }
}

TEST(MisbehavingServer, HeartbeatsKeepASessionAliveWithoutBeingRaised)
{
    std::atomic<bool> done{false};
    ScriptedServer server([&done](QTcpSocket& s) {
        replyToOpen(s);
        for (int i = 0; i < 12 && !done; ++i) {
            ScriptedServer::send(s, R"({"event":"Heartbeat","args":[]})");
            QThread::msleep(100);
        }
    });
    NetworkCardControl control;
    control.setTimeLimits(quickLimits());
    QSignalSpy ended(&control, &CardControl::SessionEnded);
    ASSERT_EQ(openOn(control, server.port()).status, 0);
    QTest::qWait(1000);  // longer than the 0.6 s silence limit
    EXPECT_EQ(ended.size(), 0);
    EXPECT_TRUE(control.hasSession());
    done = true;
}

TEST(MisbehavingServer, MalformedEventEndsTheSession)
{
    ScriptedServer server([](QTcpSocket& s) {
        replyToOpen(s);
        ScriptedServer::send(s, R"({"event":"StatusReport","args":[{"i2":1},{"str":"baudot"}]})");
    });
    NetworkCardControl control;
    control.setTimeLimits(quickLimits());
    QSignalSpy ended(&control, &CardControl::SessionEnded);
    QSignalSpy status(&control, &CardControl::StatusReport);
    ASSERT_EQ(openOn(control, server.port()).status, 0);
    ASSERT_TRUE(ended.wait(2000));
    EXPECT_EQ(ended.at(0).at(1).value<int32_t>(), kProtocolError);
    EXPECT_EQ(status.size(), 0);
    EXPECT_TRUE(control.GetErrorText(Variant::i4(kProtocolError)).contains("malformed StatusReport"));
}

TEST(MisbehavingServer, SessionEndedWhileACallWaitsEndsTheCallAtOnce)
{
    ScriptedServer server([](QTcpSocket& s) {
        replyToOpen(s);
        ScriptedServer::readRequest(s);  // the SetAls below, never answered
        ScriptedServer::send(s, R"({"event":"SessionEnded","args":[{"i2":1},{"i4":0}]})");
    });
    NetworkCardControl control;
    TimeLimits limits = quickLimits();
    limits.replyMs = 5000;
    control.setTimeLimits(limits);
    QSignalSpy ended(&control, &CardControl::SessionEnded);
    QSignalSpy errors(&control, &CardControl::ErrorReport);
    ASSERT_EQ(openOn(control, server.port()).status, 0);
    QElapsedTimer timer;
    timer.start();
    control.SetAls(Variant::i4(2));
    EXPECT_LT(timer.elapsed(), 2000);
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended.at(0).at(0).value<int16_t>(), 1);
    EXPECT_EQ(errors.size(), 0);  // the window learnt of it from SessionEnded
    QTest::qWait(100);
    EXPECT_EQ(ended.size(), 1);
    EXPECT_FALSE(control.hasSession());
}

TEST(MisbehavingServer, ASlowServerLeavesTheEventLoopTurningAndOneOpenStaysWithinItsBound)
{
    // Greeting late, OpenCard never answered: each step within its own
    // limit, yet all three together would wait 4 s.
    ScriptedServer server([](QTcpSocket& s) {
        QThread::msleep(500);
        ScriptedServer::greet(s);
        ScriptedServer::readRequest(s);
    });
    NetworkCardControl control;
    TimeLimits limits = quickLimits();
    limits.greetingMs = 1000;
    limits.replyMs = 1000;
    limits.openMs = 900;
    control.setTimeLimits(limits);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    const Opened opened = openOn(control, server.port());
    EXPECT_EQ(opened.status, kReplyTimeout);
    EXPECT_TRUE(opened.text.contains("did not answer OpenCard")) << opened.text.toStdString();
    // The wait named is the user's whole wait, not what was left of it for the reply.
    EXPECT_TRUE(opened.text.contains("within 0.9 s of pressing Connect")) << opened.text.toStdString();
    EXPECT_GE(opened.elapsedMs, 850);
    EXPECT_LT(opened.elapsedMs, 1500);
    // A blocked thread would give no tick at all; a turning loop some tens.
    EXPECT_GE(ticks, 10);
}

TEST(MisbehavingServer, ACallMadeFromAnEventHandlerGetsItsReplyAtOnce)
{
    // The window calls SetInput from SessionStarted, that is from inside the
    // socket's own read notification, where Qt signals no further data.
    ScriptedServer server([](QTcpSocket& s) {
        replyToOpen(s);
        QThread::msleep(200);  // a read notification of its own
        ScriptedServer::send(s, R"({"event":"SessionStarted","args":[]})");
        if (const auto request = ScriptedServer::readRequest(s))
            ScriptedServer::send(s, "{\"id\":" + QByteArray::number(request->id) + "}");
    });
    NetworkCardControl control;
    TimeLimits limits = quickLimits();
    limits.replyMs = 5000;
    control.setTimeLimits(limits);
    qint64 callMs = -1;
    int errors = 0;
    QObject::connect(&control, &CardControl::ErrorReport, [&] { ++errors; });
    QObject::connect(&control, &CardControl::SessionStarted, [&] {
        QElapsedTimer timer;
        timer.start();
        int16_t input = 1;
        int32_t frequency = 0;
        control.SetInput(Variant::ref(&input), Variant::i2(70), Variant::ref(&frequency), Variant::i2(-1));
        callMs = timer.elapsed();
    });
    ASSERT_EQ(openOn(control, server.port()).status, 0);
    WAIT_FOR_TRUE(callMs >= 0, 8000);
    EXPECT_LT(callMs, 1000);
    EXPECT_EQ(errors, 0);
}

// SessionStarted in a read of its own, and the card's events after it in
// another: the window's wait inside its SessionStarted handler runs with the
// socket's signal still on the stack, and the events must come in the wait
// all the same, in order, not after the handler has returned.
TEST(MisbehavingServer, EventsThatArriveWhileTheSessionStartedHandlerWaitsAreRaisedInTheWait)
{
    std::atomic<bool> done{false};
    ScriptedServer server([&done](QTcpSocket& s) {
        replyToOpen(s);
        QThread::msleep(100);
        ScriptedServer::send(s, R"({"event":"SessionStarted","args":[]})");
        QThread::msleep(100);
        ScriptedServer::send(s, R"({"event":"FrequencyReport","args":[{"i2":1500},{"i2":7}]})"
                                "\n"
                                R"({"event":"DataText","args":[{"i2":1},{"i2":1},{"i4":1},{"i4":0},{"str":"AAXX 08121"}]})");
        while (!done) QThread::msleep(20);
    });
    NetworkCardControl control;
    QStringList order;
    bool inHandler = false;
    QObject::connect(&control, &CardControl::SessionStarted, [&] {
        inHandler = true;
        order << "started";
        // As the window does: a pumped wait, here until the text comes (or 10 s).
        for (int pass = 0; pass < 200 && !order.contains("text in the wait"); ++pass) platform::pumpedWait(1);
        order << "handler done";
        inHandler = false;
    });
    QObject::connect(&control, &CardControl::FrequencyReport,
                     [&] { order << (inHandler ? "frequency in the wait" : "frequency after"); });
    QObject::connect(&control, &CardControl::DataText,
                     [&] { order << (inHandler ? "text in the wait" : "text after"); });
    ASSERT_EQ(openOn(control, server.port()).status, 0);
    QTest::qWaitFor([&] { return order.contains("handler done"); }, 15000);
    done = true;
    EXPECT_EQ(order, QStringList({"started", "frequency in the wait", "text in the wait", "handler done"}));
}
