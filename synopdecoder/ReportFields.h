#pragma once
// A report's keys and values in the order every output writes them: JSON
// lines, CSV, GeoJSON, KML and the station log's decoded column. One walk
// over the report feeds a sink, so that no output builds a tree of objects
// per report on the way.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace synop {

class FieldSink {
public:
    virtual ~FieldSink() = default;
    // A key is empty for the items of an array.
    virtual void integer(std::string_view key, long long value) = 0;
    virtual void number(std::string_view key, double value) = 0;
    virtual void text(std::string_view key, std::string_view utf8) = 0;
    virtual void boolean(std::string_view key, bool value) = 0;
    virtual void null(std::string_view key) = 0;
    virtual void beginObject(std::string_view key) = 0;
    virtual void endObject() = 0;
    virtual void beginArray(std::string_view key) = 0;
    virtual void endArray() = 0;
};

// Where the station is and when it observed, for the exports: station_name,
// country, lat and lon (a land station's from the list), elevation_m and
// observed_utc join the decoder's keys.
struct PlaceFields {
    const StationPlace& place;
    std::optional<int64_t> observedMs;  // ms since 1970 UTC; none: left out
};

void writeReportFields(const DecodedReport& report, FieldSink& sink, const PlaceFields* place = nullptr);

// Ship section 2 and buoy sections 2 and 3, nested keys.
void writeSeaFields(const DecodedReport& report, FieldSink& sink);

}  // namespace synop
