// pluvane-monitor: a window per card of a card server with the waterfall of
// its input, where it listens, what it decodes, and click to tune.
#include "MonitorWindow.h"
#include "protocol/Message.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("pluvane-monitor"));
    QApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("pluvane-monitor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Shows the input of a card server's cards as a waterfall, with the tones where each card listens and "
        "where its line search found the signal, and the text it decodes. Click to set the centre, A for Auto, "
        "where the server lets observers retune (--observers-may-tune)."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("card server host (default 127.0.0.1)"),
                                        QStringLiteral("HOST"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("card server port (default 33234)"),
                                        QStringLiteral("PORT"), QString::number(cardproto::kDefaultPort));
    const QCommandLineOption cardOption(QStringLiteral("card"),
                                        QStringLiteral("card to watch, 1-8; repeat for a window each (default: search, "
                                                       "and ask when there are several)"),
                                        QStringLiteral("N"));
    const QCommandLineOption rateOption(QStringLiteral("rate"), QStringLiteral("waterfall lines a second, 1-25 (default 10)"),
                                        QStringLiteral("N"), QStringLiteral("10"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("log the connection's steps with their times on stderr"));
    parser.addOptions({hostOption, portOption, cardOption, rateOption, verboseOption});
    parser.addPositionalArgument(QStringLiteral("HOST:PORT"), QStringLiteral("the card server, instead of --host and --port"),
                                 QStringLiteral("[HOST:PORT]"));
    auto usageError = [](const QString& text) {
        std::fprintf(stderr, "pluvane-monitor: %s (see --help)\n", qPrintable(text));
        return 2;
    };
    if (!parser.parse(app.arguments())) return usageError(parser.errorText());
    if (parser.isSet(helpOption)) parser.showHelp(0);
    if (parser.isSet(versionOption)) parser.showVersion();
    QString host = parser.value(hostOption);
    QString portText = parser.value(portOption);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) return usageError(QStringLiteral("one server at a time"));
    if (positional.size() == 1) {
        static const QRegularExpression address(QStringLiteral(R"(^\[?([^\]]+?)\]?:(\d+)$)"));
        const auto match = address.match(positional.first());
        if (!match.hasMatch()) return usageError(QStringLiteral("\"%1\" is not HOST:PORT").arg(positional.first()));
        host = match.captured(1);
        portText = match.captured(2);
    }
    bool ok = false;
    const int port = portText.toInt(&ok);
    if (!ok || port < 1 || port > 65535) return usageError(QStringLiteral("port \"%1\" is not 1-65535").arg(portText));
    const int rate = parser.value(rateOption).toInt(&ok);
    if (!ok || rate < 1 || rate > 25) return usageError(QStringLiteral("--rate wants 1-25, not \"%1\"").arg(parser.value(rateOption)));
    QList<int> cards;
    for (const QString& text : parser.values(cardOption)) {
        const int card = text.toInt(&ok);
        if (!ok || card < 1 || card > 8) return usageError(QStringLiteral("--card wants 1-8, not \"%1\"").arg(text));
        if (!cards.contains(card)) cards << card;
    }
    if (cards.isEmpty()) cards << 0;

    QList<monitor::MonitorWindow*> windows;
    for (int card : cards) {
        auto* window = new monitor::MonitorWindow(host, quint16(port), card, rate, parser.isSet(verboseOption));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        windows << window;
    }
    return app.exec();
}
