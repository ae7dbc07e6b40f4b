// pluvane-synop: decodes SYNOP, SHIP and BUOY reports in teletype text from
// files or standard input, one JSON object per report or CSV.
#include "synopdecoder/ReportFormat.h"
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("pluvane-synop"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Finds SYNOP (AAXX), SHIP (BBXX) and BUOY (ZZYY) reports in raw teletype text and writes one JSON "
        "object per decoded report, or CSV."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Text files to read; none or - reads standard input."));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write CSV instead of JSON lines."));
    const QCommandLineOption keepDuplicates(QStringLiteral("keep-duplicates"),
                                            QStringLiteral("Also write the reports of repeated bulletins."));
    const QCommandLineOption noShift(QStringLiteral("no-shift-correction"),
                                     QStringLiteral("Do not read groups printed in letters case as figures."));
    const QCommandLineOption noChecks(QStringLiteral("no-plausibility"),
                                      QStringLiteral("Keep values that cannot be true instead of dropping them."));
    parser.addOptions({csv, keepDuplicates, noShift, noChecks});
    parser.process(app);

    const bool asCsv = parser.isSet(csv);
    synop::DecoderOptions decoderOptions;
    decoderOptions.plausibilityChecks = !parser.isSet(noChecks);
    synop::AssemblerOptions assemblerOptions;
    assemblerOptions.dropDuplicates = !parser.isSet(keepDuplicates);
    assemblerOptions.correctShiftErrors = !parser.isSet(noShift);

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly)) return 2;
    if (asCsv) out.write(synop::csvHeaderLine());
    long reports = 0;
    synop::StreamAssembler assembler(
        [&](synop::AssembledReport&& report) {
            const synop::DecodedReport decoded = synop::decodeReport(report, decoderOptions);
            out.write(asCsv ? synop::reportToCsvLine(decoded) : synop::reportToJsonLine(decoded));
            ++reports;
        },
        assemblerOptions);

    QStringList files = parser.positionalArguments();
    if (files.isEmpty()) files << QStringLiteral("-");
    int status = 0;
    auto feed = [&](const char* data, size_t size) {
        assembler.feed(std::string_view(data, size));
        out.flush();  // each report leaves as soon as it is complete
    };
    for (const QString& name : files) {
        if (name == QLatin1String("-")) {
            // Whatever a live pipe has delivered is decoded at once, not when a buffer fills.
            char buffer[4096];
            while (true) {
                const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
                if (got > 0) feed(buffer, static_cast<size_t>(got));
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
                feed(chunk.constData(), static_cast<size_t>(chunk.size()));
            }
            if (in.error() != QFileDevice::NoError) {
                std::fprintf(stderr, "pluvane-synop: error reading %s: %s\n", qPrintable(name), qPrintable(in.errorString()));
                status = 1;
            }
        }
        assembler.finish();  // a file's last report does not run into the next file
    }
    out.flush();
    std::fprintf(stderr, "pluvane-synop: %ld reports, %zu repeated reports skipped\n", reports, assembler.duplicatesDropped());
    return status;
}
