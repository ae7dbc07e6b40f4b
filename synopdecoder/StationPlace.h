#pragma once
// Where a report was made and what the station is called: land stations and
// moored buoys from the station lists, ships and drifting buoys from the
// position they report (which wins over a list entry, as buoys drift).
#include "synopdecoder/Report.h"

#include <optional>
#include <string>

namespace synop {

struct StationPlace {
    std::string name;
    std::string country;
    std::optional<double> lat, lon;  // degrees, north and east positive
    std::optional<int> elevationM;
    bool reportedPosition = false;   // lat/lon come from the report itself
    // The list entry name and country were copied from: a place used again
    // for the same station keeps them without copying.
    const void* listedAs = nullptr;

    bool hasPosition() const { return lat && lon; }
};

StationPlace stationPlace(const DecodedReport& report);
// The same into a place the caller keeps, whose strings are used again.
void stationPlace(const DecodedReport& report, StationPlace& place);

}  // namespace synop
