#include "synopdecoder/SeaValuesJson.h"

#include "synopdecoder/CodeTables.h"

#include <QJsonArray>

namespace synop {
namespace {

template <typename T>
void put(QJsonObject& o, const char* key, const std::optional<T>& value)
{
    if (value) o.insert(QLatin1String(key), *value);
}

void putText(QJsonObject& o, const char* key, std::string_view text)
{
    if (!text.empty()) o.insert(QLatin1String(key), QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

QJsonObject waves(const WaveTrain& w)
{
    QJsonObject o;
    put(o, "dir_deg", w.directionDeg);
    put(o, "period_s", w.periodS);
    put(o, "height_m", w.heightM);
    return o;
}

}  // namespace

void putSeaValues(QJsonObject& o, const DecodedReport& r)
{
    put(o, "ship_course_deg", r.shipCourseDeg);
    put(o, "ship_speed_kt_min", r.shipSpeedKtMin);
    put(o, "ship_speed_kt_max", r.shipSpeedKtMax);
    putText(o, "sea_surface_temp_method", r.seaSurfaceTempMethod);
    if (r.instrumentalWaves) o.insert(QStringLiteral("waves_measured"), waves(*r.instrumentalWaves));
    if (r.windWaves) o.insert(QStringLiteral("wind_waves"), waves(*r.windWaves));
    if (!r.swells.empty()) {
        QJsonArray swells;
        for (const WaveTrain& w : r.swells) swells.append(waves(w));
        o.insert(QStringLiteral("swell"), swells);
    }
    if (r.iceAccretion) {
        QJsonObject ice;
        if (r.iceAccretion->source) putText(ice, "source", tables::iceAccretionSource(*r.iceAccretion->source));
        put(ice, "thickness_cm", r.iceAccretion->thicknessCm);
        if (r.iceAccretion->rate) putText(ice, "rate", tables::iceAccretionRate(*r.iceAccretion->rate));
        o.insert(QStringLiteral("ice_accretion"), ice);
    }
    put(o, "wet_bulb_temp_c", r.wetBulbTempC);
    putText(o, "wet_bulb_method", r.wetBulbMethod);
    if (r.seaIce) {
        QJsonObject ice;
        put(ice, "concentration", r.seaIce->concentration);
        put(ice, "development", r.seaIce->development);
        put(ice, "land_origin", r.seaIce->landOrigin);
        put(ice, "bearing", r.seaIce->bearing);
        put(ice, "situation", r.seaIce->situation);
        putText(ice, "text", r.seaIce->plainText);
        o.insert(QStringLiteral("sea_ice"), ice);
    }
    put(o, "salinity_method", r.salinityMethod);
    if (!r.seaProfile.empty()) {
        QJsonArray levels;
        for (const ProfileLevel& level : r.seaProfile) {
            QJsonObject l{{QStringLiteral("depth_m"), level.depthM}};
            put(l, "temp_c", level.temperatureC);
            put(l, "salinity_permille", level.salinityPerMille);
            levels.append(l);
        }
        o.insert(QStringLiteral("sea_profile"), levels);
    }
    put(o, "current_method", r.currentMethod);
    put(o, "current_duration", r.currentDuration);
    if (!r.currents.empty()) {
        QJsonArray levels;
        for (const CurrentLevel& level : r.currents) {
            QJsonObject l{{QStringLiteral("depth_m"), level.depthM}};
            if (level.directionVariable) l.insert(QStringLiteral("dir_deg"), QStringLiteral("VRB"));
            else put(l, "dir_deg", level.directionDeg);
            put(l, "speed_cm_s", level.speedCmS);
            levels.append(l);
        }
        o.insert(QStringLiteral("currents"), levels);
    }
}

}  // namespace synop
