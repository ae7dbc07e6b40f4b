// A server that sends decoded text far faster than any card can neither
// freeze the window nor grow its memory: the text area keeps its bound and
// the event loop keeps turning.
#include "app/MainWindow.h"
#include "cardctl/tests/ScriptedServer.h"
#include "platform/MessageBox.h"
#include "platform/TextBox.h"
#include "platform/tests/HiveFixture.h"
#include "settings/SettingsStore.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

constexpr int kFloodMs = 3000;

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void flood(QTcpSocket& socket)
{
    ScriptedServer::greet(socket);
    const auto open = ScriptedServer::readRequest(socket);
    if (!open) return;
    ScriptedServer::send(socket, QByteArray(R"({"id":)") + QByteArray::number(open->id) + R"(,"status":{"i2":0}})");
    ScriptedServer::send(socket, R"({"event":"SessionStarted","args":[]})");
    QByteArray batch;
    for (int i = 0; i < 200; ++i)
        batch += R"({"event":"DataText","args":[{"i2":1},{"i2":1},{"i4":)" + QByteArray::number(i) +
                 R"(},{"i4":0},{"str":"10384 11458 41606 10012 20004 30125 40210 52008=\r\n"}]})" "\n";
    QDeadlineTimer deadline(kFloodMs);
    QDeadlineTimer lastWords(kFloodMs + 10000);
    while (!lastWords.hasExpired() && socket.state() == QAbstractSocket::ConnectedState) {
        // Requests still get their replies between the batches.
        while (socket.canReadLine()) {
            QString error;
            if (const auto request = cardproto::Message::parse(socket.readLine().trimmed(), &error))
                socket.write(QByteArray(R"({"id":)") + QByteArray::number(request->id) + "}\n");
        }
        if (!deadline.hasExpired()) socket.write(batch);
        socket.waitForBytesWritten(100);
        socket.waitForReadyRead(deadline.hasExpired() ? 20 : 0);
    }
}

class Flood : public HiveFixture {};

}  // namespace

TEST_F(Flood, TheWindowStaysResponsiveAndBoundedUnderATextFlood)
{
    QStringList boxes;
    platform::setMessageBoxFunction([&](const QString& text, const QString&) { boxes << text; });
    ScriptedServer server(flood);
    settings::WriteSetting("Pluvane", "HostPort", int32_t{server.port()});
    settings::WriteSetting("Pluvane", "CardNumber", int32_t{1});
    auto parts = app::networkParts();
    parts.synopComponents = [] { return std::unique_ptr<synop::ISynopComponent>(); };
    app::MainWindow window(std::move(parts));
    window.Load();
    window.show();
    const long before = residentKilobytes();
    window.controls().Connect->click();

    // The event loop turns between bounded shares of the flood, however fast
    // the machine: a loop that handled whatever the socket held in one go
    // would let thousands of messages by between two turns.
    int ticks = 0;
    long handled = 0;
    long mostBetweenTicks = 0;
    long atLastTick = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        mostBetweenTicks = std::max(mostBetweenTicks, handled - atLastTick);
        atLastTick = handled;
    });
    QObject::connect(window.controls().W6xXML, &cardctl::CardControl::DataText, [&] { ++handled; });
    ticker.start(5);
    int longest = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kFloodMs) {
        QTest::qWait(20);
        longest = std::max(longest, window.controls().Text->textLength());
    }
    platform::setMessageBoxFunction({});

    EXPECT_TRUE(window.state().bSessionUp);
    EXPECT_GT(handled, 200) << "no flood came";
    EXPECT_GE(ticks, 2);
    EXPECT_LE(mostBetweenTicks, 2000) << "the event loop was starved: " << handled << " messages, " << ticks << " turns";
    EXPECT_LE(longest, 1024 + 64);
    EXPECT_LT(residentKilobytes() - before, 64 * 1024) << "memory grew with the flood";
    window.controls().Connect->click();
}
