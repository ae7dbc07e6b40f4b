#include "synopdecoder/StationPlace.h"

#include "synopdecoder/StationCatalog.h"

namespace synop {

StationPlace stationPlace(const DecodedReport& report)
{
    StationPlace place;
    stationPlace(report, place);
    return place;
}

void stationPlace(const DecodedReport& report, StationPlace& place)
{
    const StationCatalog& catalog = StationCatalog::builtIn();
    const StationInfo* info = report.form == ReportForm::Land ? catalog.landStation(report.station)
                                                              : catalog.buoy(report.station);
    if (!info) {
        static const StationPlace kNowhere;
        place = kNowhere;  // the strings keep their capacity
    } else {
        // Stations come again and again: their names are copied once.
        if (place.listedAs != info || place.name != info->name || place.country != info->country) {
            place.name = info->name;
            place.country = info->country;
            place.listedAs = info;
        }
        place.lat = info->lat;
        place.lon = info->lon;
        place.elevationM = info->elevationM;
        place.reportedPosition = false;
    }
    if (report.form != ReportForm::Land && report.lat && report.lon) {
        place.lat = report.lat;
        place.lon = report.lon;
        place.elevationM.reset();  // a list's elevation says nothing about a ship's deck
        place.reportedPosition = true;
    }
}

}  // namespace synop
