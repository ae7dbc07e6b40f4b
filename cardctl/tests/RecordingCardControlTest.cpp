#include "cardctl/testing/RecordingCardControl.h"

#include "protocol/CardRecord.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using cardctl::RecordingCardControl;
using platform::Variant;

TEST(RecordingCardControl, KeepsTypesReferencesAndValuesAtCallTime)
{
    RecordingCardControl control;
    double speed = 75;
    {
        int16_t polarity = 1;  // dies before the test reads the record
        control.SetMode(Variant::str(""), Variant::str(""), Variant::ref(&speed), Variant::i2(-1),
                        Variant::ref(&polarity), Variant::str(""), Variant::boolean(false));
    }
    speed = 50;
    const auto call = control.lastCall();
    EXPECT_EQ(call.name, "SetMode");
    EXPECT_EQ(call.describe(), "SetMode(Str \"\", Str \"\", ref R8 75, I2 -1, ref I2 1, Str \"\", "
                               "Bool false)");
    EXPECT_TRUE(call.isRef(2));
    EXPECT_EQ(call.refTarget(2), &speed);
    EXPECT_EQ(call.args.at(2).toR8(), 50);  // the live variable, as passed
    // A Boolean and a 16-bit -1 are different arguments.
    EXPECT_FALSE(call.values.at(6) == Variant::i2(0));
}

TEST(RecordingCardControl, ScriptsResultsTextsAndActionsDuringCalls)
{
    RecordingCardControl control;
    control.setResult("OpenCard", -2);
    control.setErrorText(-2, "refused");
    QSignalSpy found(&control, &cardctl::CardControl::CardFound);
    control.onCall("SearchCards", [&] {
        control.raiseCardFound(2, true);
        control.raiseCardFound(5, false);
    });

    EXPECT_EQ(control.SearchCards(Variant::str("h"), Variant::r8(1)), 0);
    ASSERT_EQ(found.size(), 2);
    EXPECT_EQ(found.at(0).at(0).value<int16_t>(), 2);
    auto record = cardproto::CardRecord::decode(found.at(1).at(1).toByteArray());
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->available);

    QString host = "h";
    int32_t port = 1;
    int16_t card = 3;
    int32_t status = control.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&card));
    EXPECT_EQ(status, -2);
    EXPECT_EQ(control.GetErrorText(Variant::i4(status)), "refused");
    EXPECT_EQ(control.callNames(), QStringList({"SearchCards", "OpenCard", "GetErrorText"}));
    EXPECT_EQ(control.describedCalls().at(1), "OpenCard(ref Str \"h\", ref I4 1, ref I2 3)");
    EXPECT_EQ(control.callsNamed("OpenCard").size(), 1);
    control.clear();
    EXPECT_TRUE(control.calls().isEmpty());
    EXPECT_TRUE(control.lastCall().name.isEmpty());
}
