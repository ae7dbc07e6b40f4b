// observer_bench [SECONDS]: each condition runs the demo card in real time
// for SECONDS (default 20) and reports the server's CPU time as a share of
// one core, against the same card held without observers in the same run.
#include "cardserver/testing/CardServerProcess.h"
#include "protocol/Message.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

// The session holder: reads whatever comes as it comes and notes when each
// DataText and reply arrived.
class Client {
public:
    explicit Client(const CardServerProcess& server)
    {
        m_socket.connectToHost(server.host(), server.port());
        m_socket.waitForConnected(5000);
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_clock.start();
    }
    void request(const QString& op, QList<WireValue> args)
    {
        m_sentAt[++m_id] = m_clock.nsecsElapsed();
        m_socket.write(Message::request(m_id, op, std::move(args)).encode() + '\n');
        m_socket.flush();
    }
    void poll()
    {
        m_buffer += m_socket.readAll();
        qsizetype lf;
        while ((lf = m_buffer.indexOf('\n')) >= 0) {
            const QByteArray line = m_buffer.left(lf);
            m_buffer.remove(0, lf + 1);
            const auto message = Message::parse(line, nullptr);
            if (!message) continue;
            const double now = m_clock.nsecsElapsed() / 1e6;
            if (message->event == QLatin1String("DataText")) textArrivals.push_back(now);
            else if (message->event == QLatin1String("Spectrum")) ++frames;
            else if (message->kind == Message::Kind::Reply && m_sentAt.contains(message->id))
                replyMs.push_back(now - m_sentAt.take(message->id) / 1e6);
        }
    }
    std::vector<double> textArrivals, replyMs;
    int frames = 0;

private:
    QTcpSocket m_socket;
    QByteArray m_buffer;
    QElapsedTimer m_clock;
    QHash<qint64, qint64> m_sentAt;
    qint64 m_id = 0;
};

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// How far each DataText arrived from the card's 250 ms tick, about the
// median: a server held up by its observers sends late and unevenly.
double tickSpreadMs(const std::vector<double>& arrivals)
{
    if (arrivals.size() < 4) return NAN;
    std::vector<double> phase;
    for (double t : arrivals) phase.push_back(std::fmod(t, 250.0));
    const double median = percentile(phase, 0.5);
    std::vector<double> off;
    for (double p : phase) {
        double d = std::fabs(p - median);
        off.push_back(std::min(d, 250 - d));
    }
    return percentile(off, 0.99);
}

struct Condition {
    const char* name;
    bool holder;
    int readingObservers;
    int stalledObservers;
    int rate;
};

struct Outcome {
    double cpuShare = 0;
    double framesPerSecond = 0;
    double replyP50 = NAN, replyP99 = NAN, spread = NAN;
};

// An observer in a process of its own, so that its reading costs the
// measured holder nothing in this process: `observer_bench --observer PORT
// RATE READS SECONDS` prints the spectrum frames it read.
int observe(quint16 port, int rate, bool reads, int seconds)
{
    QTcpSocket socket;
    if (!reads) socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(5000)) return 1;
    if (!reads) socket.setReadBufferSize(1);
    socket.write(Message::request(1, "ObserveCard", {WireValue::i2(1)}).encode() + '\n');
    if (rate) socket.write(Message::request(2, "SetSpectrum", {WireValue::i2(int16_t(rate))}).encode() + '\n');
    socket.flush();
    QElapsedTimer clock;
    clock.start();
    qint64 frames = 0;
    QByteArray buffer;
    while (clock.elapsed() < seconds * 1000) {
        if (!reads) {
            // Asleep, not polling: a socket with unread data is always ready.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        socket.waitForReadyRead(50);
        buffer += socket.readAll();
        qsizetype lf;
        while ((lf = buffer.indexOf('\n')) >= 0) {
            if (buffer.left(lf).contains("\"Spectrum\"")) ++frames;
            buffer.remove(0, lf + 1);
        }
    }
    std::printf("%lld\n", frames);
    return 0;
}

Outcome run(const Condition& condition, int seconds)
{
    CardServerProcess server;
    if (!server.start({"--demo", "--quiet", "--stall-timeout", "3600"})) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.error()));
        std::exit(1);
    }
    std::vector<std::unique_ptr<Client>> clients;
    Client* holder = nullptr;
    if (condition.holder) {
        clients.push_back(std::make_unique<Client>(server));
        holder = clients.back().get();
        holder->request("OpenCard", {WireValue::str("127.0.0.1", true), WireValue::i4(33234, true), WireValue::i2(1, true)});
    }
    // Observers from the start to the end: settling plus the measured time.
    std::vector<std::unique_ptr<QProcess>> observers;
    for (int i = 0; i < condition.readingObservers + condition.stalledObservers; ++i) {
        const bool reads = i < condition.readingObservers;
        observers.push_back(std::make_unique<QProcess>());
        observers.back()->start(QCoreApplication::applicationFilePath(),
                                {"--observer", QString::number(server.port()), QString::number(condition.rate),
                                 reads ? "1" : "0", QString::number(seconds + 3)});
    }
    // A few seconds to settle (the demodulator's start, the first frames), then measure.
    QDeadlineTimer settle(3000);
    while (!settle.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        for (auto& c : clients) c->poll();
    }
    const double cpuBefore = server.cpuSeconds();
    if (holder) holder->textArrivals.clear();
    QElapsedTimer wall;
    wall.start();
    qint64 nextRequest = 0;
    while (wall.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        for (auto& c : clients) c->poll();
        // The holder's requests, as the front end makes them: a reply's round
        // trip. SetInput to the same input, keeping synchronisation, changes nothing.
        if (holder && wall.elapsed() >= nextRequest) {
            holder->request("SetInput", {WireValue::i2(1, true), WireValue::i2(40), WireValue::i4(0, true), WireValue::i2(-1)});
            nextRequest += 500;
        }
        server.drainLog();
    }
    Outcome outcome;
    outcome.cpuShare = (server.cpuSeconds() - cpuBefore) / (wall.elapsed() / 1000.0);
    for (size_t i = 0; i < observers.size(); ++i) {
        observers[i]->waitForFinished(10000);
        if (int(i) < condition.readingObservers && i == 0)
            outcome.framesPerSecond = observers[i]->readAllStandardOutput().trimmed().toDouble() / (seconds + 3);
    }
    if (holder) {
        outcome.replyP50 = percentile(holder->replyMs, 0.5);
        outcome.replyP99 = percentile(holder->replyMs, 0.99);
        outcome.spread = tickSpreadMs(holder->textArrivals);
    }
    return outcome;
}

// From starting pluvane-monitor to its first waterfall line, as it logs it.
double monitorStartMs()
{
    CardServerProcess server;
    if (!server.start({"--demo", "--quiet"})) return NAN;
    QProcess monitor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains("QT_QPA_PLATFORM")) environment.insert("QT_QPA_PLATFORM", "offscreen");
    monitor.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    monitor.start(PLUVANE_MONITOR_PATH, {"--verbose", "--card", "1", QStringLiteral("%1:%2").arg(server.host()).arg(server.port())});
    QByteArray log;
    double at = NAN;
    while (clock.elapsed() < 10000 && std::isnan(at)) {
        monitor.waitForReadyRead(50);
        log += monitor.readAllStandardError();
        if (log.contains("first waterfall line")) at = clock.nsecsElapsed() / 1e6;
    }
    monitor.kill();
    monitor.waitForFinished();
    return at;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 6 && QByteArray(argv[1]) == "--observer")
        return observe(quint16(std::atoi(argv[2])), std::atoi(argv[3]), std::atoi(argv[4]) != 0, std::atoi(argv[5]));
    const int seconds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 20;
    const Condition conditions[] = {
        {"held, no observer (reference)", true, 0, 0, 0},
        {"held + 1 observer, 10 frames/s", true, 1, 0, 10},
        {"held + 1 observer, 25 frames/s", true, 1, 0, 25},
        {"held + 4 observers, 10 frames/s", true, 4, 0, 10},
        {"held + 4 observers that never read, 25 frames/s", true, 0, 4, 25},
        {"no holder, 1 observer, 10 frames/s", false, 1, 0, 10},
        {"no holder, 1 observer, no frames", false, 1, 0, 0},
    };
    std::printf("demo card at real time, %d s a condition; CPU as a share of one core\n", seconds);
    std::printf("%-50s %8s %9s %10s %9s %9s %11s\n", "condition", "cpu", "vs ref", "+per card", "frames/s", "reply p50", "reply p99 / tick spread p99 (ms)");
    double reference = NAN;
    for (const Condition& condition : conditions) {
        const Outcome o = run(condition, seconds);
        if (std::isnan(reference)) reference = o.cpuShare;
        std::printf("%-50s %7.2f%% %8.2fx %+9.2f%% %9.1f %9.2f %9.2f / %.1f\n", condition.name, 100 * o.cpuShare,
                    o.cpuShare / reference, 100 * (o.cpuShare - reference), o.framesPerSecond, o.replyP50, o.replyP99, o.spread);
        std::fflush(stdout);
    }
    std::vector<double> starts;
    for (int i = 0; i < 5; ++i) starts.push_back(monitorStartMs());
    std::sort(starts.begin(), starts.end());
    std::printf("pluvane-monitor start to first waterfall line: median %.0f ms, worst %.0f ms (5 starts)\n", starts[2], starts[4]);
    return 0;
}
