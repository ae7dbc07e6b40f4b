// The server under a crowd (label slow): 8 live sessions keep their text
// while 1,000 idle connections at a 1,024 descriptor limit, 100 clients that
// never read and one 100 MB line come and go.
#include "RawClient.h"
#include "cardserver/testing/CardServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using cardproto::Message;
using cardproto::WireValue;
using cardserver::testing::CardServerProcess;

namespace {

constexpr qint64 kMemoryBoundBytes = 160ll << 20;

// A non-blocking socket that reads nothing, with a small receive buffer.
int silentSocket(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // Not waiting: a server that has paused accepting leaves it in the backlog.
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct Sender {
    int fd = -1;
    qint64 sent = 0;
    qint64 total = 0;
    // False once the server has closed the connection or all is sent.
    bool pump(const QByteArray& data)
    {
        if (fd < 0 || sent >= total) return false;
        const qint64 at = sent % data.size();
        const ssize_t n = ::send(fd, data.constData() + at, size_t(qMin<qint64>(data.size() - at, total - sent)), MSG_NOSIGNAL);
        if (n > 0) sent += n;
        else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        return true;
    }
};

}  // namespace

TEST(ServerLoad, SessionsKeepTheirTextWhileTheServerIsCrowded)
{
    rlimit own{};
    getrlimit(RLIMIT_NOFILE, &own);
    own.rlim_cur = qMin<rlim_t>(own.rlim_max, 8192);
    setrlimit(RLIMIT_NOFILE, &own);
    ASSERT_GE(own.rlim_cur, 2000u) << "the test itself needs descriptors for its crowd";

    QTemporaryDir dir;
    QFile text(dir.filePath("bulletin.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("AAXX 08121\r\n10384 32575 72008 10052 20023=\r\n");
    text.close();
    QStringList args{"--time-scale", "20", "--idle-timeout", "5", "--max-connections", "2000"};
    for (int card = 1; card <= 8; ++card) args << "--card" << QStringLiteral("%1=text:%2").arg(card).arg(text.fileName());
    CardServerProcess server;
    server.setDescriptorLimit(1024);
    ASSERT_TRUE(server.start(args)) << server.error().toStdString();

    std::vector<std::unique_ptr<RawClient>> sessions;
    for (int card = 1; card <= 8; ++card) {
        sessions.push_back(std::make_unique<RawClient>());
        ASSERT_TRUE(sessions.back()->connectTo(server.host(), server.port()));
        const auto reply = sessions.back()->reply(sessions.back()->request("OpenCard", openArgs(card)));
        ASSERT_TRUE(reply && reply->status == 0);
    }

    QByteArray searches;
    for (int i = 0; i < 100; ++i)
        searches += Message::request(i, "SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)}).encode() + '\n';
    std::vector<Sender> flooders;
    for (int i = 0; i < 100; ++i) flooders.push_back({silentSocket(server.port()), 0, 8ll << 20});
    Sender longLine{silentSocket(server.port()), 0, 100ll << 20};
    const QByteArray filler(1 << 16, 'x');
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i) {
        if (const int fd = silentSocket(server.port()); fd >= 0) idle.push_back(fd);
        // Paced so that the listen backlog does not overflow and drop the connects.
        if (i % 25 == 0) {
            server.drainLog();
            QThread::msleep(15);
        }
    }

    const double cpuBefore = server.cpuSeconds();
    qint64 peakMemory = 0;
    QList<int> textPerSession(8, 0);
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        server.drainLog();
        for (int i = 0; i < 50; ++i) {
            for (Sender& flooder : flooders) flooder.pump(searches);
            longLine.pump(filler);
        }
        for (int s = 0; s < 8; ++s) textPerSession[s] += sessions[s]->collectText(20).size();
        peakMemory = qMax(peakMemory, server.residentBytes());
        server.drainLog();
    }
    const double cpuUsed = server.cpuSeconds() - cpuBefore;

    for (int s = 0; s < 8; ++s) EXPECT_GT(textPerSession[s], 100) << "session on card " << s + 1;
    EXPECT_LT(peakMemory, kMemoryBoundBytes) << "peak resident bytes";
    // Two thirds of one core at most, over 20 s (a spinning server uses all of it).
    EXPECT_LT(cpuUsed, 13.0) << "CPU seconds in 20 s";
    EXPECT_LT(longLine.sent, 100ll << 20) << "the 100 MB line was taken whole";
    for (int fd : idle) ::close(fd);
    for (Sender& flooder : flooders) ::close(flooder.fd);
    ::close(longLine.fd);

    RawClient late;
    ASSERT_TRUE(late.connectTo(server.host(), server.port()));
    const auto searched = late.reply(late.request("SearchCards", {WireValue::str("127.0.0.1"), WireValue::r8(0)}));
    ASSERT_TRUE(searched);
    EXPECT_EQ(searched->status, 0);
    // The crowd was real: beyond the limit (connections without a card make
    // room for new ones; only a server full of sessions refuses), idle,
    // flooding and too long.
    const QString log = server.log();
    EXPECT_TRUE(log.contains("Connection limit lowered from 2000"));
    EXPECT_TRUE(log.contains("Refused connection from") || log.contains("to make room")) << log.left(4000).toStdString();
    EXPECT_TRUE(log.contains("idle for 5 s"));
    EXPECT_TRUE(log.contains("a line longer than 65536 bytes"));
    std::printf("load: %lld connections, %lld refused, %lld closed to make room, %lld closed idle, %lld dropped for output, "
                "%lld accept pauses\n",
                log.count("Connection from"), log.count("Refused connection"), log.count("to make room"), log.count("idle for"),
                log.count("does not read"), log.count("Cannot accept"));
    std::printf("load: peak memory %.1f MB, CPU %.2f s in 20 s\n", peakMemory / 1048576.0, cpuUsed);
}
