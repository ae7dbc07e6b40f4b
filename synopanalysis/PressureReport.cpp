#include "synopanalysis/PressureReport.h"

#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <algorithm>
#include <map>

namespace synop::analysis {

std::optional<PressureReport> pressureReport(const DecodedReport& report, const StationPlace& place,
                                             const QDateTime& observedUtc)
{
    if (report.nil || !report.seaLevelPressureHpa || !place.hasPosition() || !observedUtc.isValid()) return std::nullopt;
    PressureReport out;
    out.form = report.form;
    out.station = report.station;
    out.place = {*place.lat, *place.lon};
    out.observedUtc = observedUtc.toUTC();
    out.pressureHpa = *report.seaLevelPressureHpa;
    out.warned = !report.warnings.empty();
    for (const std::string& w : report.warnings)
        if (w.find("station index") != std::string::npos || w.find("no AAXX") != std::string::npos ||
            w.find("too short for date") != std::string::npos) {
            out.identityDoubt = w;
            break;
        }
    return out;
}

std::vector<PressureReport> pressureReportsInText(std::string_view text,
                                                  const std::function<std::optional<QDateTime>(const DecodedReport&)>& observed)
{
    std::vector<PressureReport> out;
    StreamAssembler assembler([&](AssembledReport&& assembled) {
        const DecodedReport d = decodeReport(std::move(assembled), {true, false});
        if (const std::optional<QDateTime> when = observed(d))
            if (auto r = pressureReport(d, stationPlace(d), *when)) out.push_back(std::move(*r));
    });
    assembler.feed(text);
    assembler.finish();
    return out;
}

QDateTime synopticHour(const QDateTime& observedUtc)
{
    const qint64 s = observedUtc.toSecsSinceEpoch();
    const qint64 shifted = s + 1800;
    const qint64 hours = shifted / 3600 - (shifted % 3600 < 0 ? 1 : 0);
    return QDateTime::fromSecsSinceEpoch(hours * 3600, Qt::UTC);
}

QDateTime latestFullHour(const std::vector<PressureReport>& reports, int minimum)
{
    std::map<qint64, int> perHour;
    for (const PressureReport& r : reports) ++perHour[synopticHour(r.observedUtc).toSecsSinceEpoch()];
    int busiest = 0;
    for (const auto& [hour, n] : perHour) busiest = std::max(busiest, n);
    for (auto it = perHour.rbegin(); it != perHour.rend(); ++it)
        if (it->second >= minimum && 2 * it->second >= busiest) return QDateTime::fromSecsSinceEpoch(it->first, Qt::UTC);
    return {};
}

}  // namespace synop::analysis
