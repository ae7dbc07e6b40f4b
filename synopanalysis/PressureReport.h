#pragma once
// What the analysis takes of a decoded report: where it was made, when, its
// sea-level pressure and how far the decoder trusted it.
#include "synopanalysis/SphereGeometry.h"
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QDateTime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace synop::analysis {

struct PressureReport {
    ReportForm form = ReportForm::Land;
    std::string station;       // index, call sign or buoy number
    LatLon place;
    QDateTime observedUtc;
    double pressureHpa = 0;    // reduced to mean sea level
    // The decoder dropped or doubted a group of the report; the text may be
    // garbled where it did not notice.
    bool warned = false;
    // The warning puts the station's identity or date in doubt: a right
    // pressure at the wrong place is worse than none.
    std::string identityDoubt;

    bool sameStation(const PressureReport& o) const { return form == o.form && station == o.station; }
};

// None when the report has no sea-level pressure, no position or no time.
std::optional<PressureReport> pressureReport(const DecodedReport& report, const StationPlace& place,
                                             const QDateTime& observedUtc);

// The reports in teletype text that have a sea-level pressure and a place;
// `observed` gives each decoded report its time (the station log's rule,
// which needs the time of reception), none to leave it out.
std::vector<PressureReport> pressureReportsInText(std::string_view text,
                                                  const std::function<std::optional<QDateTime>(const DecodedReport&)>& observed);

// The synoptic hour a report belongs to: its observation time to the nearest hour.
QDateTime synopticHour(const QDateTime& observedUtc);

// The latest hour with enough reports to analyse: at least `minimum`, and at
// least half as many as the busiest hour (a live stream's newest hour holds
// the first few reports of a bulletin that is still coming). Invalid when
// no hour has enough.
QDateTime latestFullHour(const std::vector<PressureReport>& reports, int minimum = 8);

}  // namespace synop::analysis
