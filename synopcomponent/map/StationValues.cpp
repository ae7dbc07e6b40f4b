#include "StationValues.h"

#include "synopdecoder/CodeTables.h"

#include <cmath>

namespace synop::map {

namespace {
constexpr double kKnotsPerMetreSecond = 3600.0 / 1852.0;
}

int StationValues::completeness() const
{
    return int(cloudOkta.has_value()) + int(windKt.has_value()) + int(airTempC.has_value()) + int(dewPointC.has_value())
           + int(seaLevelPressureHpa.has_value()) + int(pressureTendency.has_value()) + int(presentWeather.has_value());
}

StationValues stationValues(const DecodedReport& r)
{
    StationValues v;
    v.cloudOkta = r.cloudCoverOkta;
    v.windVariable = r.windVariable;
    v.windFromDeg = r.windDirDeg;
    if (r.windSpeed) v.windKt = r.windUnit && *r.windUnit == "m/s" ? *r.windSpeed * kKnotsPerMetreSecond : double(*r.windSpeed);
    v.airTempC = r.airTempC;
    v.dewPointC = r.dewPointC;
    v.seaLevelPressureHpa = r.seaLevelPressureHpa;
    v.pressureTendency = r.pressureTendency;
    v.pressureChangeHpa = r.pressureChangeHpa;
    v.presentWeather = r.presentWeatherCode;
    if (r.pastWeather) {
        v.pastWeather1 = (*r.pastWeather)[0];
        v.pastWeather2 = (*r.pastWeather)[1];
    }
    // ix = 7: an automatic station's weather, from code tables 4680 and 4531.
    v.automaticWeather = r.weatherIndicator == 7;
    return v;
}

std::optional<MapReport> placeReport(qint64 id, const DecodedReport& report, const StationPlace& place,
                                     const QDateTime& observedUtc)
{
    if (!place.hasPosition()) return std::nullopt;
    return describeReport(id, report, place, observedUtc);
}

MapReport describeReport(qint64 id, const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc)
{
    MapReport m;
    m.id = id;
    m.form = report.form;
    m.station = QString::fromStdString(report.station);
    m.name = QString::fromStdString(place.name);
    m.observed = observedUtc;
    m.lat = place.lat.value_or(0);
    m.lon = place.lon.value_or(0);
    m.placed = place.hasPosition();
    m.values = stationValues(report);
    return m;
}

bool newerReport(const MapReport& a, const MapReport& b)
{
    if (a.observed != b.observed) return a.observed > b.observed;
    return a.id > b.id;
}

QString pressureFigures(double hPa)
{
    const long tenths = std::lround(hPa * 10.0);
    return QStringLiteral("%1").arg(tenths % 1000, 3, 10, QLatin1Char('0'));
}

QString pressureChangeFigures(double hPa)
{
    const long tenths = std::lround(std::fabs(hPa) * 10.0);
    const QChar sign = hPa < 0 && tenths != 0 ? QLatin1Char('-') : QLatin1Char('+');
    return sign + QStringLiteral("%1").arg(std::min(tenths, 999L), 2, 10, QLatin1Char('0'));
}

}  // namespace synop::map
