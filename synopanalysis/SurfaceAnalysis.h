#pragma once
// The surface analysis of one synoptic hour: the reports of that hour
// checked, analysed and contoured, with what was left out and why.
#include "synopanalysis/BarnesAnalysis.h"
#include "synopanalysis/Isobars.h"
#include "synopanalysis/PressureCentres.h"
#include "synopanalysis/PressureReport.h"
#include "synopanalysis/QualityControl.h"

#include <QDateTime>
#include <string>
#include <vector>

namespace synop::analysis {

struct AnalysisOptions {
    QDateTime hour;            // invalid: the latest hour with enough reports
    int minimumReports = 8;    // for an hour to be analysed at all
    BarnesParameters barnes;
    QualityOptions quality;
    ContourOptions contours;
    CentreOptions centres;
};

struct RejectedReport {
    PressureReport report;
    std::string reason;
};

struct SurfaceAnalysis {
    QDateTime hour;
    std::vector<PressureReport> used;
    std::vector<double> usedWeight;      // 1, or less for a report the decoder warned about
    std::vector<RejectedReport> rejected;
    BarnesSetup setup;
    FieldGrid field;
    std::vector<Isobar> isobars;
    std::vector<PressureCentre> centres;
    // The analysed field at the stations used against their reports.
    double fitRmsHpa = 0;
    int fitStations = 0;
    std::string problem;  // why there is no analysis; empty when there is one

    bool ok() const { return problem.empty(); }
};

// `reports` may hold several hours: the chosen hour is analysed, and the
// hours before it give each station its previous report.
SurfaceAnalysis analyseSurface(const std::vector<PressureReport>& reports, const AnalysisOptions& options = {});

}  // namespace synop::analysis
