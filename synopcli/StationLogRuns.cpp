#include "StationLogRuns.h"

#include <QFile>

#include <cstdio>

namespace synop::cli {
namespace {

// The log's own filter: one station and the time range are selected in
// SQL; several stations are sorted out by Selection::accepts().
ReportFilter logFilter(const Selection& selection)
{
    ReportFilter f;
    if (selection.sinceMs) f.fromUtc = QDateTime::fromMSecsSinceEpoch(*selection.sinceMs, Qt::UTC);
    if (selection.untilMs) f.toUtc = QDateTime::fromMSecsSinceEpoch(*selection.untilMs, Qt::UTC);
    f.rangeOnObservation = true;
    if (selection.stations.size() == 1) f.station = QString::fromStdString(selection.stations.front());
    f.withGroupMeanings = false;
    return f;
}

}  // namespace

bool StationLogStore::store(const AssembledReport& assembled, const DecodedReport& decoded, bool plausibilityChecks,
                            bool& repeat)
{
    const auto result = log_.store(assembled, decoded, received_, plausibilityChecks);
    repeat = result && result->outcome == StoreOutcome::Repeat;
    return result.has_value();
}

bool StationLogStore::storeText(std::string_view text, const std::string& source)
{
    return log_.storeText(text, received_, QFile::decodeName(QByteArray::fromStdString(source)));
}

int writeFromLog(const ReportLog& log, const Selection& selection, ReportWriter& writer)
{
    long written = 0;
    writer.begin();
    const bool ok = log.forEach(logFilter(selection), [&](const LoggedReport& r) {
        const QDateTime reportTime = r.reportTime();
        const auto reportMs = reportTime.isValid() ? std::optional<int64_t>(reportTime.toMSecsSinceEpoch()) : std::nullopt;
        if (!selection.accepts(r.report, reportMs)) return true;
        writer.add(r.report, r.place, r.observedMs());
        ++written;
        return true;
    });
    writer.end();
    const bool outputOk = outputWritten();
    std::fprintf(stderr, "pluvane-synop: %ld report%s from %s%s\n", written, written == 1 ? "" : "s",
                 qPrintable(log.path()), writer.summary().c_str());
    if (!ok) {
        std::fprintf(stderr, "pluvane-synop: reading stopped: %s\n", qPrintable(log.lastError()));
        return 1;
    }
    return outputOk ? 0 : 1;
}

}  // namespace synop::cli
