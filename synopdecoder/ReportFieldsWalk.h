#pragma once
// The walk over a report's keys as a template, so that a sink whose type is
// known (the JSON writer) gets its calls inlined, its keys copied as
// constants; writeReportFields is the same walk for any FieldSink.
#include "synopdecoder/FieldWriters.h"
#include "synopdecoder/ReportFields.h"

namespace synop {
namespace detail {

template <typename Sink, typename T>
PLUVANE_INLINE void putValue(Sink& sink, std::string_view key, const std::optional<T>& value)
{
    if (!value) return;
    if constexpr (std::is_floating_point_v<T>) sink.number(key, *value);
    else sink.integer(key, *value);
}

// Text the program made itself: a sink that can take it without a look at
// every byte (the JSON writer) does.
template <typename Sink>
PLUVANE_INLINE void putOwnText(Sink& sink, std::string_view key, std::string_view ascii)
{
    if constexpr (requires { sink.ownText(key, ascii); }) sink.ownText(key, ascii);
    else sink.text(key, ascii);
}

}  // namespace detail

template <typename Sink>
void walkReportFields(const DecodedReport& r, Sink& sink, const PlaceFields* placed)
{
    detail::putOwnText(sink, "report_type", reportFormCode(r.form));
    sink.text("station", r.station);
    if (placed && !placed->place.name.empty()) sink.text("station_name", placed->place.name);
    if (placed && !placed->place.country.empty()) sink.text("country", placed->place.country);
    detail::putValue(sink, "day", r.day);
    detail::putValue(sink, "hour", r.hour);
    if (r.form == ReportForm::Buoy) detail::putValue(sink, "month", r.month);
    if (placed && placed->place.hasPosition()) {
        sink.number("lat", *placed->place.lat);
        sink.number("lon", *placed->place.lon);
    } else {
        detail::putValue(sink, "lat", r.lat);
        detail::putValue(sink, "lon", r.lon);
    }
    if (placed) detail::putValue(sink, "elevation_m", placed->place.elevationM);
    if (placed && placed->observedMs) {
        // 64, not 32: the time is at most 32 bytes, but GCC cannot see that and
        // warns (-Warray-bounds) of the short copy's branch for texts over 32.
        char iso[64];
        detail::putOwnText(sink, "observed_utc", std::string_view(iso, writeIsoUtc(iso, *placed->observedMs)));
    }
    if (r.windSpeed && r.windUnit) sink.text("wind_unit", *r.windUnit);
    if (r.windVariable) sink.text("wind_dir_deg", "VRB");
    else detail::putValue(sink, "wind_dir_deg", r.windDirDeg);
    if (r.windUnit) detail::putValue(sink, "wind_speed", r.windSpeed);
    detail::putValue(sink, "cloud_cover_okta", r.cloudCoverOkta);
    detail::putValue(sink, "visibility_m", r.visibilityM);
    detail::putValue(sink, "air_temp_c", r.airTempC);
    detail::putValue(sink, "dew_point_c", r.dewPointC);
    detail::putValue(sink, "rel_humidity_pct", r.relHumidityPct);
    detail::putValue(sink, "max_temp_c", r.maxTempC);
    detail::putValue(sink, "min_temp_c", r.minTempC);
    detail::putValue(sink, "station_pressure_hpa", r.stationPressureHpa);
    detail::putValue(sink, "sea_level_pressure_hpa", r.seaLevelPressureHpa);
    detail::putValue(sink, "geopotential_hpa", r.geopotentialHpa);
    detail::putValue(sink, "geopotential_m", r.geopotentialM);
    detail::putValue(sink, "pressure_tendency", r.pressureTendency);
    detail::putValue(sink, "pressure_change_hpa", r.pressureChangeHpa);
    detail::putValue(sink, "precip_indicator", r.precipIndicator);
    detail::putValue(sink, "precip_mm", r.precipMm);
    detail::putValue(sink, "precip_period_h", r.precipPeriodH);
    if (r.precipTrace) sink.boolean("precip_trace", true);
    detail::putValue(sink, "precip_section3_mm", r.precipSection3Mm);
    detail::putValue(sink, "precip_section3_period_h", r.precipSection3PeriodH);
    if (r.precipSection3Trace) sink.boolean("precip_section3_trace", true);
    detail::putValue(sink, "precip_24h_mm", r.precip24hMm);
    if (r.precip24hTrace) sink.boolean("precip_24h_trace", true);
    detail::putValue(sink, "weather_indicator", r.weatherIndicator);
    if (r.presentWeatherCode || r.pastWeather)
        detail::putOwnText(sink, "weather_code_table", r.weatherIndicator == 7 ? "automatic" : "manned");
    detail::putValue(sink, "present_weather_code", r.presentWeatherCode);
    if (r.pastWeather) {
        sink.beginArray("past_weather");
        for (const auto& w : *r.pastWeather) {
            if (w) sink.integer({}, *w);
            else sink.null({});
        }
        sink.endArray();
    }
    detail::putValue(sink, "sea_surface_temp_c", r.seaSurfaceTempC);
    writeSeaFields(r, sink);
    if (r.nil) sink.boolean("nil", true);
    sink.beginArray("warnings");
    for (const std::string& w : r.warnings) sink.text({}, w);
    sink.endArray();
    sink.text("raw", r.raw);
    if constexpr (requires { sink.headingObject("header", *r.heading); }) {
        if (r.heading) sink.headingObject("header", *r.heading);
    } else if (r.heading) {
        sink.beginObject("header");
        sink.text("ttaaii", r.heading->ttaaii);
        sink.text("cccc", r.heading->cccc);
        sink.text("yygggg", r.heading->yygggg);
        sink.text("bbb", r.heading->bbb);
        sink.endObject();
    }
}


}  // namespace synop
