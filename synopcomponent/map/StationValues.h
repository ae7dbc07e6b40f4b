#pragma once
// What a station model shows of one report, in the units a plotted chart
// uses: wind in knots, pressure in its three figures, weather as the code a
// symbol is drawn for.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace synop::map {

struct StationValues {
    std::optional<int> cloudOkta;   // 0..8, 9 sky obscured
    std::optional<int> windFromDeg; // 0 with a speed of 0 is calm
    bool windVariable = false;
    std::optional<double> windKt;
    std::optional<double> airTempC, dewPointC;
    std::optional<double> seaLevelPressureHpa;
    std::optional<int> pressureTendency;  // characteristic a, 0..8
    std::optional<double> pressureChangeHpa;
    std::optional<int> presentWeather;    // ww, or wawa when automaticWeather
    bool automaticWeather = false;
    std::optional<int> pastWeather1, pastWeather2;  // W1, W2, from the same kind of table

    // How many of the plotted elements the report carries: a fuller report
    // wins a crowded place on the map.
    int completeness() const;
};

StationValues stationValues(const DecodedReport& report);

// One report placed on the map or in a station's history.
struct MapReport {
    qint64 id = 0;        // the caller's key, handed back when the station is clicked
    ReportForm form = ReportForm::Land;
    QString station;      // index, call sign or buoy number
    QString name;         // empty when the station list does not know it
    QDateTime observed;   // UTC; invalid when unknown
    double lat = 0, lon = 0;
    bool placed = false;  // lat and lon are known
    StationValues values;
};

// The map's order among reports of one station: the later observation, then the later stored.
bool newerReport(const MapReport& a, const MapReport& b);

// The report with its station's name and position (the station list, or the
// position a ship or buoy reports); lat and lon are 0 when unknown.
MapReport describeReport(qint64 id, const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc);
// The same, for the map: none when the position is unknown.
std::optional<MapReport> placeReport(qint64 id, const DecodedReport& report, const StationPlace& place,
                                     const QDateTime& observedUtc);

// Sea-level pressure as plotted: tenths of hPa, last three figures
// (1013.2 -> "132", 998.7 -> "987").
QString pressureFigures(double hPa);
// Three-hour change as plotted beside the tendency: tenths, two figures, signed.
QString pressureChangeFigures(double hPa);

}  // namespace synop::map
