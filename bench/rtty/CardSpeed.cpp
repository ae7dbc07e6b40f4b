// rtty-card-speed WAV WALL_SECONDS TIME_SCALE: the card server's CPU for
// audio decoded as the user runs it. A card whose inputs play the WAV file
// (`--card 1=wav:FILE`, the card's own pace `--time-scale` times real
// time) is opened and set to BAUDOT at its defaults; after a few seconds
// to settle, the server's user + system CPU over WALL_SECONDS of the clock
// is printed with the audio seconds it decoded in that time and the
// characters that came as text, and the wall seconds from the request
// that set BAUDOT to the first text (-1: none), on one line:
//   CPU_SECONDS AUDIO_SECONDS CHARACTERS FIRST_TEXT_SECONDS
#include "cardserver/testing/CardServerProcess.h"
#include "protocol/Message.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <cstdio>
#include <cstdlib>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: rtty-card-speed WAV WALL_SECONDS TIME_SCALE\n");
        return 2;
    }
    const QString wav = QString::fromLocal8Bit(argv[1]);
    const double wallSeconds = std::atof(argv[2]), timeScale = std::atof(argv[3]);
    CardServerProcess server;
    if (!server.start({"--card", "1=wav:" + wav, "--time-scale", QString::number(timeScale), "--quiet",
                       "--stall-timeout", "3600", "--no-config"})) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.error()));
        return 1;
    }
    QTcpSocket socket;
    socket.connectToHost(server.host(), server.port());
    if (!socket.waitForConnected(5000)) {
        std::fprintf(stderr, "no connection to the server\n");
        return 1;
    }
    auto request = [&](qint64 id, const QString& op, QList<WireValue> args) {
        socket.write(Message::request(id, op, std::move(args)).encode() + '\n');
        socket.flush();
    };
    request(1, "OpenCard", {WireValue::str("127.0.0.1", true), WireValue::i4(33234, true), WireValue::i2(1, true)});
    request(2, "SetMode", {WireValue::str("ms"), WireValue::str("BAUDOT"), WireValue::i2(-1), WireValue::i2(-1),
                           WireValue::i2(-1), WireValue::i2(-1), WireValue::boolean(false)});
    QByteArray buffer;
    long characters = 0;
    QElapsedTimer sinceSetMode;
    sinceSetMode.start();
    double firstTextSeconds = -1;
    bool refused = false;
    auto poll = [&](int waitMs) {
        socket.waitForReadyRead(waitMs);
        buffer += socket.readAll();
        qsizetype lf;
        while ((lf = buffer.indexOf('\n')) >= 0) {
            const auto message = Message::parse(buffer.left(lf), nullptr);
            buffer.remove(0, lf + 1);
            if (!message) continue;
            if (message->event == QLatin1String("DataText") && message->args.size() >= 5) {
                characters += message->args.at(4).text.size();
                if (firstTextSeconds < 0) firstTextSeconds = double(sinceSetMode.elapsed()) / 1000.0;
            }
            if (message->kind == Message::Kind::Reply && message->status && *message->status != 0) {
                std::fprintf(stderr, "request %lld refused: %s\n", static_cast<long long>(message->id), qPrintable(message->text));
                refused = true;
            }
        }
        server.drainLog();
    };
    QDeadlineTimer settle(3000);
    while (!settle.hasExpired()) poll(20);
    if (refused) return 1;
    const double cpuBefore = server.cpuSeconds();
    characters = 0;
    QElapsedTimer wall;
    wall.start();
    while (wall.elapsed() < qint64(wallSeconds * 1000)) poll(20);
    const double cpu = server.cpuSeconds() - cpuBefore;
    std::printf("%.3f %.1f %ld %.2f\n", cpu, double(wall.elapsed()) / 1000.0 * timeScale, characters, firstTextSeconds);
    return 0;
}
