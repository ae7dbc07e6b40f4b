// Steering a real card: the panel clicks and the Auto sequence against the
// real card server, whose text source is sent with known line parameters.
#include "app/MainWindow.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/MessageBox.h"
#include "platform/PumpedWait.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"
#include "platform/tests/HiveFixture.h"
#include "session/SessionHandlers.h"
#include "platform/testing/QtPrinters.h"
#include "platform/testing/WaitFor.h"
#include "settings/SettingsStore.h"

#include <QPushButton>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

using cardserver::testing::CardServerProcess;

namespace {

const QString kApp = QStringLiteral("Pluvane");
const QByteArray kBulletin =
    "ZCZC 014\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n10384 11458 41606 10012 20004 30125 40210 52008=\r\n"
    "10147 31560 52708 10018 21032 30122 40198 57004=\r\nNNNN\r\n";

class ModeControlEndToEnd : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        platform::setMessageBoxFunction([this](const QString& text, const QString&) { boxes << text; });
        // The card's signal runs 20 times faster than real time; the
        // front end's waits shrink to match.
        platform::setSleepFunction([](int ms) { QThread::msleep(static_cast<unsigned long>(ms / 20)); });
        textFile.setFileTemplate(QDir(dirPath()).filePath("bulletin-XXXXXX.txt"));
        ASSERT_TRUE(textFile.open());
        for (int i = 0; i < 20; ++i) textFile.write(kBulletin);
        textFile.flush();
    }
    void TearDown() override
    {
        platform::setMessageBoxFunction({});
        platform::setSleepFunction({});
    }
    std::unique_ptr<app::MainWindow> connectTo(CardServerProcess& server, const QString& lineParameters)
    {
        EXPECT_TRUE(server.start({QStringLiteral("--time-scale"), QStringLiteral("20"), QStringLiteral("--card"),
                                  QStringLiteral("1=text:%1@%2").arg(textFile.fileName(), lineParameters)}))
            << server.error().toStdString();
        settings::WriteSetting(kApp, "HostName", QStringLiteral("127.0.0.1"));
        settings::WriteSetting(kApp, "HostPort", int32_t{server.port()});
        settings::WriteSetting(kApp, "CardNumber", int32_t{1});
        auto parts = app::networkParts();
        parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
        auto window = std::make_unique<app::MainWindow>(std::move(parts));
        window->Load();
        window->show();
        window->controls().Connect->click();
        boxes.clear();  // the SYNOP component is left out here
        return window;
    }
    static QString panel(app::MainWindow& window, int number)
    {
        return window.controls().StatusBar->panelText(number);
    }
    // Clean text: the bulletin's header line appears whole.
    static bool decodesClean(app::MainWindow& window)
    {
        window.controls().Text->setText(QString());
        return QTest::qWaitFor([&] { return window.controls().Text->text().contains("SMDL01 EDZW 081200"); }, 8000);
    }

    QTemporaryFile textFile;
    QStringList boxes;
};

}  // namespace

TEST_F(ModeControlEndToEnd, SpeedShiftAndPolarClicksRetuneTheCardUntilItDecodesClean)
{
    CardServerProcess server;
    auto window = connectTo(server, QStringLiteral("75,850,1500,inverted"));
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    window->handlers().PanelClick(1);  // force BAUDOT
    WAIT_FOR_EQ(panel(*window, 1), QStringLiteral("BAUDOT"), 5000);
    WAIT_FOR_EQ(window->state().sMode, QStringLiteral("baudot"), 5000);
    EXPECT_FALSE(decodesClean(*window));  // tuned to the wrong speed, shift and polarity

    const double speed = window->state().dSpeed;
    window->handlers().PanelClick(2);
    WAIT_FOR_EQ(panel(*window, 2), speed == 50 ? QStringLiteral("75") : QStringLiteral("50"), 5000);
    if (window->state().dSpeed != 75) window->handlers().PanelClick(2);
    WAIT_FOR_EQ(panel(*window, 2), QStringLiteral("75"), 5000);
    if (window->state().dShift != 850) window->handlers().PanelClick(3);
    WAIT_FOR_EQ(panel(*window, 3), QStringLiteral("850"), 5000);
    if (window->state().iPolarity != -1) window->handlers().PanelClick(4);
    WAIT_FOR_EQ(panel(*window, 4), QStringLiteral("INV"), 5000);

    EXPECT_TRUE(decodesClean(*window));
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
}

TEST_F(ModeControlEndToEnd, AutoOnACardTunedWrongEndsDecodingCleanWithTheRightPanels)
{
    CardServerProcess server;
    auto window = connectTo(server, QStringLiteral("75,850,1500,inverted"));
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    window->controls().Auto->click();
    EXPECT_FALSE(window->state().bModeBusy);
    EXPECT_EQ(panel(*window, 1), QStringLiteral("BAUDOT"));
    WAIT_FOR_EQ(panel(*window, 2), QStringLiteral("75"), 5000);
    EXPECT_EQ(panel(*window, 3), QStringLiteral("850"));
    EXPECT_EQ(panel(*window, 4), QStringLiteral("INV"));
    EXPECT_TRUE(decodesClean(*window));
}
