#include "ServerOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
        "  --demo=CHANNEL       the same through an HF channel (moderate, poor, flutter,\n"
        "                       selective, offset, impulse, flat) at +20 dB\n"
        "  --time-scale F       run the cards' signal F times faster than real time\n"
        "  --max-connections N  connections served at once (default 64); more are told\n"
        "                       so and closed\n"
        "  --idle-timeout S     close a connection that opens no card and asks for no\n"
        "                       search within S seconds (default 30)\n"
        "  --stall-timeout S    drop a connection that has read nothing of its pending\n"
        "                       output for S seconds, releasing its card (default 30)\n"
        "  --output-limit KB    output waiting for clients, over all of them, beyond which\n"
        "                       those that do not read are dropped (default 32768)\n"
        "  --secret-file PATH   clients must prove they know the secret in PATH before\n"
        "                       they may search or open a card\n"
        "  --config FILE        read options from FILE, one a line without the dashes\n"
        "                       (\"card 2=text:bulletins.txt\"; # starts a comment;\n"
        "                       relative paths are relative to FILE); the command\n"
        "                       line, read after it, wins\n"
        "  --help, --version\n\n"
        "Sources:\n"
        "  demo                          SYNOP bulletins of European stations, looped\n"
        "  demo:CHANNEL                  the same through an HF channel (see --demo=)\n"
        "  text:PATH                     already-decoded text, replayed at the card's speed\n"
        "  text:PATH@BAUD,SHIFT[,CENTRE][,inverted]\n"
        "                                the same, sent with other line parameters\n"
        "                                (default 50 Bd, 425 Hz, centre 1500 Hz, normal)\n"
        "  wav:PATH                      a WAV or FLAC recording of RTTY audio, decoded, repeated\n"
        "  raw:PATH@RATE[,s16le|f32le]   mono PCM from a file (repeated), a FIFO or - (stdin)\n"
        "  udp:[ADDR:]PORT[@RATE[,FORMAT]]  UDP audio as gqrx sends it (127.0.0.1, 48000, s16le)\n"
        "  audio:DEVICE                  a live audio input, decoded\n\n"
        "The first line on stderr is \"Listening on ADDR:PORT\"; SIGINT or SIGTERM\n"
        "ends every session with SessionEnded and stops the server.\n");
}

namespace {

std::optional<ServerOptions> parseArguments(const QStringList& arguments, QString* error);

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

// The file's lines as command-line arguments.
std::optional<QStringList> configArguments(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QDir base = QFileInfo(path).absoluteDir();
    static const QStringList keywords{"listen", "card", "demo", "time-scale", "max-connections",
                                      "idle-timeout", "stall-timeout", "output-limit", "secret-file"};
    QStringList arguments;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty()) continue;
        const QString keyword = line.section(QLatin1Char(' '), 0, 0);
        QString value = line.section(QLatin1Char(' '), 1).trimmed();
        if (!keywords.contains(keyword) || (keyword == QLatin1String("demo")) != value.isEmpty()) {
            *error = QStringLiteral("%1 line %2: cannot use \"%3\"").arg(path).arg(number).arg(line);
            return std::nullopt;
        }
        static const QRegularExpression textSource(QStringLiteral(R"(^([^=]+=text:)(.+)$)"));
        if (const auto match = textSource.match(value); keyword == QLatin1String("card") && match.hasMatch())
            value = match.captured(1) + base.absoluteFilePath(match.captured(2));
        arguments << QStringLiteral("--") + keyword;
        if (!value.isEmpty()) arguments << value;
    }
    return arguments;
}

}  // namespace

std::optional<ServerOptions> parseOptions(const QStringList& commandLine, QString* error)
{
    // A configuration file is read first, so that the command line wins.
    QStringList arguments;
    QStringList rest;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] != QLatin1String("--config")) {
            rest << commandLine[i];
            continue;
        }
        if (++i >= commandLine.size()) {
            *error = QStringLiteral("--config needs a value");
            return std::nullopt;
        }
        const auto fromFile = configArguments(commandLine[i], error);
        if (!fromFile) return std::nullopt;
        arguments << *fromFile;
    }
    arguments << rest;
    return parseArguments(arguments, error);
}

namespace {

std::optional<ServerOptions> parseArguments(const QStringList& arguments, QString* error)
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
        else if (arg.startsWith(QLatin1String("--demo="))) options.cards[1][0] = QStringLiteral("demo:") + arg.mid(7);
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
        } else if (arg == QLatin1String("--max-connections")) {
            if (!value(&v)) return std::nullopt;
            bool ok = false;
            options.limits.maxConnections = v.toInt(&ok);
            if (!ok || options.limits.maxConnections < 1 || options.limits.maxConnections > 100000) {
                *error = QStringLiteral("--max-connections wants a number from 1 to 100000, not \"%1\"").arg(v);
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--output-limit")) {
            if (!value(&v)) return std::nullopt;
            bool ok = false;
            const qint64 kilobytes = v.toLongLong(&ok);
            if (!ok || kilobytes < 64 || kilobytes > 16 * 1024 * 1024) {
                *error = QStringLiteral("--output-limit wants kilobytes from 64 to 16777216, not \"%1\"").arg(v);
                return std::nullopt;
            }
            options.limits.maxPendingTotal = kilobytes * 1024;
        } else if (arg == QLatin1String("--idle-timeout") || arg == QLatin1String("--stall-timeout")) {
            if (!value(&v)) return std::nullopt;
            bool ok = false;
            const double seconds = v.toDouble(&ok);
            if (!ok || seconds < 0.1 || seconds > 86400) {
                *error = QStringLiteral("%1 wants seconds from 0.1 to 86400, not \"%2\"").arg(arg, v);
                return std::nullopt;
            }
            (arg == QLatin1String("--idle-timeout") ? options.limits.idleMs : options.limits.stallMs) =
                int(seconds * 1000);
        } else if (arg == QLatin1String("--secret-file")) {
            if (!value(&options.secretFile)) return std::nullopt;
        } else {
            *error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(arg);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace

}  // namespace cardserver
