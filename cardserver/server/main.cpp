// pluvane-cardserver: the card server daemon.
#include "CardServer.h"
#include "Log.h"
#include "ServerOptions.h"
#include "sources/ChannelFactory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace cardserver;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
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

    CardServer server;
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
    logLine(QStringLiteral("Listening on %1:%2").arg(host).arg(server.port()));
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
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
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
