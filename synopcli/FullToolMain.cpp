// pluvane-synop-full: pluvane-synop with everything it offers. Decodes
// SYNOP, SHIP and BUOY reports in teletype text from files or standard
// input, or reads them back from the station log; writes them as JSON lines,
// CSV, GeoJSON, KML or any other registered format (the surface analysis's
// isobars among them), and with --store appends decoded reports to the log
// the window opens on. pluvane-synop runs the plain decoding runs itself,
// without loading Qt, and hands every other run to this program.
#include "DecodingRun.h"
#include "OutputFormat.h"
#include "StandardOutput.h"
#include "StationLogRuns.h"

#include "synoplog/LogFileCheck.h"
#include "synoplog/ReportLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <malloc.h>
#include <memory>
#include <optional>

namespace {

using namespace synop;

// QCommandLineParser knows no option with an optional value: a bare
// --store or --from-log means the default log.
QStringList withLogValues(const QStringList& arguments)
{
    QStringList out;
    for (const QString& a : arguments) {
        if (a == QLatin1String("--store") || a == QLatin1String("--from-log")) out << a + u'=' + ReportLog::defaultPath();
        else out << a;
    }
    return out;
}

int usageError(const QString& text)
{
    std::fprintf(stderr, "pluvane-synop: %s (see --help)\n", qPrintable(text));
    return 2;
}

// An ISO 8601 time, UTC unless it says otherwise; a date alone is its first
// moment, or with endOfDay its last.
std::optional<QDateTime> parseTime(const QString& text, bool endOfDay = false)
{
    // A date alone first: Qt's ISO reading takes it as well, as midnight,
    // which would make --until 2026-03-08 end where that day begins.
    if (const QDate date = QDate::fromString(text, Qt::ISODate); date.isValid() && text.size() == 10)
        return endOfDay ? QDateTime(date, QTime(23, 59, 59, 999), Qt::UTC) : QDateTime(date, QTime(0, 0), Qt::UTC);
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid()) return std::nullopt;
    if (t.timeSpec() == Qt::LocalTime) t.setTimeSpec(Qt::UTC);
    return t.toUTC();
}

QString formatNames()
{
    QStringList names;
    for (const cli::OutputFormat& f : cli::outputFormats())
        names << QString::fromStdString(f.name) + QStringLiteral(": ") + QString::fromStdString(f.description);
    return names.join(QStringLiteral("; "));
}

}  // namespace

int main(int argc, char** argv)
{
    ReportLog::skipMemoryStatistics();  // before anything opens SQLite
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pluvane-synop"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds SYNOP (AAXX), SHIP (BBXX) and BUOY (ZZYY) reports in raw teletype text and writes one JSON "
        "object per decoded report, or CSV, GeoJSON or KML; --store appends them to the station log, "
        "--from-log writes the reports stored there."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Text files to read; none or - reads standard input."));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("Output: %1.").arg(formatNames()),
                                    QStringLiteral("format"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Same as --format csv."));
    const QCommandLineOption store(QStringLiteral("store"),
                                   QStringLiteral("Append the reports and the text to the station log at PATH (--store "
                                                  "alone: %1). Writes no output unless --format is given.")
                                       .arg(ReportLog::defaultPath()),
                                   QStringLiteral("PATH"));
    const QCommandLineOption fromLog(QStringLiteral("from-log"),
                                     QStringLiteral("Write the reports stored in the station log at PATH (--from-log "
                                                    "alone: the default log) instead of decoding text."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption since(QStringLiteral("since"),
                                   QStringLiteral("Only reports observed at or after this time (ISO 8601, UTC: "
                                                  "2026-03-08T18:00Z, or a date)."),
                                   QStringLiteral("time"));
    const QCommandLineOption until(QStringLiteral("until"),
                                   QStringLiteral("Only reports observed at or before this time (a date: to its end)."),
                                   QStringLiteral("time"));
    const QCommandLineOption station(QStringLiteral("station"),
                                     QStringLiteral("Only this station index, call sign or buoy number (repeat the "
                                                    "option or separate with commas for several)."),
                                     QStringLiteral("id"));
    const QCommandLineOption received(QStringLiteral("received"),
                                      QStringLiteral("When the text was received (ISO 8601, UTC), for archives: gives "
                                                     "the reports their month and year. Default: now."),
                                      QStringLiteral("time"));
    const QCommandLineOption keepDuplicates(QStringLiteral("keep-duplicates"),
                                            QStringLiteral("Also write the reports of repeated bulletins."));
    const QCommandLineOption noShift(QStringLiteral("no-shift-correction"),
                                     QStringLiteral("Do not read groups printed in letters case as figures."));
    const QCommandLineOption noChecks(QStringLiteral("no-plausibility"),
                                      QStringLiteral("Keep values that cannot be true instead of dropping them."));
    parser.addOptions({format, csv, store, fromLog, since, until, station, received, keepDuplicates, noShift, noChecks});
    // A usage error exits 2, as every Pluvane program's does (process() would exit 1).
    if (!parser.parse(withLogValues(app.arguments()))) return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    const cli::OutputFormat* output = cli::outputFormat("json");
    if (parser.isSet(csv)) output = cli::outputFormat("csv");
    if (parser.isSet(format)) {
        output = cli::outputFormat(parser.value(format).toStdString());
        if (!output) return usageError(QStringLiteral("unknown format %1").arg(parser.value(format)));
    } else if (parser.isSet(store) && !parser.isSet(csv)) {
        output = nullptr;  // storing alone writes nothing
    }

    cli::Selection selection;
    if (parser.isSet(since)) {
        const auto t = parseTime(parser.value(since));
        if (!t) return usageError(QStringLiteral("--since %1 is not an ISO 8601 time such as 2026-03-08T18:00Z").arg(parser.value(since)));
        selection.sinceMs = t->toMSecsSinceEpoch();
    }
    if (parser.isSet(until)) {
        const auto t = parseTime(parser.value(until), true);
        if (!t) return usageError(QStringLiteral("--until %1 is not an ISO 8601 time such as 2026-03-09T06:00Z").arg(parser.value(until)));
        selection.untilMs = t->toMSecsSinceEpoch();
    }
    for (const QString& value : parser.values(station))
        for (const QString& id : value.split(u',', Qt::SkipEmptyParts)) selection.stations.push_back(id.trimmed().toUpper().toStdString());

    QDateTime receivedAt = QDateTime::currentDateTimeUtc();
    if (parser.isSet(received)) {
        const auto t = parseTime(parser.value(received));
        if (!t) return usageError(QStringLiteral("--received %1 is not an ISO 8601 time such as 2026-12-08T06:20Z").arg(parser.value(received)));
        receivedAt = *t;
    }

    // A path that holds something else is refused before anything opens it:
    // the log would set such a file aside and start afresh in its place.
    const QString logPath = parser.isSet(fromLog) ? parser.value(fromLog) : parser.value(store);
    if (parser.isSet(fromLog) || parser.isSet(store)) {
        const QString why = whyNotAStationLog(logPath);
        if (!why.isEmpty()) {
            std::fprintf(stderr, "pluvane-synop: %s; nothing was changed\n", qPrintable(why));
            return 2;
        }
    }

    auto sink = [](std::string_view bytes) { cli::standardOutput().write(bytes); };
    std::unique_ptr<cli::ReportWriter> writer = output ? output->make(sink) : nullptr;

    if (parser.isSet(fromLog)) {
        if (parser.isSet(store) || !parser.positionalArguments().isEmpty())
            return usageError(QStringLiteral("--from-log reads the log: it takes no files and no --store"));
        if (!QFileInfo::exists(logPath)) {
            std::fprintf(stderr, "pluvane-synop: there is no station log at %s\n", qPrintable(logPath));
            return 1;
        }
        const ReportLog log(logPath);
        if (!log.isOpen()) {
            std::fprintf(stderr, "pluvane-synop: cannot read the station log: %s\n", qPrintable(log.lastError()));
            return 1;
        }
        if (!writer) writer = cli::outputFormat("json")->make(sink);
        return cli::writeFromLog(log, selection, *writer);
    }

    std::unique_ptr<ReportLog> log;
    std::unique_ptr<cli::StationLogStore> logStore;
    if (parser.isSet(store)) {
        // Each batch frees its staged rows and SQLite its pages; by default
        // the heap's top goes back to the system then and comes back as new
        // zeroed pages in the next batch, a page fault each. A batch tool
        // may keep what it had.
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
        mallopt(M_TOP_PAD, 16 << 20);
        log = std::make_unique<ReportLog>(logPath);
        if (!log->openingNotice().isEmpty()) std::fprintf(stderr, "pluvane-synop: %s\n", qPrintable(log->openingNotice()));
        if (!log->isWritable()) {
            std::fprintf(stderr, "pluvane-synop: cannot store in the station log: %s\n", qPrintable(log->lastError()));
            return 1;
        }
        logStore = std::make_unique<cli::StationLogStore>(*log, receivedAt);
    }

    cli::DecodingRun run;
    for (const QString& file : parser.positionalArguments()) run.files.push_back(QFile::encodeName(file).toStdString());
    if (run.files.empty()) run.files.push_back("-");
    run.receivedMs = receivedAt.toMSecsSinceEpoch();
    run.decoder.plausibilityChecks = !parser.isSet(noChecks);
    run.decoder.describeGroups = false;  // the outputs carry the values, not the group view
    run.assembler.dropDuplicates = !parser.isSet(keepDuplicates);
    run.assembler.correctShiftErrors = !parser.isSet(noShift);
    run.selection = selection;
    run.writer = writer.get();
    run.store = logStore.get();
    return cli::decodeText(run);
}
