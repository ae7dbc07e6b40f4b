#include "ServerOptions.h"

#include <QRegularExpression>

namespace cardserver {

QString usageText()
{
    return QStringLiteral(
        "Usage: pluvane-cardserver [options]\n"
        "Serves up to 8 decoder cards to the Pluvane front end over TCP.\n\n"
        "  --listen ADDR:PORT   address and port to listen on (default 127.0.0.1:33234;\n"
        "                       port 0 picks a free one; IPv6 as [::1]:PORT)\n"
        "  --card N=SOURCE      card N (1..8) with SOURCE on all its IF inputs\n"
        "  --card N:I=SOURCE    SOURCE on IF input I (1..4) of card N only\n"
        "  --demo               card 1 on the built-in demo broadcast\n"
        "  --time-scale F       run the cards' signal F times faster than real time\n"
        "  --help, --version\n\n"
        "Sources:\n"
        "  demo                          SYNOP bulletins of European stations, looped\n"
        "  text:PATH                     already-decoded text, replayed at the card's speed\n"
        "  text:PATH@BAUD,SHIFT[,CENTRE][,inverted]\n"
        "                                the same, sent with other line parameters\n"
        "                                (default 50 Bd, 425 Hz, centre 1500 Hz, normal)\n\n"
        "The first line on stderr is \"Listening on ADDR:PORT\"; SIGINT or SIGTERM\n"
        "ends every session with SessionEnded and stops the server.\n");
}

namespace {

bool parseListen(const QString& text, ServerOptions* options, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(?:\[([^\]]+)\]|([^:]+)):(\d{1,5})$)"));
    const auto match = pattern.match(text);
    const QString host = match.hasMatch() ? (match.captured(1).isEmpty() ? match.captured(2) : match.captured(1)) : QString();
    const int port = match.captured(3).toInt();
    QHostAddress address;
    if (!match.hasMatch() || port > 65535 || !address.setAddress(host)) {
        *error = QStringLiteral("--listen wants ADDR:PORT with a numeric address, not \"%1\"").arg(text);
        return false;
    }
    options->address = address;
    options->port = quint16(port);
    return true;
}

bool parseCard(const QString& text, ServerOptions* options, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d+)(?::(\d+))?=(.+)$)"));
    const auto match = pattern.match(text);
    const int card = match.captured(1).toInt();
    const int input = match.captured(2).isEmpty() ? 0 : match.captured(2).toInt();
    if (!match.hasMatch() || card < 1 || card > 8 || input < 0 || input > 4
        || (!match.captured(2).isEmpty() && input == 0)) {
        *error = QStringLiteral("--card wants N=SOURCE or N:I=SOURCE with N 1..8 and I 1..4, not \"%1\"").arg(text);
        return false;
    }
    options->cards[card][input] = match.captured(3);
    return true;
}

}  // namespace

std::optional<ServerOptions> parseOptions(const QStringList& arguments, QString* error)
{
    ServerOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        auto value = [&](QString* out) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(arg);
                return false;
            }
            *out = arguments[++i];
            return true;
        };
        QString v;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) options.showHelp = true;
        else if (arg == QLatin1String("--version")) options.showVersion = true;
        else if (arg == QLatin1String("--demo")) options.cards[1][0] = QStringLiteral("demo");
        else if (arg == QLatin1String("--listen")) {
            if (!value(&v) || !parseListen(v, &options, error)) return std::nullopt;
        } else if (arg == QLatin1String("--card")) {
            if (!value(&v) || !parseCard(v, &options, error)) return std::nullopt;
        } else if (arg == QLatin1String("--time-scale")) {
            if (!value(&v)) return std::nullopt;
            bool ok = false;
            options.timeScale = v.toDouble(&ok);
            if (!ok || options.timeScale < 0.01 || options.timeScale > 1000) {
                *error = QStringLiteral("--time-scale wants a number from 0.01 to 1000, not \"%1\"").arg(v);
                return std::nullopt;
            }
        } else {
            *error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(arg);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace cardserver
