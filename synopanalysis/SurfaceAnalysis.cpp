#include "synopanalysis/SurfaceAnalysis.h"

#include <algorithm>
#include <map>

namespace synop::analysis {

namespace {

std::string stationKey(const PressureReport& r) { return std::string(reportFormCode(r.form)) + ' ' + r.station; }

}  // namespace

SurfaceAnalysis analyseSurface(const std::vector<PressureReport>& reports, const AnalysisOptions& options)
{
    SurfaceAnalysis out;
    out.hour = options.hour.isValid() ? synopticHour(options.hour) : latestFullHour(reports, options.minimumReports);
    if (!out.hour.isValid()) {
        out.problem = "no hour has " + std::to_string(options.minimumReports) + " or more reports with a sea-level pressure and a position";
        return out;
    }

    // The hour's reports; a repeat of the same reading counts once, and of
    // two that differ both go to the checks, which keep the one that fits.
    std::vector<PressureReport> hour;
    std::map<std::string, std::vector<size_t>> byStation;
    for (const PressureReport& r : reports) {
        if (synopticHour(r.observedUtc) != out.hour) continue;
        auto& mine = byStation[stationKey(r)];
        const auto same = std::find_if(mine.begin(), mine.end(), [&](size_t k) { return hour[k].pressureHpa == r.pressureHpa; });
        if (same != mine.end()) {
            if (hour[*same].warned && !r.warned) hour[*same] = r;
            continue;
        }
        mine.push_back(hour.size());
        hour.push_back(r);
    }
    if (int(hour.size()) < options.minimumReports && !options.hour.isValid()) {
        out.problem = "too few reports";
        return out;
    }

    // Each station's own reports before this hour, from the earlier hours given.
    std::map<std::string, std::vector<const PressureReport*>> earlier;
    for (const PressureReport& r : reports)
        if (synopticHour(r.observedUtc) < out.hour && byStation.count(stationKey(r))) earlier[stationKey(r)].push_back(&r);
    std::vector<std::vector<const PressureReport*>> previous(hour.size());
    for (size_t i = 0; i < hour.size(); ++i)
        if (const auto found = earlier.find(stationKey(hour[i])); found != earlier.end()) previous[i] = found->second;

    std::vector<Observation> all;
    for (const PressureReport& r : hour) all.push_back({r.place, r.pressureHpa, 1});
    const double spacing = std::max(30.0, meanStationSpacingKm(all));
    const QualityVerdict verdict = checkQuality(hour, previous, spacing, options.quality);

    std::vector<Observation> obs;
    for (size_t i = 0; i < hour.size(); ++i) {
        if (verdict.weight[i] > 0) {
            out.used.push_back(hour[i]);
            out.usedWeight.push_back(verdict.weight[i]);
            obs.push_back({hour[i].place, hour[i].pressureHpa, verdict.weight[i]});
        } else {
            out.rejected.push_back({hour[i], verdict.reason[i]});
        }
    }
    if (int(obs.size()) < std::max(3, options.barnes.minimumNeighbours)) {
        out.problem = "too few reports pass the checks";
        return out;
    }

    out.setup = barnesSetup(obs, options.barnes);
    out.field = barnesAnalysis(obs, out.setup, options.barnes);
    out.isobars = contourIsobars(out.field, options.contours);
    out.centres = findPressureCentres(out.field, options.centres);

    double sum = 0;
    for (const PressureReport& r : out.used)
        if (const std::optional<double> v = out.field.valueAt(r.place)) {
            sum += (*v - r.pressureHpa) * (*v - r.pressureHpa);
            ++out.fitStations;
        }
    out.fitRmsHpa = out.fitStations ? std::sqrt(sum / out.fitStations) : 0;
    return out;
}

}  // namespace synop::analysis
