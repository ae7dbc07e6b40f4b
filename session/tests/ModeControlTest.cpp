#include "SessionFixture.h"
#include "session/DecimalText.h"

#include <QLocale>

using platform::Variant;
using platform::VarType;
using session::kModePanel;
using session::kPolarPanel;
using session::kShiftPanel;
using session::kSpeedPanel;
using session::kStatePanel;

namespace {

class ModeControl : public SessionFixture {
protected:
    void SetUp() override
    {
        SessionFixture::SetUp();
        state.bSessionUp = true;
    }
    QStringList described() const
    {
        QStringList out;
        for (const auto& call : card->calls()) out << call.describe();
        return out;
    }
};

}  // namespace

TEST_F(ModeControl, AutoSequenceMakesItsCallsWithTheirTypesWaitsAndPanelTexts)
{
    controls.StatusBar->setPanelText(kSpeedPanel, QStringLiteral("50"));
    QStringList speedPanelAtCall;
    QList<bool> busyAtCall;
    const auto watch = [&](const cardctl::RecordedCall&) {
        speedPanelAtCall << panel(kSpeedPanel);
        busyAtCall << state.bModeBusy;
    };
    for (const char* op : {"SetDecoderOptions", "SetMode", "SetInput", "SetCentreShift", "SetAls"})
        card->onCall(op, watch);
    controls.Text->setText(QStringLiteral("old text"));

    int sleepsWhenAlsStopped = -1;
    card->onCall("SetAls", [&](const cardctl::RecordedCall& call) {
        if (call.values[0] == Variant::i4(1)) sleepsWhenAlsStopped = sleeps;
    });
    handlers->AutoClick();

    EXPECT_EQ(described(), (QStringList{
                               "SetDecoderOptions(I2 -1, I4 1, I4 -1, I2 5)",
                               "SetMode(Str \"ms\", Str \"BAUDOT\", I2 -1, I2 -1, I2 -1, I2 -1, Bool false)",
                               "SetInput(ref I2 2, I2 40, ref I4 455000, I2 -1)",
                               "SetCentreShift(I2 2100, I2 850)",
                               "SetAls(I4 2)",
                               "SetAls(I4 1)",
                               "SetMode(Str \"ms\", Str \"BAUDOT\", I2 -1, I2 -1, I2 -1, I2 -1, Bool true)",
                           }));
    EXPECT_EQ(card->callsNamed("SetInput")[0].refTarget(0), &state.iIFInput);
    EXPECT_EQ(card->callsNamed("SetInput")[0].refTarget(2), &state.lIFFreqs);
    EXPECT_EQ(speedPanelAtCall, (QStringList{"50", "50", "50", "50", "50", "ALS Off", "50"}));
    EXPECT_EQ(busyAtCall, QList<bool>(7, true));
    EXPECT_EQ(sleepsWhenAlsStopped, 6 * 4 + 201);
    EXPECT_EQ(sleeps, 246);
    EXPECT_EQ(sleptMs, 246 * 50);
    EXPECT_EQ(panel(kModePanel), QStringLiteral("BAUDOT"));
    EXPECT_EQ(panel(kSpeedPanel), QStringLiteral("50"));
    EXPECT_FALSE(state.bModeBusy);
    EXPECT_EQ(controls.Text->text(), QString());
    EXPECT_EQ(platform::mousePointer(), platform::MousePointer::Default);
}

TEST_F(ModeControl, DuringAutoTheSpeedPanelShowsAlsOnTextIsDroppedAndASecondClickIsIgnored)
{
    QStringList seen;
    platform::setSleepFunction([&](int) {
        if (++sleeps == 100) {
            seen << panel(kSpeedPanel);
            seen << (platform::mousePointer() == platform::MousePointer::Hourglass ? "hourglass" : "other");
            emit card->DataText(1, 1, 1, 0, QStringLiteral("dropped"));
            card->clear();
            handlers->AutoClick();  // a click inside the wait
            seen << QString::number(card->calls().size());
        }
    });
    handlers->AutoClick();
    EXPECT_EQ(seen, (QStringList{"ALS On", "hourglass", "0"}));
    EXPECT_TRUE(fed.isEmpty());
    EXPECT_EQ(controls.Text->text(), QString());
    EXPECT_EQ(sleeps, 246);
}

TEST_F(ModeControl, TheAlsWaitSleepsBeforeItProcessesAndTheShortWaitsTheOtherWayRound)
{
    int delivered = 0;
    QObject::connect(card, &cardctl::CardControl::StateText, [&] { ++delivered; });
    const auto queueEvent = [this] {
        QMetaObject::invokeMethod(card, [this] { emit card->StateText(QStringLiteral("x")); }, Qt::QueuedConnection);
    };
    bool alsStarted = false;
    int sleepsSinceCall = 0;
    QList<int> deliveredAtFirstTwoSleeps;  // after SetCentreShift, then after SetAls(2)
    card->onCall("SetCentreShift", [&] {
        queueEvent();
        sleepsSinceCall = 0;
    });
    card->onCall("SetAls", [&](const cardctl::RecordedCall& call) {
        if (call.values[0] != Variant::i4(2)) return;
        queueEvent();
        alsStarted = true;
        sleepsSinceCall = 0;
    });
    platform::setSleepFunction([&](int) {
        ++sleeps;
        if (++sleepsSinceCall <= 2) deliveredAtFirstTwoSleeps << delivered;
    });
    handlers->AutoClick();
    ASSERT_TRUE(alsStarted);
    // Index 0 and 1: the short wait after SetCentreShift (processed, then
    // slept); 2 and 3: the ALS wait (slept, then processed). Earlier waits
    // added entries too; only the last four matter.
    ASSERT_GE(deliveredAtFirstTwoSleeps.size(), 4);
    const QList<int> last = deliveredAtFirstTwoSleeps.mid(deliveredAtFirstTwoSleeps.size() - 4);
    EXPECT_EQ(last, (QList<int>{1, 1, 1, 2}));
}

TEST_F(ModeControl, PanelClicksSendTheirSixFormsOfSetMode)
{
    handlers->PanelClick(kModePanel);
    EXPECT_EQ(panel(kModePanel), QStringLiteral("BAUDOT"));
    EXPECT_EQ(sleeps, 6);
    EXPECT_EQ(described(), (QStringList{
                               "SetMode(Str \"ms\", Str \"BAUDOT\", I2 -1, I2 -1, I2 -1, Str \"\", Bool false)",
                               "SetInput(ref I2 2, I2 70, ref I4 455000, I2 -1)",
                           }));
    card->clear();

    handlers->PanelClick(kSpeedPanel);  // no report yet: dSpeed 0 asks for 50
    handlers->PanelClick(kSpeedPanel);  // then 75
    handlers->PanelClick(kShiftPanel);
    state.iPolarity = 0;
    handlers->PanelClick(kPolarPanel);
    EXPECT_EQ(described(), (QStringList{
                               "SetMode(Str \"\", Str \"\", ref R8 50, I2 -1, I2 -1, Str \"\", Bool false)",
                               "SetMode(Str \"\", Str \"\", ref R8 75, I2 -1, I2 -1, Str \"\", Bool false)",
                               "SetMode(Str \"\", Str \"\", I2 -1, ref R8 425, I2 -1, Str \"\", Bool false)",
                               "SetMode(Str \"\", Str \"\", I2 -1, I2 -1, ref I2 1, Str \"\", Bool false)",
                           }));
    EXPECT_EQ(card->calls()[0].values[2], Variant::r8(50));
    EXPECT_EQ(card->calls()[0].refTarget(2), &state.dSpeed);
    EXPECT_EQ(card->calls()[2].refTarget(3), &state.dShift);
    EXPECT_EQ(panel(kSpeedPanel), QStringLiteral("Speed"));  // clicks write no panel
}

TEST_F(ModeControl, TogglesFollowTheLastReportedOrRequestedValues)
{
    struct Case {
        double speed, shift;
        int16_t polarity;
        double wantSpeed, wantShift;
        int16_t wantPolarity;
    };
    for (const Case& c : {Case{45.45, 170, -1, 50, 425, 0}, Case{50, 425, 0, 75, 850, 1},
                          Case{75, 850, 1, 50, 425, 0}}) {
        handlers->StatusReport(QStringLiteral("baudot"), c.speed, c.shift, c.polarity);
        card->clear();
        handlers->PanelClick(kSpeedPanel);
        handlers->PanelClick(kShiftPanel);
        handlers->PanelClick(kPolarPanel);
        EXPECT_EQ(card->calls()[0].values[2], Variant::r8(c.wantSpeed));
        EXPECT_EQ(card->calls()[1].values[3], Variant::r8(c.wantShift));
        EXPECT_EQ(card->calls()[2].values[4], Variant::i2(c.wantPolarity));
        EXPECT_EQ(state.iPolarity, c.polarity);  // a Polar click leaves it alone
    }
}

TEST_F(ModeControl, ClicksDoNothingWithoutASessionOrOnTheFreqAndStatePanels)
{
    handlers->PanelClick(5);
    handlers->PanelClick(kStatePanel);
    handlers->PanelClick(0);
    state.bSessionUp = false;
    for (int p = 1; p <= 6; ++p) handlers->PanelClick(p);
    EXPECT_TRUE(card->calls().isEmpty());
    EXPECT_EQ(panel(kModePanel), QStringLiteral("Mode"));
    EXPECT_EQ(sleeps, 0);
}

TEST_F(ModeControl, ReportsFillThePanelsAsTheCardSaysThem)
{
    handlers->StatusReport(QStringLiteral("baudot"), 45.459, 850, -1);
    EXPECT_EQ(panel(kModePanel), QStringLiteral("BAUDOT"));
    EXPECT_EQ(panel(kSpeedPanel), QStringLiteral("45.45"));
    EXPECT_EQ(panel(kShiftPanel), QStringLiteral("850"));
    EXPECT_EQ(panel(kPolarPanel), QStringLiteral("INV"));
    EXPECT_EQ(state.sMode, QStringLiteral("baudot"));
    EXPECT_EQ(state.dSpeed, 45.459);

    handlers->StatusReport(QStringLiteral("no-mode"), 50, 170.5, 1);
    EXPECT_EQ(panel(kSpeedPanel), QStringLiteral("50"));
    EXPECT_EQ(panel(kShiftPanel), QStringLiteral("170.5"));
    EXPECT_EQ(panel(kPolarPanel), QStringLiteral("INV"));  // 1 is neither: unchanged
    EXPECT_EQ(state.iPolarity, 1);

    handlers->StateText(QStringLiteral("abc"));
    EXPECT_EQ(panel(kStatePanel), QStringLiteral("ABC "));
    handlers->StateText(QStringLiteral("synchronised"));
    EXPECT_EQ(panel(kStatePanel), QStringLiteral("SYNCHRON"));
    handlers->StateText(QString());
    EXPECT_EQ(panel(kStatePanel), QStringLiteral(" "));
    handlers->FrequencyReport(2100);
    EXPECT_EQ(panel(session::kFreqPanel), QStringLiteral("2100"));
    handlers->FrequencyReport(-5);
    EXPECT_EQ(panel(session::kFreqPanel), QStringLiteral("-5"));
}

TEST(DecimalText, FifteenDigitsNoTrailingZerosAndTheLocalesSeparator)
{
    using session::decimalText;
    using session::truncateToHundredths;
    EXPECT_EQ(decimalText(50), QStringLiteral("50"));
    EXPECT_EQ(decimalText(170.5), QStringLiteral("170.5"));
    EXPECT_EQ(decimalText(1.0 / 3), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(decimalText(-2.25), QStringLiteral("-2.25"));
    // Rounded to 15 significant digits at every magnitude, never "inf" or
    // an exponent: the panel shows a number whatever the card reports.
    EXPECT_EQ(decimalText(123456789012345678.0), QStringLiteral("123456789012346000"));
    EXPECT_EQ(decimalText(truncateToHundredths(1e308)), QStringLiteral("1") + QString(308, QLatin1Char('0')));
    EXPECT_EQ(decimalText(-1.7976931348623157e308), QStringLiteral("-179769313486232") + QString(294, QLatin1Char('0')));
    EXPECT_EQ(decimalText(1.25e-7), QStringLiteral("0.000000125"));
    EXPECT_EQ(decimalText(truncateToHundredths(9007199254740993.0)), QStringLiteral("9007199254740990"));
    EXPECT_EQ(decimalText(truncateToHundredths(45.459)), QStringLiteral("45.45"));
    EXPECT_EQ(decimalText(truncateToHundredths(0.29)), QStringLiteral("0.29"));
    EXPECT_EQ(decimalText(truncateToHundredths(-1.001)), QStringLiteral("-1.01"));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(decimalText(45.45), QStringLiteral("45,45"));
    QLocale::setDefault(QLocale::c());
}
