// The keys of a ship's section 2 and a buoy's sections 2 and 3.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/ReportFields.h"

namespace synop {
namespace {

template <typename T>
void put(FieldSink& sink, std::string_view key, const std::optional<T>& value)
{
    if (!value) return;
    if constexpr (std::is_floating_point_v<T>) sink.number(key, *value);
    else sink.integer(key, *value);
}

void putText(FieldSink& sink, std::string_view key, std::string_view text)
{
    if (!text.empty()) sink.text(key, text);
}

void waves(FieldSink& sink, std::string_view key, const WaveTrain& w)
{
    sink.beginObject(key);
    put(sink, "dir_deg", w.directionDeg);
    put(sink, "period_s", w.periodS);
    put(sink, "height_m", w.heightM);
    sink.endObject();
}

}  // namespace

void writeSeaFields(const DecodedReport& r, FieldSink& sink)
{
    put(sink, "ship_course_deg", r.shipCourseDeg);
    put(sink, "ship_speed_kt_min", r.shipSpeedKtMin);
    put(sink, "ship_speed_kt_max", r.shipSpeedKtMax);
    putText(sink, "sea_surface_temp_method", r.seaSurfaceTempMethod);
    if (r.instrumentalWaves) waves(sink, "waves_measured", *r.instrumentalWaves);
    if (r.windWaves) waves(sink, "wind_waves", *r.windWaves);
    if (!r.swells.empty()) {
        sink.beginArray("swell");
        for (const WaveTrain& w : r.swells) waves(sink, {}, w);
        sink.endArray();
    }
    if (r.iceAccretion) {
        sink.beginObject("ice_accretion");
        if (r.iceAccretion->source) putText(sink, "source", tables::iceAccretionSource(*r.iceAccretion->source));
        put(sink, "thickness_cm", r.iceAccretion->thicknessCm);
        if (r.iceAccretion->rate) putText(sink, "rate", tables::iceAccretionRate(*r.iceAccretion->rate));
        sink.endObject();
    }
    put(sink, "wet_bulb_temp_c", r.wetBulbTempC);
    putText(sink, "wet_bulb_method", r.wetBulbMethod);
    if (r.seaIce) {
        sink.beginObject("sea_ice");
        put(sink, "concentration", r.seaIce->concentration);
        put(sink, "development", r.seaIce->development);
        put(sink, "land_origin", r.seaIce->landOrigin);
        put(sink, "bearing", r.seaIce->bearing);
        put(sink, "situation", r.seaIce->situation);
        putText(sink, "text", r.seaIce->plainText);
        sink.endObject();
    }
    put(sink, "salinity_method", r.salinityMethod);
    if (!r.seaProfile.empty()) {
        sink.beginArray("sea_profile");
        for (const ProfileLevel& level : r.seaProfile) {
            sink.beginObject({});
            sink.integer("depth_m", level.depthM);
            put(sink, "temp_c", level.temperatureC);
            put(sink, "salinity_permille", level.salinityPerMille);
            sink.endObject();
        }
        sink.endArray();
    }
    put(sink, "current_method", r.currentMethod);
    put(sink, "current_duration", r.currentDuration);
    if (!r.currents.empty()) {
        sink.beginArray("currents");
        for (const CurrentLevel& level : r.currents) {
            sink.beginObject({});
            sink.integer("depth_m", level.depthM);
            if (level.directionVariable) sink.text("dir_deg", "VRB");
            else put(sink, "dir_deg", level.directionDeg);
            put(sink, "speed_cm_s", level.speedCmS);
            sink.endObject();
        }
        sink.endArray();
    }
}

}  // namespace synop
