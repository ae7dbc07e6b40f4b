// The mode operations through the protocol, as the front end sends them.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

const QByteArray kTraffic =
    "ZCZC 101\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n"
    "10384 32575 72008 10052 20023 39948 40152 52008 69901 72582 8457/=\r\n"
    "10400 11460 82310 10071 20050 30011 40120 57016 60041 76162 887//=\r\nNNNN\r\n";

WireValue keep() { return WireValue::i2(-1); }
WireValue none() { return WireValue::str(""); }

class ModeOperations : public ::testing::Test {
protected:
    void start(const QString& lineSuffix, QStringList extra = {})
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"a.txt", "b.txt"}) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(name[0] == 'a' ? kTraffic : QByteArray("QQQQ QQQQ QQQQ\r\n"));
        }
        QStringList args{"--card", "1=text:" + dir.filePath("a.txt") + lineSuffix, "--time-scale", "20"};
        ASSERT_TRUE(server.start(args + extra)) << server.error().toStdString();
        ASSERT_TRUE(client.connectTo(server.host(), server.port()));
        const auto reply = client.reply(client.request("OpenCard", openArgs(1)));
        ASSERT_TRUE(reply && reply->status == 0);
        ASSERT_TRUE(client.event("StateText"));
    }
    // Sends the request and checks that it succeeded without a result.
    void ok(const QString& op, QList<WireValue> args)
    {
        const auto reply = client.reply(client.request(op, std::move(args)));
        ASSERT_TRUE(reply) << op.toStdString();
        EXPECT_FALSE(reply->status.has_value()) << op.toStdString() << ": " << reply->text.toStdString();
    }
    int refused(const QString& op, QList<WireValue> args)
    {
        const auto reply = client.reply(client.request(op, std::move(args)));
        return reply && reply->status ? int(*reply->status) : 0;
    }
    Message statusReport()
    {
        const auto report = client.event("StatusReport");
        EXPECT_TRUE(report);
        return report.value_or(Message{});
    }

    QTemporaryDir dir;
    CardServerProcess server;
    RawClient client;
};

}  // namespace

TEST_F(ModeOperations, FrontEndFormsAreAcceptedAndReported)
{
    start("");
    ok("SetDecoderOptions", {keep(), WireValue::i4(1), WireValue::i4(-1), WireValue::i2(5)});
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), keep(), keep(), keep(), keep(), WireValue::boolean(false)});
    Message report = statusReport();
    EXPECT_EQ(report.args.at(1).text, "baudot");
    ASSERT_TRUE(client.event("FrequencyReport"));
    ok("SetInput", {WireValue::i2(1, true), WireValue::i2(40), WireValue::i4(0, true), keep()});
    ok("SetCentreShift", {WireValue::i2(2100), WireValue::i2(850)});
    report = statusReport();
    EXPECT_EQ(report.args.at(3).real, 850);
    const auto frequency = client.event("FrequencyReport");
    EXPECT_EQ(frequency->args.at(0).integer, 2100);
    ok("SetAls", {WireValue::i4(2)});
    EXPECT_EQ(client.event("StateText")->args.at(0).text, "ALS");
    ok("SetAls", {WireValue::i4(1)});
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), keep(), keep(), keep(), none(), WireValue::boolean(false)});

    ok("SetMode", {none(), none(), WireValue::r8(75, true), keep(), keep(), none(), WireValue::boolean(false)});
    EXPECT_EQ(statusReport().args.at(2).real, 75);
    ok("SetMode", {none(), none(), keep(), WireValue::r8(425, true), keep(), none(), WireValue::boolean(false)});
    EXPECT_EQ(statusReport().args.at(3).real, 425);
    // The front end passes 1 to ask for inverted and 0 for normal; the card
    // reports -1 for inverted.
    ok("SetMode", {none(), none(), keep(), keep(), WireValue::i2(1, true), none(), WireValue::boolean(false)});
    EXPECT_EQ(statusReport().args.at(4).integer, -1);
    ok("SetMode", {none(), none(), keep(), keep(), WireValue::i2(0, true), none(), WireValue::boolean(false)});
    report = statusReport();
    EXPECT_EQ(report.args.at(4).integer, 0);
    EXPECT_EQ(report.args.at(2).real, 75);  // unchanged by the later forms
}

TEST_F(ModeOperations, MistunedCardGarblesAndAlsFindsTheSentLine)
{
    start("@75,850,2100,inverted");
    const QString garbled = client.collectText(kEventWaitMs, 40);
    EXPECT_FALSE(garbled.isEmpty());
    EXPECT_FALSE(garbled.contains("10384 32575")) << garbled.toStdString();

    ok("SetAls", {WireValue::i4(2)});
    const auto measured = client.event("FrequencyReport");  // after 5 s of signal
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->args.at(0).integer, 2100);
    ok("SetAls", {WireValue::i4(1)});
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), keep(), keep(), keep(), keep(), WireValue::boolean(true)});
    const Message report = statusReport();
    EXPECT_EQ(report.args.at(2).real, 75);
    EXPECT_EQ(report.args.at(3).real, 850);
    EXPECT_EQ(report.args.at(4).integer, -1);

    const QString clean = client.collectText(kEventWaitMs, 2 * kTraffic.size());
    EXPECT_TRUE(clean.contains("10384 32575 72008 10052 20023")) << clean.toStdString();
}

TEST_F(ModeOperations, RefusedValuesChangeNothing)
{
    start("");
    EXPECT_EQ(refused("SetMode", {WireValue::str("ms"), WireValue::str("PACTOR"), keep(), keep(), keep(), none(), WireValue::boolean(false)}), 5);
    EXPECT_EQ(refused("SetMode", {none(), none(), WireValue::r8(75), WireValue::r8(5000), keep(), none(), WireValue::boolean(false)}), 5);
    EXPECT_EQ(refused("SetMode", {none(), none(), keep(), keep(), WireValue::i2(2), none(), WireValue::boolean(false)}), 5);
    EXPECT_EQ(refused("SetMode", {none(), none(), keep(), keep(), keep(), none()}), 1);
    EXPECT_EQ(refused("SetInput", {WireValue::i2(5), WireValue::i2(70), WireValue::i4(0), keep()}), 5);
    EXPECT_EQ(refused("SetInput", {WireValue::i2(1), WireValue::i2(50), WireValue::i4(0), keep()}), 5);
    EXPECT_EQ(refused("SetAls", {WireValue::i4(3)}), 5);
    EXPECT_EQ(refused("SetDecoderOptions", {keep(), WireValue::i4(1), WireValue::i4(-1), WireValue::i2(7)}), 5);
    EXPECT_EQ(refused("SetCentreShift", {WireValue::str("2100"), WireValue::i2(850)}), 1);

    // The speed of the refused call above was not applied.
    ok("SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), keep(), keep(), keep(), none(), WireValue::boolean(false)});
    const Message report = statusReport();
    EXPECT_EQ(report.args.at(2).real, 50);
    EXPECT_EQ(report.args.at(3).real, 425);
    EXPECT_EQ(report.args.at(4).integer, 0);
}

TEST_F(ModeOperations, SetInputSelectsWhatTheCardDecodes)
{
    start("", {"--card", "1:2=text:" + dir.filePath("b.txt")});
    // A translation that moves the tones out of the line is refused, input and all.
    const auto refusal = client.reply(client.request("SetInput", {WireValue::i2(2, true), WireValue::i2(70),
                                                                  WireValue::i4(455000, true), keep()}));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->status, 5);
    EXPECT_TRUE(refusal->text.contains("IF translation of 455000 Hz")) << refusal->text.toStdString();
    EXPECT_TRUE(client.collectText(kEventWaitMs, 200).contains("10384")) << "input 1 still selected";
    ok("SetInput", {WireValue::i2(2, true), WireValue::i2(70), WireValue::i4(0, true), keep()});
    const QString text = client.collectText(kEventWaitMs, 30);
    EXPECT_TRUE(text.contains("QQQQ QQQQ")) << text.toStdString();
    const Message* last = nullptr;
    for (const auto& m : client.seen)
        if (m.event == "DataText") last = &m;
    ASSERT_TRUE(last);
    EXPECT_EQ(last->args.at(1).integer, 2);
}
