// The bridge against a recording component: the calls, their order and
// arguments, the warning, and what happens when the component fails.
#include "RecordingComponent.h"
#include "platform/MessageBox.h"
#include "synop/SynopBridge.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::ComponentScript;
using synop::testing::RecordingComponent;
using Log = std::vector<std::string>;

namespace {

const Log kConfiguration = {"ApplicationName(Pluvane)", "WindowTop=(4500)", "WindowLeft=(-300)", "Option1(true)",
                            "Option2(true)", "Option3(true)", "Option4(true)", "Option5(true)"};

Log concat(Log a, const Log& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Bridge : ::testing::Test {
    std::shared_ptr<ComponentScript> script = std::make_shared<ComponentScript>();
    bool creatable = true;
    std::vector<std::pair<QString, QString>> boxes;
    SynopBridge bridge{[this]() -> std::unique_ptr<ISynopComponent> {
        if (!creatable) return nullptr;
        return std::make_unique<RecordingComponent>(script);
    }};

    void SetUp() override
    {
        platform::setMessageBoxFunction([this](const QString& text, const QString& caption) { boxes.emplace_back(text, caption); });
    }
    void TearDown() override { platform::setMessageBoxFunction({}); }
    void start() { bridge.Start("Pluvane", -300, 4500); }
    Log takeLog() { return std::exchange(script->log, {}); }
};

}  // namespace

TEST_F(Bridge, StartCreatesOpensAndConfiguresInOrder)
{
    start();
    EXPECT_TRUE(bridge.bSynopOK());
    EXPECT_EQ(takeLog(), concat({"create #1", "OpenDecoder(0)"}, kConfiguration));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Bridge, UnavailableComponentWarnsAndIsLeftAlone)
{
    script->openResult = 0;
    start();
    EXPECT_FALSE(bridge.bSynopOK());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Cirrulet Control (Cirrulet.dll) not found\r\nSynop decoder will not be available");
    EXPECT_EQ(boxes[0].second, "Pluvane");
    bridge.Feed("AAXX 08061\r\n");
    int32_t x = 11, y = 22;
    bridge.Stop(x, y);
    bridge.ShutdownReadPosition(x, y);
    EXPECT_EQ(x, 11);
    EXPECT_EQ(y, 22);
    EXPECT_EQ(takeLog(), (Log{"create #1", "OpenDecoder(0)"}));
    // Shutdown while connected still closes and releases it.
    bridge.ShutdownClose();
    EXPECT_EQ(takeLog(), (Log{"CloseDecoder(0)", "release #1"}));
    EXPECT_FALSE(bridge.hasInstance());
}

TEST_F(Bridge, MissingOrFailingComponentIsUnavailableNotACrash)
{
    creatable = false;
    start();
    EXPECT_FALSE(bridge.bSynopOK());
    EXPECT_EQ(boxes.size(), 1u);
    bridge.Feed("text");
    bridge.ShutdownClose();  // nothing to close
    EXPECT_TRUE(takeLog().empty());

    creatable = true;
    script->failing = {"OpenDecoder"};
    start();
    EXPECT_FALSE(bridge.bSynopOK());
    EXPECT_EQ(boxes.size(), 2u);
}

TEST_F(Bridge, EachFailingConfigurationCallIsSkipped)
{
    script->failing = {"ApplicationName", "WindowTop=", "Option2", "Option5"};
    start();
    EXPECT_TRUE(bridge.bSynopOK());
    EXPECT_EQ(takeLog(), concat({"create #1", "OpenDecoder(0)"}, kConfiguration));
}

TEST_F(Bridge, StopReadsThePositionBackAndKeepsTheInstance)
{
    start();
    takeLog();
    int32_t x = 0, y = 0;
    bridge.Stop(x, y);
    EXPECT_EQ(x, 1500);
    EXPECT_EQ(y, 3000);
    EXPECT_FALSE(bridge.bSynopOK());
    EXPECT_TRUE(bridge.hasInstance());
    EXPECT_EQ(takeLog(), (Log{"WindowLeft()", "WindowTop()", "CloseDecoder(0)"}));
    bridge.Stop(x, y);  // already stopped
    bridge.ShutdownReadPosition(x, y);
    EXPECT_TRUE(takeLog().empty());
    bridge.ShutdownClose();
    EXPECT_EQ(takeLog(), (Log{"CloseDecoder(0)", "release #1"}));
}

TEST_F(Bridge, PositionsOnAWideDeskAreKeptAndFailedReadsLeaveTheVariable)
{
    start();
    script->left = 40000;  // 2667 pixels: a second screen
    script->top = -32768;
    int32_t x = 7, y = 8;
    bridge.ShutdownReadPosition(x, y);
    EXPECT_EQ(x, 40000);
    EXPECT_EQ(y, -32768);

    script->left = 1200;
    script->failing = {"WindowTop"};
    bridge.Stop(x, y);
    EXPECT_EQ(x, 1200);
    EXPECT_EQ(y, -32768);
    EXPECT_EQ(takeLog().back(), "CloseDecoder(0)");  // a failed read does not stop the close
}

TEST_F(Bridge, FeedPassesEightBitTextAndSurvivesFailures)
{
    bridge.Feed("before start");
    start();
    takeLog();
    script->failing = {"FeedText"};
    bridge.Feed(QStringLiteral("10015 41460 72315=\r\n"));
    bridge.Feed(QString::fromUtf8("Stra\u00dfe \u20ac5\r"));
    EXPECT_EQ(takeLog(), (Log{"FeedText(10015 41460 72315=\r\n)", "FeedText(Stra\xdf" "e \x80" "5\r)"}));
    EXPECT_TRUE(bridge.bSynopOK());
}

TEST_F(Bridge, NewStartReleasesThePreviousInstanceAfterCreatingTheNext)
{
    start();
    int32_t x = 0, y = 0;
    bridge.Stop(x, y);
    takeLog();
    script->openResult = 0;
    start();
    const Log log = takeLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ((Log{log[0], log[1], log[2]}), (Log{"create #2", "release #1", "OpenDecoder(0)"}));
    EXPECT_EQ(boxes.size(), 1u);
    script->openResult = 1;
    start();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(bridge.bSynopOK());
}

TEST(BridgeWithRealComponent, PositionCarriesOverSessions)
{
    SynopBridge bridge;  // loads the component's library from beside the program
    bridge.Start("Pluvane", 1500, 1500);  // where the whole window fits on the test's screen
    ASSERT_TRUE(bridge.bSynopOK());
    bridge.Feed("AAXX 08061\r\n10147 12970 61512 10062 21011 30110 40136 52004=\r\n");
    QTest::qWait(20);
    int32_t x = 0, y = 0;
    bridge.Stop(x, y);
    EXPECT_EQ(x, 1500);
    EXPECT_EQ(y, 1500);
    bridge.Start("Pluvane", x, y);
    ASSERT_TRUE(bridge.bSynopOK());
    bridge.ShutdownReadPosition(x, y);
    EXPECT_EQ(x, 1500);
    EXPECT_EQ(y, 1500);
    bridge.ShutdownClose();
    EXPECT_FALSE(bridge.hasInstance());
}
