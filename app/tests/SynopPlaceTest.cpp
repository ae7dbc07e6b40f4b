// The SYNOP window's first place: 120 twips below the main window's outer
// bottom edge as the window stands framed, not as its frame was guessed
// while it loaded without one.
#include "app/MainWindow.h"
#include "cardctl/testing/RecordingCardControl.h"
#include "platform/PumpedWait.h"
#include "platform/tests/HiveFixture.h"
#include "platform/testing/WaitFor.h"
#include "session/SessionHandlers.h"
#include "settings/SettingsStore.h"
#include "synop/tests/RecordingComponent.h"

#include <QPushButton>

namespace {

const QString kApp = QStringLiteral("Pluvane");

class SynopPlace : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        platform::setSleepFunction([](int) {});
        settings::WriteSetting(kApp, "CardNumber", int32_t{1});
    }
    void TearDown() override { platform::setSleepFunction({}); }

    std::unique_ptr<app::MainWindow> start()
    {
        app::MainWindowParts parts;
        parts.cardControl = std::make_unique<cardctl::RecordingCardControl>();
        parts.configCardControls = [] { return std::make_unique<cardctl::RecordingCardControl>(); };
        parts.synopComponents = [this] { return std::make_unique<synop::testing::RecordingComponent>(script); };
        auto window = std::make_unique<app::MainWindow>(std::move(parts));
        window->Load();
        window->show();
        return window;
    }
    int32_t topGiven() const
    {
        for (const std::string& call : script->log)
            if (call.rfind("WindowTop=(", 0) == 0) return std::stoi(call.substr(11));
        return INT32_MIN;
    }

    std::shared_ptr<synop::testing::ComponentScript> script = std::make_shared<synop::testing::ComponentScript>();
};

}  // namespace

TEST_F(SynopPlace, TheFirstPlaceIs120TwipsBelowTheFramedMainWindow)
{
    auto window = start();
    WAIT_FOR_TRUE(window->frameGeometry() != window->geometry(), 5000);
    window->controls().Connect->click();
    ASSERT_TRUE(window->state().bConnected);
    const double bottom = window->topTwips() + window->frameGeometry().height() * 15.0;
    EXPECT_NEAR(topGiven(), bottom + 120, 1);
}

TEST_F(SynopPlace, AStoredPlaceIsGivenAsStored)
{
    settings::WriteSetting(kApp, "Y-Synop", int32_t{4321});
    auto window = start();
    WAIT_FOR_TRUE(window->frameGeometry() != window->geometry(), 5000);
    window->controls().Connect->click();
    EXPECT_EQ(topGiven(), 4321);
}
