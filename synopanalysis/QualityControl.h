#pragma once
// Checks the sea-level pressures of one synoptic hour before they are
// analysed. Teletype garbles a figure of the pressure group as readily as
// any other, and a single wrong pressure makes a false low or high on the
// chart; a good report wrongly thrown out costs far less, as its
// neighbours carry the field.
//
// - gross limits: lower than any pressure ever measured at sea level, or higher;
// - neighbours ("buddies"): a plane fitted to the stations within a radius,
//   weighted by distance, predicts the station; it is rejected when it
//   differs by more than a limit that grows with the distance to its
//   buddies (a real gradient). The worst station of a neighbourhood goes
//   first, and the fit is made again without it, so that one bad report
//   does not take its good neighbours with it;
// - tendency: a change since the station's own earlier reports (all of
//   them: one may be the garbled one) faster than the air ever changes,
//   unless its neighbours' own changes confirm it;
// - decoder warnings: a report whose station or date is in doubt is left
//   out; one with other warnings counts half and is held to a tighter limit.
#include "synopanalysis/PressureReport.h"

#include <string>
#include <vector>

namespace synop::analysis {

struct QualityOptions {
    double lowestHpa = 870, highestHpa = 1085;
    double buddyRadiusKm = 0;         // 0: three station spacings, 150 to 600 km
    int minimumBuddies = 3;
    double buddyLimitHpa = 5;         // plus the allowance for distance:
    double limitPerHundredKmHpa = 1.5;
    double warnedWeight = 0.5;
    double warnedLimitFactor = 0.7;
    double tendencyHpa = 3, tendencyPerHourHpa = 2;  // 9 hPa in three hours
    int previousWithinHours = 6;
};

struct QualityVerdict {
    std::vector<double> weight;         // per report; 0 when rejected
    std::vector<std::string> reason;    // per report; empty when used
    std::vector<double> buddyEstimate;  // NaN where the report had too few buddies
    int rejected() const;
};

// `earlier[i]`: the station's own reports before report i (any order).
QualityVerdict checkQuality(const std::vector<PressureReport>& reports,
                            const std::vector<std::vector<const PressureReport*>>& earlier,
                            double stationSpacingKm, const QualityOptions& options = {});

}  // namespace synop::analysis
