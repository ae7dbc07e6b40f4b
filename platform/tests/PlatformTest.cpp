#include "platform/AnsiCodePage.h"
#include "platform/PumpedWait.h"
#include "platform/Rounding.h"
#include "platform/Variant.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace platform;

TEST(Rounding, HalvesGoToTheEvenNeighbourAndOverflowIsReported)
{
    EXPECT_EQ(toInt32(2.5), 2);
    EXPECT_EQ(toInt32(3.5), 4);
    EXPECT_EQ(toInt32(-2.5), -2);
    EXPECT_EQ(toInt32(-0.5), 0);
    EXPECT_EQ(toInt32(1.5000001), 2);
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(-32768.5), -32768);
    EXPECT_FALSE(toInt16(32767.5).has_value());
    EXPECT_FALSE(toInt16(int64_t{40000}).has_value());
    EXPECT_EQ(toInt16(int64_t{-32768}), -32768);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_FALSE(toInt32(2147483647.5).has_value());
    EXPECT_FALSE(toInt32(std::nan("")).has_value());
}

TEST(AnsiCodePage, Windows1252BothWaysWithQuestionMarksForTheRest)
{
    EXPECT_EQ(toAnsi(QStringLiteral("Caf\u00e9 \u20ac5")), QByteArray("Caf\xe9 \x80" "5"));
    EXPECT_EQ(toAnsi(QStringLiteral("\u03a9\u4e2d")), QByteArray("??"));
    EXPECT_EQ(fromAnsi(QByteArray("\x80\x9f\x81")), QStringLiteral("\u20ac\u0178\u0081"));
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
    EXPECT_EQ(toAnsi(fromAnsi(all)), all);
}

TEST(PumpedWait, CountsPassesProcessesEventsAndOrdersSleep)
{
    QStringList trace;
    setSleepFunction([&](int ms) { trace << QStringLiteral("sleep%1").arg(ms); });
    QTimer::singleShot(0, [&] { trace << QStringLiteral("event"); });
    pumpedWait(3);
    EXPECT_EQ(trace, (QStringList{"event", "sleep50", "sleep50", "sleep50"}));

    trace.clear();
    QTimer::singleShot(0, [&] { trace << QStringLiteral("event"); });
    pumpedWaitSleepFirst(2);
    EXPECT_EQ(trace, (QStringList{"sleep50", "event", "sleep50"}));

    // Once the program shuts down, waits end at their next pass.
    trace.clear();
    setWaitsAbandoned(true);
    pumpedWait(201);
    pumpedWaitSleepFirst(201);
    setWaitsAbandoned(false);
    EXPECT_TRUE(trace.isEmpty());
    setSleepFunction({});
}

TEST(Variant, TypeAndReferenceArePartOfEquality)
{
    double speed = 50;
    int16_t polarity = 1;
    EXPECT_EQ(Variant::i2(-1), Variant::i2(-1));
    EXPECT_FALSE(Variant::i2(-1) == Variant::i4(-1));
    EXPECT_FALSE(Variant::boolean(true) == Variant::i2(-1));
    EXPECT_EQ(Variant::boolean(true).toI4(), -1);
    EXPECT_EQ(Variant::ref(&speed), Variant::ref(&speed));
    EXPECT_FALSE(Variant::ref(&speed) == Variant::r8(50));
    const Variant byRef = Variant::ref(&polarity);
    polarity = 0;
    EXPECT_EQ(byRef.toI2(), 0);
    EXPECT_EQ(byRef.refTarget(), &polarity);
    EXPECT_EQ(Variant::str(QStringLiteral("ms")).describe(), QStringLiteral("Str \"ms\""));
    EXPECT_EQ(Variant::ref(&speed).describe(), QStringLiteral("ref R8 50"));
}
