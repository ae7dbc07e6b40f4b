#include "protocol/CardRecord.h"
#include "protocol/LineFramer.h"
#include "protocol/Message.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace cardproto;

namespace {

std::optional<WireValue> value(const char* json, QString* error = nullptr)
{
    QString ignored;
    return WireValue::fromJson(QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0),
                               error ? error : &ignored);
}

}  // namespace

TEST(WireValue, NumbersMustFitTheirType)
{
    EXPECT_EQ(value(R"({"i2": -32768})")->integer, -32768);
    EXPECT_FALSE(value(R"({"i2": 32768})"));
    EXPECT_FALSE(value(R"({"i2": 1.5})"));
    EXPECT_EQ(value(R"({"i4": 2147483647})")->integer, 2147483647);
    EXPECT_FALSE(value(R"({"i4": 2147483648})"));
    EXPECT_FALSE(value(R"({"i2": "1"})"));
    EXPECT_FALSE(value(R"({"bool": 1})"));
    EXPECT_FALSE(value(R"({"r8": "50"})"));
}

TEST(WireValue, ShapeIsStrict)
{
    QString error;
    EXPECT_FALSE(value(R"({"i2": 1, "i4": 1})", &error));
    EXPECT_FALSE(value(R"({"x8": 1})", &error));
    EXPECT_TRUE(error.contains("x8"));
    EXPECT_FALSE(value(R"({"i2": 1, "ref": 1})"));
    EXPECT_FALSE(value(R"({"bytes": "***"})"));
    EXPECT_FALSE(value(R"(7)"));
}

TEST(WireValue, RoundTripKeepsTypeAndReference)
{
    const QList<WireValue> values = {WireValue::i2(-1), WireValue::i4(70, true), WireValue::r8(45.45, true),
                                     WireValue::str("ms"), WireValue::boolean(true),
                                     WireValue::binary(QByteArray("\0\1\2", 3))};
    for (const auto& v : values) {
        QString error;
        const auto back = WireValue::fromJson(v.toJson(), &error);
        ASSERT_TRUE(back) << error.toStdString();
        EXPECT_EQ(*back, v);
    }
}

TEST(Message, RequestsRepliesAndEventsRoundTrip)
{
    const auto request = Message::request(7, "SetMode", {WireValue::str("ms"), WireValue::i2(-1, true)});
    QString error;
    auto parsed = Message::parse(request.encode(), &error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, Message::Kind::Request);
    EXPECT_EQ(parsed->id, 7);
    EXPECT_EQ(parsed->args, request.args);

    parsed = Message::parse(Message::reply(8, 3, "Card 3 is not installed").encode(), &error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->kind, Message::Kind::Reply);
    EXPECT_EQ(parsed->status, 3);
    EXPECT_EQ(parsed->text, "Card 3 is not installed");
    parsed = Message::parse(Message::reply(9).encode(), &error);
    EXPECT_FALSE(parsed->status.has_value());

    parsed = Message::parse(Message::greeting(4).encode(), &error);
    EXPECT_EQ(parsed->kind, Message::Kind::Greeting);
    EXPECT_EQ(parsed->protocol, 1);
    EXPECT_EQ(parsed->cards, 4);
}

TEST(Message, StatusOutside16BitsArrivesWhole)
{
    QString error;
    const auto parsed = Message::parse(R"({"id":1,"status":{"i4":65536}})", &error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed->status, 65536);
    EXPECT_EQ(Message::reply(1, 65536).encode(), R"({"id":1,"status":{"i4":65536}})");
}

TEST(Message, RejectsWhatIsNotAMessage)
{
    QString error;
    for (const char* line : {"garbage", "[1,2]", "{}", R"({"id":"x","op":"OpenCard"})",
                             R"({"id":1,"op":"SetAls","args":{"i4":2}})",
                             R"({"id":1,"op":"SetAls","args":[{"i2":99999}]})",
                             R"({"event":"StateText","args":[1]})", R"({"id":1,"status":"0"})"}) {
        EXPECT_FALSE(Message::parse(line, &error)) << line;
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(LineFramer, SplitsLinesAcrossChunksAndBoundsTheirLength)
{
    LineFramer framer(10);
    EXPECT_TRUE(framer.append("abc"));
    EXPECT_FALSE(framer.takeLine());
    EXPECT_TRUE(framer.append("de\r\nxyz\n1234"));
    EXPECT_EQ(*framer.takeLine(), "abcde");
    EXPECT_EQ(*framer.takeLine(), "xyz");
    EXPECT_FALSE(framer.takeLine());
    EXPECT_TRUE(framer.append("567890"));  // exactly 10 bytes, unfinished
    EXPECT_FALSE(framer.append("1"));       // 11: too long, for good
    EXPECT_TRUE(framer.overflowed());
    EXPECT_FALSE(framer.takeLine());

    LineFramer whole(4);
    EXPECT_FALSE(whole.append("12345\n"));  // an over-long line inside one chunk
}

TEST(CardRecord, AvailabilityFlagAtByte22)
{
    CardRecord record;
    record.serial = 610003;
    record.firmware = 0x0104;
    record.available = true;
    const QByteArray bytes = record.encode();
    ASSERT_EQ(bytes.size(), 24);
    EXPECT_EQ(bytes.left(6), QByteArray("W61PC\0", 6));
    EXPECT_EQ(bytes.at(22), 1);
    EXPECT_EQ(bytes.at(23), 0);
    const auto back = CardRecord::decode(bytes + "extra");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->serial, 610003u);
    EXPECT_EQ(back->typeName, "W61PC");
    EXPECT_FALSE(CardRecord::decode(bytes.left(23)));
}
