// pluvane-cardserver: the card server daemon.
#include "CardServer.h"
#include "Log.h"
#include "ServerOptions.h"
#include "sources/ChannelFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <optional>
#include <cstdio>
#include <unistd.h>

using namespace cardserver;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

bool buildCards(const ServerOptions& options, CardServer* server, QString* error)
{
    for (auto card = options.cards.cbegin(); card != options.cards.cend(); ++card) {
        auto* created = new Card(card.key(), options.timeScale);
        server->addCard(created);
        for (int input = 1; input <= Card::kInputs; ++input) {
            QString source = card->value(input);
            // A live input is one device: given for the whole card, it is
            // opened once, on input 1.
            const QString forAll = card->value(0);
            if (source.isEmpty() && !(opensOnce(forAll) && input > 1)) source = forAll;
            if (source.isEmpty()) continue;
            const uint32_t seed = uint32_t(card.key() * 10 + input);
            auto channel = createChannel(source, seed, error);
            if (!channel) {
                *error = QStringLiteral("card %1 input %2: %3").arg(card.key()).arg(input).arg(*error);
                return false;
            }
            created->setChannel(input, std::move(channel));
        }
    }
    return true;
}

// The secret is the file's bytes without a trailing line end, so that a file
// written by an editor or by echo holds the same secret as one written with printf.
std::optional<QByteArray> readSecret(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the secret file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray secret = file.read(64 * 1024);
    while (secret.endsWith('\n') || secret.endsWith('\r')) secret.chop(1);
    if (secret.isEmpty()) {
        *error = QStringLiteral("the secret file %1 is empty").arg(path);
        return std::nullopt;
    }
    return secret;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pluvane-cardserver"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));

    QString error;
    const auto options = parseOptions(app.arguments().mid(1), &error);
    if (!options) {
        std::fprintf(stderr, "pluvane-cardserver: %s\n", qPrintable(error));
        return 2;
    }
    if (options->showHelp) {
        std::fputs(qPrintable(usageText()), stdout);
        return 0;
    }
    if (options->showVersion) {
        std::printf("pluvane-cardserver %s\n", PLUVANE_VERSION);
        return 0;
    }

    setLogLevel(options->logLevel);
    setLogTimeStamps(logTimeStampsWanted());

    CardServer server;
    server.setLimits(options->limits);
    server.setObserversMayTune(options->observersMayTune);
    if (!options->secretFile.isEmpty()) {
        const auto secret = readSecret(options->secretFile, &error);
        if (!secret) {
            std::fprintf(stderr, "pluvane-cardserver: %s\n", qPrintable(error));
            return 2;
        }
        server.setSecret(*secret);
    }
    if (!buildCards(*options, &server, &error)) {
        std::fprintf(stderr, "pluvane-cardserver: %s\n", qPrintable(error));
        return 2;
    }
    if (!server.listen(options->address, options->port, &error)) {
        std::fprintf(stderr, "pluvane-cardserver: cannot listen on %s:%u: %s\n",
                     qPrintable(options->address.toString()), options->port, qPrintable(error));
        return 1;
    }
    const QString host = options->address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(server.address().toString())
                             : server.address().toString();
    logWarning(QStringLiteral("Listening on %1:%2").arg(host).arg(server.port()));
    if (!options->configFile.isEmpty()) logLine(QStringLiteral("Configuration read from %1").arg(options->configFile));
    if (!server.address().isLoopback())
        logWarning(QStringLiteral("Listening beyond loopback: anyone who reaches %1:%2 %3")
                       .arg(host)
                       .arg(server.port())
                       .arg(options->secretFile.isEmpty() ? QStringLiteral("can search and open the cards")
                                                          : QStringLiteral("and knows the shared secret can use the cards")));
    if (server.effectiveMaxConnections() < options->limits.maxConnections)
        logWarning(QStringLiteral("Connection limit lowered from %1 to %2 by the descriptor limit")
                    .arg(options->limits.maxConnections)
                    .arg(server.effectiveMaxConnections()));
    for (Card* card : server.cards())
        logLine(QStringLiteral("Card %1: %2").arg(card->number()).arg(card->describeInputs()));
    if (server.cards().isEmpty()) logLine(QStringLiteral("No cards installed (see --card and --demo)"));

    if (::pipe(signalPipe) != 0) {
        std::perror("pluvane-cardserver: pipe");
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A terminal closing or a reload request must not end the sessions; the
    // configuration is read at start only.
    sigaction(SIGHUP, &action, nullptr);
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) == 1 && number == SIGHUP) {
            logWarning(QStringLiteral("SIGHUP ignored: the configuration is read at start; restart the server to read it again"));
            return;
        }
        notifier.setEnabled(false);
        logLine(QStringLiteral("Stopping"));
        server.shutdown();
        // Let the goodbyes leave before the process ends.
        QElapsedTimer waited;
        waited.start();
        QTimer wakeUp;
        wakeUp.start(20);
        while (server.connectionCount() > 0 && waited.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        app.quit();
    });
    return app.exec();
}
