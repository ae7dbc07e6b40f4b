// The monitor window against the real card server's demo card, and against
// a server that misbehaves: what it draws (read back from its picture, not
// from its state), what a click does, and how it takes a server that goes.
#include "monitor/MonitorWindow.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

using cardserver::testing::CardServerProcess;
using monitor::MonitorWindow;
using monitor::WaterfallView;

namespace {

template <typename Condition>
bool waitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(20);
    }
    return true;
}

// How hot each column of the newest `rows` waterfall lines is: the palette
// runs from blue noise through cyan and yellow to red, so red plus green
// over blue grows with the level.
std::vector<double> columnHeat(const QImage& picture, const QRect& waterfall, int rows)
{
    std::vector<double> heat(size_t(picture.width()), 0);
    for (int y = waterfall.top(); y < waterfall.top() + rows; ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            heat[size_t(x)] += qRed(pixel) + qGreen(pixel) - qBlue(pixel) / 2;
        }
    return heat;
}

// The `count` hottest columns at least `apart` pixels from each other,
// leaving out the columns near `skip` (where markers are drawn).
std::vector<int> hottest(const std::vector<double>& heat, int count, int apart, const std::vector<double>& skip)
{
    std::vector<int> order(heat.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return heat[size_t(a)] > heat[size_t(b)]; });
    std::vector<int> found;
    for (int x : order) {
        if (std::any_of(skip.begin(), skip.end(), [&](double s) { return std::abs(x - s) < 4; })) continue;
        if (std::none_of(found.begin(), found.end(), [&](int f) { return std::abs(f - x) < apart; })) found.push_back(x);
        if (int(found.size()) == count) break;
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Where the heat round a hot column is centred, in hertz: a keyed tone
// spreads over a few bins, its centre is where it is.
double centreOfHeat(const WaterfallView& view, const std::vector<double>& heat, int x, double halfWidthHz)
{
    std::vector<double> sorted = heat;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double noise = sorted[sorted.size() / 2];
    double sum = 0, weighted = 0;
    for (int i = 0; i < int(heat.size()); ++i) {
        const double hz = view.frequencyAt(i + 0.5);
        if (std::abs(hz - view.frequencyAt(x + 0.5)) > halfWidthHz) continue;
        const double w = std::max(0.0, heat[size_t(i)] - noise);
        sum += w;
        weighted += w * hz;
    }
    return sum > 0 ? weighted / sum : -1;
}

// The tone round a hot column: the centre of its heat, taken again about
// that centre, so that a keying sideband that happened to be hottest does
// not pull it aside.
double toneAt(const WaterfallView& view, const std::vector<double>& heat, int x)
{
    const double first = centreOfHeat(view, heat, x, 40);
    return centreOfHeat(view, heat, int(view.xOf(first)), 40);
}

class Monitor : public ::testing::Test {
protected:
    void open(int card = 1)
    {
        window = std::make_unique<MonitorWindow>(server.host(), server.port(), card, 10);
        window->resize(1000, 720);
        window->show();
        // Keys reach the window's shortcuts once it is the active window.
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get(), 5000));
        waterfall = window->waterfall();
    }
    QString status() const { return window->statusBar()->currentMessage(); }
    CardServerProcess server;
    std::unique_ptr<MonitorWindow> window;
    WaterfallView* waterfall = nullptr;
};

TEST_F(Monitor, ShowsTheDemoTonesWhereTheyAreAndRetunesTheCardWhereClicked)
{
    ASSERT_TRUE(server.start({"--demo", "--observers-may-tune"})) << server.error().toStdString();
    open(0);  // found by a search: the demo server has one card
    ASSERT_TRUE(waitFor([&] { return waterfall->linesShown() > 0; }, 10000));
    // The text the card decodes comes as it comes.
    ASSERT_TRUE(waitFor([&] { return window->decodedText().contains("ZCZC"); }, 30000)) << window->decodedText().toStdString();
    // Click at 2500 Hz: the card moves there, away from the demo's tones, so
    // that its markers cannot pass for them.
    QTest::mouseClick(waterfall, Qt::LeftButton, {}, QPoint(int(waterfall->xOf(2500)), waterfall->waterfallRect().top() + 5));
    ASSERT_TRUE(waitFor([&] { return server.log().contains("SetCentreShift by observer"); }, 10000)) << server.log().toStdString();
    const int before = waterfall->linesShown();
    ASSERT_TRUE(waitFor([&] { return waterfall->linesShown() >= before + 40; }, 20000));

    const QImage picture = waterfall->grab().toImage();
    // The card's tones (red markers) are now at 2287.5 and 2712.5 Hz.
    const double markX = waterfall->xOf(2712.5), spaceX = waterfall->xOf(2287.5);
    const QRgb marker = picture.pixel(int(markX), picture.height() - 2);
    EXPECT_GT(qRed(marker), 200);
    EXPECT_LT(qBlue(marker), 120);
    // The demo keys 1287.5 and 1712.5 Hz; the waterfall's hottest columns are there.
    const auto heat = columnHeat(picture, waterfall->waterfallRect(), 40);
    const auto peaks = hottest(heat, 2, 30, {markX, spaceX});
    ASSERT_EQ(peaks.size(), 2u);
    EXPECT_NEAR(toneAt(*waterfall, heat, peaks[0]), 1287.5, 10);
    EXPECT_NEAR(toneAt(*waterfall, heat, peaks[1]), 1712.5, 10);
    // Well above the noise between them.
    const double between = heat[size_t(waterfall->xOf(1500))];
    EXPECT_GT(heat[size_t(peaks[0])], 1.5 * between);

    // Zoomed in about the tones, they stay at their frequencies, wider apart.
    waterfall->zoomAbout(1500, 0.25);
    EXPECT_NEAR(waterfall->toHz() - waterfall->fromHz(), 1000, 1);
    const auto zoomedHeat = columnHeat(waterfall->grab().toImage(), waterfall->waterfallRect(), 40);
    const auto zoomed = hottest(zoomedHeat, 2, 60, {});
    ASSERT_EQ(zoomed.size(), 2u);
    EXPECT_NEAR(toneAt(*waterfall, zoomedHeat, zoomed[0]), 1287.5, 6);
    EXPECT_NEAR(toneAt(*waterfall, zoomedHeat, zoomed[1]), 1712.5, 6);
}

TEST_F(Monitor, WatchesOnlyWhereTheServerDoesNotLetObserversTune)
{
    ASSERT_TRUE(server.start({"--demo"})) << server.error().toStdString();
    open();
    ASSERT_TRUE(waitFor([&] { return waterfall->linesShown() > 0; }, 10000));
    QTest::mouseClick(waterfall, Qt::LeftButton, {}, QPoint(int(waterfall->xOf(2500)), waterfall->waterfallRect().top() + 5));
    EXPECT_TRUE(status().contains("does not let observers retune")) << status().toStdString();
    QTest::keyClick(window.get(), Qt::Key_A);
    EXPECT_TRUE(status().contains("does not let observers retune")) << status().toStdString();
    QTest::qWait(500);
    EXPECT_FALSE(server.log().contains("by observer")) << "nothing was sent";
}

TEST_F(Monitor, SaysWhenTheServerGoesAndReconnectsOnRequest)
{
    ASSERT_TRUE(server.start({"--demo"})) << server.error().toStdString();
    open();
    ASSERT_TRUE(waitFor([&] { return waterfall->linesShown() > 0; }, 10000));
    server.kill();
    ASSERT_TRUE(waitFor([&] { return status().contains("closed the connection") || status().contains("lost"); }, 10000))
        << status().toStdString();
    // Asked to reconnect to a server that is not there, it says so at once.
    QTest::keyClick(window.get(), Qt::Key_F5);
    ASSERT_TRUE(waitFor([&] { return status().contains("connection refused"); }, 10000)) << status().toStdString();
}

// A server that greets, accepts the observer and then sends what the test says.
class ScriptedServer {
public:
    explicit ScriptedServer(QList<QByteArray> lines) : m_lines(std::move(lines))
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = m_server.nextPendingConnection();
            socket->write("{\"hello\":\"pluvane-cardserver\",\"protocol\":1,\"cards\":1}\n");
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine();
                    const QByteArray id = line.mid(line.indexOf("\"id\":") + 5).split(',').first();
                    socket->write("{\"id\":" + id + ",\"status\":{\"i2\":0}}\n");
                    if (line.contains("ObserveCard"))
                        for (const QByteArray& scripted : m_lines) socket->write(scripted + '\n');
                }
            });
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    QTcpServer m_server;
    QList<QByteArray> m_lines;
};

QByteArray frameLine(int bins, double binHz = 4)
{
    return R"({"event":"Spectrum","args":[{"i4":1},{"r8":0},{"r8":)" + QByteArray::number(binHz)
           + R"(},{"r8":-130},{"r8":0.5},{"bytes":")" + QByteArray(bins, '\x40').toBase64() + "\"}]}";
}

TEST(MonitorAgainstABadServer, RefusesMalformedAndOversizedFramesWithAClearMessage)
{
    ScriptedServer bad({R"({"event":"ObservedCard","args":[{"i2":1},{"bool":false},{"bool":false}]})",
                        frameLine(9000), frameLine(100, 0), frameLine(1000)});
    MonitorWindow window(QStringLiteral("127.0.0.1"), bad.port(), 1, 10);
    window.show();
    ASSERT_TRUE(waitFor([&] { return window.waterfall()->linesShown() == 1; }, 10000));
    EXPECT_TRUE(window.statusBar()->currentMessage().contains("more than the 8192 allowed"))
        << window.statusBar()->currentMessage().toStdString();
    // Only the good frame was drawn.
    EXPECT_EQ(window.waterfall()->linesShown(), 1);

    // A line beyond the protocol's limit ends the link with the reason.
    ScriptedServer worse({R"({"event":"ObservedCard","args":[{"i2":1},{"bool":false},{"bool":false}]})", frameLine(60000)});
    MonitorWindow second(QStringLiteral("127.0.0.1"), worse.port(), 1, 10);
    second.show();
    ASSERT_TRUE(waitFor([&] { return second.statusBar()->currentMessage().contains("longer than 65536 bytes"); }, 10000))
        << second.statusBar()->currentMessage().toStdString();
}

}  // namespace
