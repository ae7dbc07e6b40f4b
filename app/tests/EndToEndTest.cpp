// The real main window against the real card server, over loopback.
#include "app/MainWindow.h"
#include "cardctl/NetworkCardControl.h"
#include "cardserver/testing/CardServerProcess.h"
#include "platform/MessageBox.h"
#include "platform/StatusPanels.h"
#include "platform/TextBox.h"
#include "platform/tests/HiveFixture.h"
#include "platform/testing/QtPrinters.h"
#include "platform/testing/WaitFor.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>

using cardserver::testing::CardServerProcess;
using platform::Variant;

namespace {

const QString kApp = QStringLiteral("Pluvane");

class EndToEnd : public HiveFixture {
protected:
    void SetUp() override
    {
        HiveFixture::SetUp();
        platform::setMessageBoxFunction([this](const QString& text, const QString&) { boxes << text; });
        textFile.setFileTemplate(QDir(dirPath()).filePath("bulletin-XXXXXX.txt"));
        ASSERT_TRUE(textFile.open());
        textFile.write("ZCZC 001\r\nSMDL01 EDZW 081200\r\nAAXX 08121\r\n10384 11458 41606 10012 20004 30125 40210 "
                       "52008=\r\nNNNN\r\n");
        textFile.flush();
    }
    void TearDown() override { platform::setMessageBoxFunction({}); }

    bool startServer(CardServerProcess& server)
    {
        const bool ok = server.start({QStringLiteral("--time-scale"), QStringLiteral("10"), QStringLiteral("--card"),
                                      QStringLiteral("1=text:") + textFile.fileName()});
        EXPECT_TRUE(ok) << server.error().toStdString();
        return ok;
    }
    std::unique_ptr<app::MainWindow> openWindow(quint16 port)
    {
        settings::WriteSetting(kApp, "HostName", QStringLiteral("127.0.0.1"));
        settings::WriteSetting(kApp, "HostPort", int32_t{port});
        settings::WriteSetting(kApp, "CardNumber", int32_t{1});
        auto window = std::make_unique<app::MainWindow>();
        window->Load();
        window->show();
        return window;
    }
    QString statePanel(app::MainWindow& window) { return window.controls().StatusBar->panelText(6); }
    // The SYNOP component's window, loaded into this process with its library.
    static QWidget* synopWindow()
    {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->windowTitle().endsWith(QStringLiteral("SYNOP reports"))) return widget;
        return nullptr;
    }
    static int reportsShown(QWidget* synop)
    {
        const auto* table = synop ? synop->findChild<QTableView*>() : nullptr;
        return table && table->model() ? table->model()->rowCount() : 0;
    }

    QTemporaryFile textFile;
    QStringList boxes;
};

}  // namespace

TEST_F(EndToEnd, OpenReceiveDecodedTextAndClose)
{
    CardServerProcess server;
    ASSERT_TRUE(startServer(server));
    auto window = openWindow(server.port());
    window->controls().Connect->click();
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    EXPECT_EQ(window->controls().Connect->text(), QStringLiteral("&Disconnect"));
    EXPECT_TRUE(window->controls().Auto->isEnabled());
    if (qEnvironmentVariableIsSet("PLUVANE_UNDER_XVFB")) {
        // The run under a window manager is there for real frames.
        WAIT_FOR_TRUE(window->frameGeometry().height() > window->geometry().height(), 5000);
    }
    WAIT_FOR_TRUE(window->controls().Text->text().contains(QStringLiteral("SMDL01")), 15000);
    EXPECT_FALSE(window->controls().Text->text().contains(QLatin1Char('\r') + QString(QLatin1Char('\r'))));

    // The same text reached the SYNOP component, whose window stands where
    // the main window placed it: at its left edge, 120 twips below it, or
    // further up and left where the screen has no room there for the list.
    ASSERT_TRUE(window->synopBridge().bSynopOK());
    QWidget* synop = synopWindow();
    ASSERT_NE(synop, nullptr);
    EXPECT_EQ(synop->windowTitle(), QStringLiteral("Pluvane - SYNOP reports"));
    EXPECT_LE(synop->pos().x() * 15, window->state().lXSynop);
    EXPECT_LE(synop->pos().y() * 15, window->state().lYSynop);
    EXPECT_TRUE(synop->screen()->availableGeometry().contains(synop->frameGeometry()));
    WAIT_FOR_TRUE(reportsShown(synop) >= 1, 20000);

    synop->move(40, 60);  // the user moves it; the next session puts it there
    window->controls().Connect->click();
    EXPECT_FALSE(window->state().bConnected);
    EXPECT_EQ(window->controls().Connect->text(), QStringLiteral("&Connect"));
    EXPECT_TRUE(window->controls().Config->isEnabled());
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(window->state().lXSynop, 40 * 15);
    EXPECT_EQ(window->state().lYSynop, 60 * 15);
}

TEST_F(EndToEnd, DisconnectConnectAndARestartKeepTheDecodedReports)
{
    // The demo card: SYNOP bulletins rendered as RTTY audio and demodulated.
    CardServerProcess server;
    ASSERT_TRUE(server.start({QStringLiteral("--time-scale"), QStringLiteral("10"), QStringLiteral("--demo")}))
        << server.error().toStdString();
    auto window = openWindow(server.port());
    window->controls().Connect->click();
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    WAIT_FOR_TRUE(reportsShown(synopWindow()) >= 3, 90000);
    const int heard = reportsShown(synopWindow());
    window->controls().Connect->click();  // Disconnect
    ASSERT_FALSE(window->state().bConnected);

    // The next Connect creates a new component: it lists them at once.
    window->controls().Connect->click();
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    QWidget* synop = synopWindow();
    ASSERT_NE(synop, nullptr);
    EXPECT_GE(reportsShown(synop), heard);
    window->controls().Connect->click();

    // So does a new main window, as after a restart.
    window.reset();
    auto restarted = openWindow(server.port());
    restarted->controls().Connect->click();
    WAIT_FOR_TRUE(restarted->state().bSessionUp, 10000);
    EXPECT_GE(reportsShown(synopWindow()), heard);
    restarted->controls().Connect->click();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
}

TEST_F(EndToEnd, WithNoHostStoredTheCardServerOnThisMachineIsUsed)
{
    CardServerProcess server;
    ASSERT_TRUE(startServer(server));
    settings::WriteSetting(kApp, "HostPort", int32_t{server.port()});
    settings::WriteSetting(kApp, "CardNumber", int32_t{1});
    auto window = std::make_unique<app::MainWindow>();
    window->Load();
    ASSERT_EQ(window->state().sHostName, QString());
    window->controls().Connect->click();
    EXPECT_TRUE(boxes.isEmpty()) << boxes.join('\n').toStdString();
    WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
    window->controls().Connect->click();
}

TEST_F(EndToEnd, AnUnreachableServerIsNamedInTheErrorBox)
{
    quint16 freePort = 0;
    {
        CardServerProcess server;
        ASSERT_TRUE(startServer(server));
        freePort = server.port();
    }
    auto window = openWindow(freePort);
    window->controls().Connect->click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Err:-"))) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("127.0.0.1:%1").arg(freePort))) << boxes[0].toStdString();
    EXPECT_FALSE(window->state().bConnected);
    EXPECT_TRUE(window->controls().Connect->isEnabled());
}

TEST_F(EndToEnd, ACardHeldByAnotherClientIsRefusedWithTheServersText)
{
    CardServerProcess server;
    ASSERT_TRUE(startServer(server));
    cardctl::NetworkCardControl other;
    QString host = server.host();
    int32_t port = server.port();
    int16_t cardNumber = 1;
    ASSERT_EQ(other.OpenCard(Variant::ref(&host), Variant::ref(&port), Variant::ref(&cardNumber)), 0);

    auto window = openWindow(server.port());
    window->controls().Connect->click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Err:"))) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QStringLiteral("use"), Qt::CaseInsensitive)) << boxes[0].toStdString();
    EXPECT_FALSE(window->state().bConnected);
    other.CloseCard();
}

TEST_F(EndToEnd, AServerThatDiesOrStopsEndsTheSessionAndTheNextTwoPressesCloseThenOpen)
{
    struct Case {
        bool kill;
        QString panel;
    };
    for (const Case& c : {Case{true, QStringLiteral("QUIT: Error")}, Case{false, QStringLiteral("QUIT: Server")}}) {
        SCOPED_TRACE(c.panel.toStdString());
        boxes.clear();
        auto server = std::make_unique<CardServerProcess>();
        ASSERT_TRUE(startServer(*server));
        auto window = openWindow(server->port());
        window->controls().Connect->click();
        WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
        if (c.kill)
            server->kill();
        else
            EXPECT_TRUE(server->terminate());
        WAIT_FOR_EQ(statePanel(*window), c.panel, 20000);
        EXPECT_EQ(window->controls().Connect->text(), QStringLiteral("&Connect"));
        EXPECT_FALSE(window->controls().Auto->isEnabled());
        EXPECT_TRUE(window->state().bConnected);

        window->controls().Connect->click();  // closes
        EXPECT_FALSE(window->state().bConnected);
        EXPECT_EQ(statePanel(*window), QString());
        EXPECT_TRUE(boxes.isEmpty());

        CardServerProcess again;
        ASSERT_TRUE(startServer(again));
        window->state().lHostPort = again.port();
        window->controls().Connect->click();  // opens
        EXPECT_TRUE(window->state().bConnected);
        WAIT_FOR_TRUE(window->state().bSessionUp, 10000);
        window->controls().Connect->click();
    }
}
