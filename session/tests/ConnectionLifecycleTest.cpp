#include "SessionFixture.h"

using platform::Variant;
using platform::VarType;

namespace {

class ConnectionLifecycle : public SessionFixture {
protected:
    void pressConnect() { controls.Connect->click(); }
    void openRunningSession()
    {
        pressConnect();
        emit card->SessionStarted();
        card->clear();
    }
};

}  // namespace

TEST_F(ConnectionLifecycle, OpeningPassesTheHeldSettingsByReferenceAndWaitsForTheStart)
{
    handlers->UpdateControls();
    pressConnect();
    ASSERT_EQ(card->callNames(), QStringList{"OpenCard"});
    const auto open = card->lastCall();
    EXPECT_EQ(open.refTarget(0), &state.sHostName);
    EXPECT_EQ(open.args[0].type(), VarType::Str);
    EXPECT_EQ(open.refTarget(1), &state.lHostPort);
    EXPECT_EQ(open.args[1].type(), VarType::I4);
    EXPECT_EQ(open.refTarget(2), &state.iCardNumber);
    EXPECT_EQ(open.args[2].type(), VarType::I2);
    EXPECT_EQ(open.values[0], Variant::str("127.0.0.1"));

    // Waiting for start: everything disabled, caption unchanged.
    EXPECT_TRUE(state.bConnected);
    EXPECT_FALSE(state.bSessionUp);
    EXPECT_FALSE(controls.Connect->isEnabled());
    EXPECT_FALSE(controls.Config->isEnabled());
    EXPECT_FALSE(controls.Auto->isEnabled());
    EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Connect"));
    EXPECT_EQ(synopCalls, QStringList{"start"});
    EXPECT_EQ(platform::mousePointer(), platform::MousePointer::Default);
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ConnectionLifecycle, AFailedOpenShowsTheStatusAndErrorTextThenReturnsToIdle)
{
    for (const int32_t status : {-2, 3, 70000}) {
        SCOPED_TRACE(status);
        boxes.clear();
        synopCalls.clear();
        card->setResult("OpenCard", status);
        card->setErrorText(status, QStringLiteral("Cannot reach card server 127.0.0.1:33234: connection refused"));
        pressConnect();
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0], QStringLiteral("Err:%1 - Cannot reach card server 127.0.0.1:33234: connection refused")
                                .arg(status));
        EXPECT_EQ(boxCaptions[0], QStringLiteral("Pluvane"));
        EXPECT_EQ(pointerDuringBox, platform::MousePointer::ArrowHourglass);
        EXPECT_FALSE(state.bConnected);
        EXPECT_TRUE(controls.Connect->isEnabled());
        EXPECT_TRUE(controls.Config->isEnabled());
        EXPECT_EQ(synopCalls, QStringList{"stop"});
        EXPECT_EQ(platform::mousePointer(), platform::MousePointer::Default);
    }
}

TEST_F(ConnectionLifecycle, SessionStartedSelectsTheInputUnlessTheCardHasNoMode)
{
    struct Case {
        QString mode;
        bool setsInput;
    };
    for (const Case& c : {Case{"", true}, Case{"baudot", true}, Case{"NO-MODE", true}, Case{"no-mode", false}}) {
        SCOPED_TRACE(c.mode.toStdString());
        state.sMode = c.mode;
        state.bSessionUp = false;
        controls.StatusBar->setPanelText(session::kFreqPanel, QStringLiteral("Freq"));
        card->clear();
        sleeps = 0;
        emit card->SessionStarted();
        EXPECT_TRUE(state.bSessionUp);
        if (c.setsInput) {
            ASSERT_EQ(card->callNames(), QStringList{"SetInput"});
            const auto call = card->lastCall();
            EXPECT_EQ(call.refTarget(0), &state.iIFInput);
            EXPECT_EQ(call.args[0].type(), VarType::I2);
            EXPECT_EQ(call.args[1], Variant::i2(70));
            EXPECT_EQ(call.refTarget(2), &state.lIFFreqs);
            EXPECT_EQ(call.args[2].type(), VarType::I4);
            EXPECT_EQ(call.args[3], Variant::i2(-1));
            EXPECT_EQ(panel(session::kFreqPanel), QStringLiteral("Setting Input"));
            EXPECT_EQ(sleeps, 6);
        } else {
            EXPECT_TRUE(card->calls().isEmpty());
            EXPECT_EQ(panel(session::kFreqPanel), QStringLiteral("Freq"));
            EXPECT_EQ(sleeps, 0);
        }
        EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Disconnect"));
        EXPECT_TRUE(controls.Auto->isEnabled());
        EXPECT_FALSE(controls.Config->isEnabled());
    }
}

TEST_F(ConnectionLifecycle, TextArrivingDuringTheStartWaitIsClearedByTheRefresh)
{
    card->onCall("SetInput", [this] {
        QMetaObject::invokeMethod(card, [this] { emit card->DataText(1, 1, 1, 0, QStringLiteral("early\r\n")); },
                                  Qt::QueuedConnection);
    });
    controls.Text->setText(QStringLiteral("old"));
    emit card->SessionStarted();
    EXPECT_EQ(fed, QStringList{"early\r\n"});
    EXPECT_EQ(controls.Text->text(), QString());
}

TEST_F(ConnectionLifecycle, AnEndedSessionNeedsOnePressToCloseAndAnotherToOpen)
{
    for (const int16_t reason : {int16_t(1), int16_t(0)}) {
        SCOPED_TRACE(reason);
        openRunningSession();
        controls.StatusBar->setPanelText(session::kStatePanel, QStringLiteral("TRAFFIC "));
        emit card->SessionEnded(reason, 0);
        EXPECT_EQ(panel(session::kStatePanel), reason ? QStringLiteral("QUIT: Server") : QStringLiteral("QUIT: Error"));
        EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Connect"));
        EXPECT_TRUE(controls.Connect->isEnabled());
        EXPECT_FALSE(controls.Auto->isEnabled());
        EXPECT_TRUE(controls.Config->isEnabled());
        EXPECT_TRUE(state.bConnected);

        synopCalls.clear();
        pressConnect();
        EXPECT_EQ(card->callNames(), QStringList{"CloseCard"});
        EXPECT_EQ(synopCalls, QStringList{"stop"});
        EXPECT_FALSE(state.bConnected);
        EXPECT_EQ(panel(session::kStatePanel), QString());

        card->clear();
        pressConnect();
        EXPECT_EQ(card->callNames(), QStringList{"OpenCard"});
        pressConnect();  // close again for the next round
    }
}

TEST_F(ConnectionLifecycle, RefreshTouchesTheTextAreaOnlyWithTheSessionUpAndTheStatePanelOnlyWithItDown)
{
    controls.Text->setText(QStringLiteral("kept"));
    controls.StatusBar->setPanelText(session::kStatePanel, QStringLiteral("SYNC "));
    state.bSessionUp = false;
    handlers->UpdateControls();
    EXPECT_EQ(controls.Text->text(), QStringLiteral("kept"));
    EXPECT_EQ(panel(session::kStatePanel), QString());

    controls.StatusBar->setPanelText(session::kStatePanel, QStringLiteral("SYNC "));
    state.bSessionUp = true;
    state.bCanConnect = false;
    handlers->UpdateControls();
    EXPECT_EQ(controls.Text->text(), QString());
    EXPECT_EQ(panel(session::kStatePanel), QStringLiteral("SYNC "));
    EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Disconnect"));
    EXPECT_FALSE(controls.Connect->isEnabled());
}

TEST_F(ConnectionLifecycle, ClosingARunningSessionReturnsToIdle)
{
    openRunningSession();
    synopCalls.clear();
    pressConnect();
    EXPECT_EQ(card->callNames(), QStringList{"CloseCard"});
    EXPECT_FALSE(state.bConnected);
    EXPECT_FALSE(state.bSessionUp);
    EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Connect"));
    EXPECT_TRUE(controls.Config->isEnabled());
    EXPECT_EQ(synopCalls, QStringList{"stop"});
}

TEST_F(ConnectionLifecycle, ASessionEndingInsideTheStartWaitKeepsItsReasonAndClearsTheNotice)
{
    for (const int16_t reason : {int16_t(0), int16_t(2)}) {
        SCOPED_TRACE(reason);
        pressConnect();
        card->onCall("SetInput", [this, reason] {
            QMetaObject::invokeMethod(card, [this, reason] { emit card->SessionEnded(reason, 0); },
                                      Qt::QueuedConnection);
        });
        emit card->SessionStarted();
        EXPECT_FALSE(state.bSessionUp);
        EXPECT_EQ(panel(session::kStatePanel), reason ? QStringLiteral("QUIT: Server") : QStringLiteral("QUIT: Error"));
        EXPECT_EQ(panel(session::kFreqPanel), QString());
        EXPECT_EQ(controls.Connect->text(), QStringLiteral("&Connect"));
        EXPECT_TRUE(controls.Connect->isEnabled());
        EXPECT_FALSE(controls.Auto->isEnabled());
        EXPECT_TRUE(state.bConnected);
        card->clear();
        pressConnect();  // the close path, as after any end
        EXPECT_EQ(card->callNames(), QStringList{"CloseCard"});
        card->clear();
    }
}

TEST_F(ConnectionLifecycle, TheStartWaitProcessesEventsBeforeEachSleepWithTheButtonsStillDisabled)
{
    pressConnect();
    QList<bool> connectEnabled, configEnabled;
    QStringList panelAtSleep;
    int deliveredAtFirstSleep = -1;
    int delivered = 0;
    QObject::connect(card, &cardctl::CardControl::StateText, [&] { ++delivered; });
    card->onCall("SetInput", [this] {
        QMetaObject::invokeMethod(card, [this] { emit card->StateText(QStringLiteral("sync")); }, Qt::QueuedConnection);
    });
    platform::setSleepFunction([&](int) {
        if (deliveredAtFirstSleep < 0) deliveredAtFirstSleep = delivered;
        connectEnabled << controls.Connect->isEnabled();
        configEnabled << controls.Config->isEnabled();
        ++sleeps;
    });
    emit card->SessionStarted();
    EXPECT_EQ(deliveredAtFirstSleep, 1) << "the first pass must process events before it sleeps";
    EXPECT_EQ(connectEnabled, QList<bool>(6, false));
    EXPECT_EQ(configEnabled, QList<bool>(6, false));
    EXPECT_TRUE(controls.Connect->isEnabled());  // the refresh after the wait
}

TEST_F(ConnectionLifecycle, TheBusyPointerIsGoneBeforeTheBridgeStartsAndTheEndLeavesTheBridgeRunning)
{
    platform::MousePointer pointerAtStart = platform::MousePointer::ArrowHourglass;
    handlers.reset();
    handlers = std::make_unique<session::SessionHandlers>(
        state, controls,
        session::SynopHooks{[&] {
                                synopCalls << QStringLiteral("start");
                                pointerAtStart = platform::mousePointer();
                            },
                            [this] { synopCalls << QStringLiteral("stop"); }, {}});
    pressConnect();
    EXPECT_EQ(pointerAtStart, platform::MousePointer::Default);
    emit card->SessionStarted();
    emit card->SessionEnded(1, 0);
    EXPECT_EQ(synopCalls, QStringList{"start"}) << "SessionEnded must not stop the bridge";
}
