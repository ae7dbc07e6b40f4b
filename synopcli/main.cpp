// pluvane-synop: decodes SYNOP, SHIP and BUOY reports in teletype text from
// files or standard input; writes them as JSON lines, CSV, GeoJSON or KML,
// and with --store appends them to the station log the window opens on.
#include "synopdecoder/ReportExport.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"
#include "synoplog/ObservationTime.h"
#include "synoplog/ReportLog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

std::optional<synop::ExportFormat> formatNamed(const QString& name)
{
    if (name == QLatin1String("json")) return synop::ExportFormat::JsonLines;
    if (name == QLatin1String("csv")) return synop::ExportFormat::Csv;
    if (name == QLatin1String("geojson")) return synop::ExportFormat::GeoJson;
    if (name == QLatin1String("kml")) return synop::ExportFormat::Kml;
    return std::nullopt;
}

// QCommandLineParser knows no option with an optional value: a bare
// --store means the default log.
QStringList withStoreValue(const QStringList& arguments)
{
    QStringList out;
    for (const QString& a : arguments) out << (a == QLatin1String("--store") ? QStringLiteral("--store=") + synop::ReportLog::defaultPath() : a);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pluvane-synop"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds SYNOP (AAXX), SHIP (BBXX) and BUOY (ZZYY) reports in raw teletype text and writes one JSON "
        "object per decoded report, or CSV, GeoJSON or KML; --store appends them to the station log."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Text files to read; none or - reads standard input."));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Output: json (one object a line, the default), csv, geojson or kml."),
                                    QStringLiteral("format"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Same as --format csv."));
    const QCommandLineOption store(QStringLiteral("store"),
                                   QStringLiteral("Append the reports and the text to the station log at PATH (--store "
                                                  "alone: %1). Writes no output unless --format is given.")
                                       .arg(synop::ReportLog::defaultPath()),
                                   QStringLiteral("PATH"));
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
    parser.addOptions({format, csv, store, received, keepDuplicates, noShift, noChecks});
    // A usage error exits 2, as every Pluvane program's does (process() would exit 1).
    if (!parser.parse(withStoreValue(app.arguments()))) {
        std::fprintf(stderr, "pluvane-synop: %s (see --help)\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version"))) parser.showVersion();

    std::optional<synop::ExportFormat> output = synop::ExportFormat::JsonLines;
    if (parser.isSet(csv)) output = synop::ExportFormat::Csv;
    if (parser.isSet(format)) {
        output = formatNamed(parser.value(format));
        if (!output) {
            std::fprintf(stderr, "pluvane-synop: unknown format %s (json, csv, geojson or kml)\n",
                         qPrintable(parser.value(format)));
            return 2;
        }
    } else if (parser.isSet(store) && !parser.isSet(csv)) {
        output.reset();
    }
    QDateTime receivedAt = QDateTime::currentDateTimeUtc();
    if (parser.isSet(received)) {
        receivedAt = QDateTime::fromString(parser.value(received), Qt::ISODate);
        if (!receivedAt.isValid()) {
            std::fprintf(stderr, "pluvane-synop: --received %s is not an ISO 8601 time such as 2026-12-08T06:20Z\n",
                         qPrintable(parser.value(received)));
            return 2;
        }
        if (receivedAt.timeSpec() == Qt::LocalTime) receivedAt.setTimeSpec(Qt::UTC);
        receivedAt = receivedAt.toUTC();
    }

    std::unique_ptr<synop::ReportLog> log;
    if (parser.isSet(store)) {
        log = std::make_unique<synop::ReportLog>(parser.value(store));
        if (!log->openingNotice().isEmpty()) std::fprintf(stderr, "pluvane-synop: %s\n", qPrintable(log->openingNotice()));
        if (!log->isWritable()) {
            std::fprintf(stderr, "pluvane-synop: cannot store in the station log: %s\n", qPrintable(log->lastError()));
            return 1;
        }
    }

    synop::DecoderOptions decoderOptions;
    decoderOptions.plausibilityChecks = !parser.isSet(noChecks);
    decoderOptions.describeGroups = false;  // JSON and CSV carry the values, not the group view
    synop::AssemblerOptions assemblerOptions;
    assemblerOptions.dropDuplicates = !parser.isSet(keepDuplicates);
    assemblerOptions.correctShiftErrors = !parser.isSet(noShift);

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) return 2;
    synop::ReportExporter exporter(output.value_or(synop::ExportFormat::JsonLines),
                                   [&](const QByteArray& bytes) { out.write(bytes); });
    if (output) exporter.begin();
    long reports = 0;
    long stored = 0;
    int status = 0;
    synop::StreamAssembler assembler(
        [&](synop::AssembledReport&& report) {
            // The assembled report is stored in the log as well, so it is not handed over.
            const synop::DecodedReport decoded = synop::decodeReport(report, decoderOptions);
            ++reports;
            if (output)
                exporter.add(decoded, synop::stationPlace(decoded),
                             synop::observationTime(decoded, receivedAt).value_or(QDateTime()));
            if (log && status == 0) {
                if (auto result = log->store(report, decoded, receivedAt, decoderOptions.plausibilityChecks)) {
                    stored += result->outcome == synop::StoreOutcome::Repeat ? 0 : 1;
                } else {
                    std::fprintf(stderr, "pluvane-synop: storing stopped: %s\n", qPrintable(log->lastError()));
                    status = 1;
                }
            }
        },
        assemblerOptions);

    QStringList files = parser.positionalArguments();
    if (files.isEmpty()) files << QStringLiteral("-");
    auto feed = [&](const char* data, size_t size, const QString& source) {
        // A file's reports and text go into the log in one transaction per chunk.
        const bool batch = log && status == 0 && log->beginBatch();
        if (batch) log->storeText(std::string_view(data, size), receivedAt, source);
        assembler.feed(std::string_view(data, size));
        if (batch && !log->commitBatch() && status == 0) {
            std::fprintf(stderr, "pluvane-synop: storing stopped: %s\n", qPrintable(log->lastError()));
            status = 1;
        }
        out.flush();  // each report leaves as soon as it is complete
    };
    for (const QString& name : files) {
        if (name == QLatin1String("-")) {
            // Whatever a live pipe has delivered is decoded at once, not when a buffer fills.
            char buffer[4096];
            while (true) {
                const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (got > 0) feed(buffer, static_cast<size_t>(got), QStringLiteral("standard input"));
                else if (got == 0) break;
                else if (errno != EINTR) {
                    std::fprintf(stderr, "pluvane-synop: error reading standard input: %s\n", std::strerror(errno));
                    status = 1;
                    break;
                }
            }
        } else {
            QFile in(name);
            if (!in.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "pluvane-synop: cannot read %s: %s\n", qPrintable(name), qPrintable(in.errorString()));
                status = 1;
                continue;
            }
            while (true) {
                const QByteArray chunk = in.read(64 * 1024);
                if (chunk.isEmpty()) break;
                feed(chunk.constData(), static_cast<size_t>(chunk.size()), name);
            }
            if (in.error() != QFileDevice::NoError) {
                std::fprintf(stderr, "pluvane-synop: error reading %s: %s\n", qPrintable(name), qPrintable(in.errorString()));
                status = 1;
            }
        }
        // A file's last report does not run into the next file.
        if (log && status == 0) log->beginBatch();
        assembler.finish();
        if (log && status == 0 && !log->commitBatch()) {
            std::fprintf(stderr, "pluvane-synop: storing stopped: %s\n", qPrintable(log->lastError()));
            status = 1;
        }
    }
    if (output) exporter.end();
    out.flush();
    std::fprintf(stderr, "pluvane-synop: %ld report%s, %zu repeated report%s skipped", reports, reports == 1 ? "" : "s",
                 assembler.duplicatesDropped(), assembler.duplicatesDropped() == 1 ? "" : "s");
    if (exporter.leftOut()) std::fprintf(stderr, ", %ld without a position left out", exporter.leftOut());
    if (log) std::fprintf(stderr, ", %ld stored in %s", stored, qPrintable(log->path()));
    std::fprintf(stderr, "\n");
    return status;
}
