// Window places on a desk wider than 2184 pixels (32767 twips): a 5120-pixel
// primary screen with a second one to its right (wide-desk.json; the offscreen
// platform orders its screens by name, the first being the primary one).
#include "app/MainWindow.h"
#include "cardctl/testing/RecordingCardControl.h"
#include "platform/tests/HiveFixture.h"
#include "platform/testing/QtPrinters.h"
#include "settings/SettingsStore.h"

#include <QGuiApplication>
#include <QScreen>

using settings::ReadSetting;
using settings::WriteSetting;

namespace {

const QString kApp = QStringLiteral("Pluvane");

class WideDesk : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        ASSERT_EQ(QGuiApplication::screens().size(), 2) << "run with QT_QPA_PLATFORM=offscreen:configfile=wide-desk.json";
        ASSERT_EQ(QGuiApplication::primaryScreen()->geometry().width(), 5120);
        WriteSetting(kApp, "CardNumber", int32_t{8});
    }
    static std::unique_ptr<app::MainWindow> start()
    {
        app::MainWindowParts parts;
        parts.cardControl = std::make_unique<cardctl::RecordingCardControl>();
        parts.configCardControls = [] { return std::make_unique<cardctl::RecordingCardControl>(); };
        parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
        auto window = std::make_unique<app::MainWindow>(std::move(parts));
        window->Load();
        window->show();
        return window;
    }
    static int32_t storedNumber(const char* name)
    {
        return std::get<int32_t>(ReadSetting(kApp, name, int32_t{-99999}));
    }
};

}  // namespace

TEST_F(WideDesk, TheFirstStartCentresTheWindowAndTheNextOneComesBackThere)
{
    QPoint centred;
    {
        auto window = start();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_NEAR(window->frameGeometry().center().x(), area.center().x(), 20);
        centred = window->pos();
        EXPECT_GT(centred.x() * 15, 32767);
        EXPECT_EQ(window->state().lXSynop, centred.x() * 15);
        window->close();
    }
    EXPECT_EQ(storedNumber("X"), centred.x() * 15);
    auto again = start();
    EXPECT_EQ(again->pos(), centred);
}

TEST_F(WideDesk, AWindowClosedOnTheSecondScreenComesBackThere)
{
    const QRect second = QGuiApplication::screens().at(1)->geometry();
    const QPoint place = second.topLeft() + QPoint(900, 400);
    {
        auto window = start();
        window->move(place);
        window->state().lXSynop = (place.x() + 10) * 15;
        window->state().lYSynop = (place.y() + 200) * 15;
        window->close();
    }
    EXPECT_EQ(storedNumber("X"), place.x() * 15);
    EXPECT_EQ(storedNumber("X-Synop"), (place.x() + 10) * 15);
    auto again = start();
    EXPECT_EQ(again->pos(), place);
    EXPECT_EQ(again->state().lXSynop, (place.x() + 10) * 15);
    EXPECT_EQ(again->state().lYSynop, (place.y() + 200) * 15);
}
