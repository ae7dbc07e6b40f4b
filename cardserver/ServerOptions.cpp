#include "ServerOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>

#include <algorithm>

namespace cardserver {

QString usageText()
{
    return QStringLiteral(
        "Usage: pluvane-cardserver [options]\n"
        "Serves up to 8 decoder cards to the Pluvane front end over TCP.\n\n"
        "  --listen ADDR:PORT   address and port to listen on (default 127.0.0.1:33234;\n"
        "                       ADDR a number or a host name such as localhost;\n"
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
        "                       they may search, open or observe a card\n"
        "  --observers-may-tune let observers (pluvane-monitor) retune a card's centre,\n"
        "                       shift and mode and run its line search\n"
        "  --config FILE        read options from FILE, one a line without the dashes\n"
        "                       (\"card 2=text:bulletins.txt\"; # starts a comment;\n"
        "                       relative text:, wav:, raw: paths are beside FILE);\n"
        "                       the command line, read after it, wins. Without it:\n"
        "                       $PLUVANE_CARDSERVER_CONFIG, else " PLUVANE_DEFAULT_CONFIG "\n"
        "                       when it exists\n"
        "  --no-config          read no configuration file\n"
        "  -q, --quiet          log only warnings and errors\n"
        "  -v, --verbose        log every request as well\n"
        "  -h, --help, --version\n\n"
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
        "Log lines start with the local time, unless JOURNAL_STREAM is set (the\n"
        "journal stamps them). The first is \"Listening on ADDR:PORT\". SIGINT or\n"
        "SIGTERM ends every session with SessionEnded and stops the server; SIGHUP\n"
        "is ignored.\n"
        "Exit status: 0 stopped by a signal, 1 cannot listen, 2 usage or configuration.\n");
}

QString defaultConfigPath()
{
    if (qEnvironmentVariableIsSet("PLUVANE_CARDSERVER_CONFIG")) return qEnvironmentVariable("PLUVANE_CARDSERVER_CONFIG");
    return QStringLiteral(PLUVANE_DEFAULT_CONFIG);
}

namespace {

std::optional<ServerOptions> parseArguments(const QStringList& arguments, QString* error);

bool parseListen(const QString& text, ServerOptions* options, QString* error)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(?:\[([^\]]+)\]|([^:\[\]]+)):([^:]*)$)"));
    const auto match = pattern.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("--listen wants ADDR:PORT (such as 127.0.0.1:33234 or [::1]:33234), not \"%1\"").arg(text);
        return false;
    }
    const QString host = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
    const QString portText = match.captured(3);
    bool isNumber = false;
    const uint port = portText.toUInt(&isNumber);
    if (!isNumber || port > 65535 || portText.startsWith(QLatin1Char('+'))) {
        *error = QStringLiteral("--listen %1: \"%2\" is not a port number (0 to 65535)").arg(text, portText);
        return false;
    }
    QHostAddress address;
    if (!address.setAddress(host)) {
        // A host name: the first address it has, IPv4 before IPv6 so that
        // localhost means 127.0.0.1 as the front end's default does.
        const QHostInfo info = QHostInfo::fromName(host);
        QList<QHostAddress> found = info.addresses();
        std::stable_sort(found.begin(), found.end(), [](const QHostAddress& a, const QHostAddress& b) {
            return a.protocol() == QAbstractSocket::IPv4Protocol && b.protocol() != QAbstractSocket::IPv4Protocol;
        });
        if (found.isEmpty()) {
            *error = QStringLiteral("--listen %1: cannot find the host \"%2\" (%3)")
                         .arg(text, host, info.error() == QHostInfo::NoError ? QStringLiteral("no address") : info.errorString());
            return false;
        }
        address = found.first();
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
                                      "idle-timeout", "stall-timeout", "output-limit", "secret-file",
                                      "observers-may-tune", "quiet", "verbose"};
    static const QStringList bareKeywords{"demo", "observers-may-tune", "quiet", "verbose"};
    QStringList arguments;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty()) continue;
        const QString keyword = line.section(QLatin1Char(' '), 0, 0);
        QString value = line.section(QLatin1Char(' '), 1).trimmed();
        if (!keywords.contains(keyword) || bareKeywords.contains(keyword) != value.isEmpty()) {
            *error = QStringLiteral("%1 line %2: cannot use \"%3\"").arg(path).arg(number).arg(line);
            return std::nullopt;
        }
        // Files named by a source are found beside the configuration file;
        // raw:- (standard input) names none.
        static const QRegularExpression fileSource(QStringLiteral(R"(^([^=]+=(?:text|wav|raw):)(?!-(?:@|$))(.+)$)"));
        if (const auto match = fileSource.match(value); keyword == QLatin1String("card") && match.hasMatch())
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
    QString configFile;
    bool named = false;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        if (commandLine[i] == QLatin1String("--no-config")) {
            named = true;
            continue;
        }
        if (commandLine[i] != QLatin1String("--config")) {
            rest << commandLine[i];
            continue;
        }
        if (++i >= commandLine.size()) {
            *error = QStringLiteral("--config needs a value");
            return std::nullopt;
        }
        named = true;
        configFile = commandLine[i];
        const auto fromFile = configArguments(configFile, error);
        if (!fromFile) return std::nullopt;
        arguments << *fromFile;
    }
    if (!named) {
        const QString fallback = defaultConfigPath();
        if (!fallback.isEmpty() && QFileInfo::exists(fallback)) {
            configFile = fallback;
            const auto fromFile = configArguments(configFile, error);
            if (!fromFile) return std::nullopt;
            arguments << *fromFile;
        }
    }
    arguments << rest;
    auto options = parseArguments(arguments, error);
    if (options) options->configFile = configFile;
    return options;
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
        else if (arg == QLatin1String("--quiet") || arg == QLatin1String("-q")) options.logLevel = LogLevel::Quiet;
        else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) options.logLevel = LogLevel::Verbose;
        else if (arg == QLatin1String("--observers-may-tune")) options.observersMayTune = true;
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
