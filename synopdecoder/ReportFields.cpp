#include "synopdecoder/ReportFields.h"

#include "synopdecoder/FieldWriters.h"

namespace synop {
namespace {

template <typename T>
void put(FieldSink& sink, std::string_view key, const std::optional<T>& value)
{
    if (!value) return;
    if constexpr (std::is_floating_point_v<T>) sink.number(key, *value);
    else sink.integer(key, *value);
}

}  // namespace

void writeReportFields(const DecodedReport& r, FieldSink& sink, const PlaceFields* placed)
{
    sink.text("report_type", reportFormCode(r.form));
    sink.text("station", r.station);
    if (placed && !placed->place.name.empty()) sink.text("station_name", placed->place.name);
    if (placed && !placed->place.country.empty()) sink.text("country", placed->place.country);
    put(sink, "day", r.day);
    put(sink, "hour", r.hour);
    if (r.form == ReportForm::Buoy) put(sink, "month", r.month);
    if (placed && placed->place.hasPosition()) {
        sink.number("lat", *placed->place.lat);
        sink.number("lon", *placed->place.lon);
    } else {
        put(sink, "lat", r.lat);
        put(sink, "lon", r.lon);
    }
    if (placed) put(sink, "elevation_m", placed->place.elevationM);
    if (placed && placed->observedUtc.isValid()) {
        char iso[32];
        sink.text("observed_utc", std::string_view(iso, writeIsoUtc(iso, placed->observedUtc)));
    }
    if (r.windSpeed && r.windUnit) sink.text("wind_unit", *r.windUnit);
    if (r.windVariable) sink.text("wind_dir_deg", "VRB");
    else put(sink, "wind_dir_deg", r.windDirDeg);
    if (r.windUnit) put(sink, "wind_speed", r.windSpeed);
    put(sink, "cloud_cover_okta", r.cloudCoverOkta);
    put(sink, "visibility_m", r.visibilityM);
    put(sink, "air_temp_c", r.airTempC);
    put(sink, "dew_point_c", r.dewPointC);
    put(sink, "rel_humidity_pct", r.relHumidityPct);
    put(sink, "max_temp_c", r.maxTempC);
    put(sink, "min_temp_c", r.minTempC);
    put(sink, "station_pressure_hpa", r.stationPressureHpa);
    put(sink, "sea_level_pressure_hpa", r.seaLevelPressureHpa);
    put(sink, "geopotential_hpa", r.geopotentialHpa);
    put(sink, "geopotential_m", r.geopotentialM);
    put(sink, "pressure_tendency", r.pressureTendency);
    put(sink, "pressure_change_hpa", r.pressureChangeHpa);
    put(sink, "precip_indicator", r.precipIndicator);
    put(sink, "precip_mm", r.precipMm);
    put(sink, "precip_period_h", r.precipPeriodH);
    if (r.precipTrace) sink.boolean("precip_trace", true);
    put(sink, "precip_section3_mm", r.precipSection3Mm);
    put(sink, "precip_section3_period_h", r.precipSection3PeriodH);
    if (r.precipSection3Trace) sink.boolean("precip_section3_trace", true);
    put(sink, "precip_24h_mm", r.precip24hMm);
    if (r.precip24hTrace) sink.boolean("precip_24h_trace", true);
    put(sink, "weather_indicator", r.weatherIndicator);
    if (r.presentWeatherCode || r.pastWeather)
        sink.text("weather_code_table", r.weatherIndicator == 7 ? "automatic" : "manned");
    put(sink, "present_weather_code", r.presentWeatherCode);
    if (r.pastWeather) {
        sink.beginArray("past_weather");
        for (const auto& w : *r.pastWeather) {
            if (w) sink.integer({}, *w);
            else sink.null({});
        }
        sink.endArray();
    }
    put(sink, "sea_surface_temp_c", r.seaSurfaceTempC);
    writeSeaFields(r, sink);
    if (r.nil) sink.boolean("nil", true);
    sink.beginArray("warnings");
    for (const std::string& w : r.warnings) sink.text({}, w);
    sink.endArray();
    sink.text("raw", r.raw);
    if (r.heading) {
        sink.beginObject("header");
        sink.text("ttaaii", r.heading->ttaaii);
        sink.text("cccc", r.heading->cccc);
        sink.text("yygggg", r.heading->yygggg);
        sink.text("bbb", r.heading->bbb);
        sink.endObject();
    }
}

}  // namespace synop
