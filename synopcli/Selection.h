#pragma once
// --since, --until and --station: which reports pluvane-synop writes, from
// the text it decodes or from the station log.
#include "synopdecoder/Report.h"
#include "synoplog/LoggedReport.h"

#include <QDateTime>
#include <QStringList>

namespace synop::cli {

struct Selection {
    QDateTime since, until;  // observation time, both ends included; invalid: open
    QStringList stations;    // station indices, call signs or buoy numbers; empty: all

    bool accepts(const DecodedReport& report, const QDateTime& observedUtc) const
    {
        if ((since.isValid() || until.isValid()) && !observedUtc.isValid()) return false;
        if (since.isValid() && observedUtc < since) return false;
        if (until.isValid() && observedUtc > until) return false;
        return stations.isEmpty() || stations.contains(QString::fromStdString(report.station));
    }
    // The log's own filter: one station and the time range are selected in
    // SQL; several stations are sorted out by accepts().
    ReportFilter logFilter() const
    {
        ReportFilter f;
        f.fromUtc = since;
        f.toUtc = until;
        f.rangeOnObservation = true;
        if (stations.size() == 1) f.station = stations.front();
        f.withGroupMeanings = false;
        return f;
    }
};

}  // namespace synop::cli
