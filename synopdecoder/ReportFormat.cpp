#include "synopdecoder/ReportFormat.h"

#include "synopdecoder/SeaValuesJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace synop {
namespace {

template <typename T>
void put(QJsonObject& o, const char* key, const std::optional<T>& value)
{
    if (value) o.insert(QLatin1String(key), *value);
}

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

QString csvField(const QJsonValue& value)
{
    QString text;
    if (value.isUndefined() || value.isNull()) return text;
    if (value.isString()) text = value.toString();
    else if (value.isBool()) text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    else if (value.isDouble()) text = QString::number(value.toDouble(), 'g', 10);
    else if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& item : value.toArray()) parts << (item.isString() ? item.toString() : csvField(item));
        text = parts.join(QStringLiteral("; "));
    }
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r')) {
        text.replace(u'"', QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text;
}

}  // namespace

QJsonObject reportToJson(const DecodedReport& r)
{
    QJsonObject o;
    o.insert(QStringLiteral("report_type"), QLatin1String(reportFormCode(r.form)));
    o.insert(QStringLiteral("station"), fromStd(r.station));
    put(o, "day", r.day);
    put(o, "hour", r.hour);
    if (r.form == ReportForm::Buoy) put(o, "month", r.month);
    put(o, "lat", r.lat);
    put(o, "lon", r.lon);
    if (r.windSpeed && r.windUnit) o.insert(QStringLiteral("wind_unit"), fromStd(*r.windUnit));
    if (r.windVariable) o.insert(QStringLiteral("wind_dir_deg"), QStringLiteral("VRB"));
    else put(o, "wind_dir_deg", r.windDirDeg);
    if (r.windUnit) put(o, "wind_speed", r.windSpeed);
    put(o, "cloud_cover_okta", r.cloudCoverOkta);
    put(o, "visibility_m", r.visibilityM);
    put(o, "air_temp_c", r.airTempC);
    put(o, "dew_point_c", r.dewPointC);
    put(o, "rel_humidity_pct", r.relHumidityPct);
    put(o, "max_temp_c", r.maxTempC);
    put(o, "min_temp_c", r.minTempC);
    put(o, "station_pressure_hpa", r.stationPressureHpa);
    put(o, "sea_level_pressure_hpa", r.seaLevelPressureHpa);
    put(o, "geopotential_hpa", r.geopotentialHpa);
    put(o, "geopotential_m", r.geopotentialM);
    put(o, "pressure_tendency", r.pressureTendency);
    put(o, "pressure_change_hpa", r.pressureChangeHpa);
    put(o, "precip_mm", r.precipMm);
    put(o, "precip_period_h", r.precipPeriodH);
    if (r.precipTrace) o.insert(QStringLiteral("precip_trace"), true);
    put(o, "present_weather_code", r.presentWeatherCode);
    if (r.pastWeather) {
        QJsonArray past;
        for (const auto& w : *r.pastWeather) past.append(w ? QJsonValue(*w) : QJsonValue());
        o.insert(QStringLiteral("past_weather"), past);
    }
    put(o, "sea_surface_temp_c", r.seaSurfaceTempC);
    putSeaValues(o, r);
    if (r.nil) o.insert(QStringLiteral("nil"), true);
    QJsonArray warnings;
    for (const std::string& w : r.warnings) warnings.append(fromStd(w));
    o.insert(QStringLiteral("warnings"), warnings);
    o.insert(QStringLiteral("raw"), fromStd(r.raw));
    if (r.heading) {
        o.insert(QStringLiteral("header"), QJsonObject{{QStringLiteral("ttaaii"), fromStd(r.heading->ttaaii)},
                                                       {QStringLiteral("cccc"), fromStd(r.heading->cccc)},
                                                       {QStringLiteral("yygggg"), fromStd(r.heading->yygggg)},
                                                       {QStringLiteral("bbb"), fromStd(r.heading->bbb)}});
    }
    return o;
}

QByteArray reportToJsonLine(const DecodedReport& report)
{
    return QJsonDocument(reportToJson(report)).toJson(QJsonDocument::Compact) + '\n';
}

const QStringList& csvColumns()
{
    static const QStringList columns = {
        "report_type", "station", "day", "hour", "month", "lat", "lon", "wind_unit", "wind_dir_deg", "wind_speed",
        "cloud_cover_okta", "visibility_m", "air_temp_c", "dew_point_c", "rel_humidity_pct", "max_temp_c",
        "min_temp_c", "station_pressure_hpa", "sea_level_pressure_hpa", "geopotential_hpa", "geopotential_m",
        "pressure_tendency", "pressure_change_hpa", "precip_mm", "precip_period_h", "precip_trace",
        "present_weather_code", "past_weather", "sea_surface_temp_c", "nil", "warnings", "raw",
        "header_ttaaii", "header_cccc", "header_yygggg", "header_bbb",
    };
    return columns;
}

QByteArray csvHeaderLine() { return csvColumns().join(u',').toUtf8() + "\r\n"; }

QByteArray reportToCsvLine(const DecodedReport& report)
{
    const QJsonObject o = reportToJson(report);
    const QJsonObject header = o.value(QStringLiteral("header")).toObject();
    QStringList fields;
    for (const QString& column : csvColumns()) {
        if (column.startsWith(QStringLiteral("header_"))) fields << csvField(header.value(column.mid(7)));
        else fields << csvField(o.value(column));
    }
    return fields.join(u',').toUtf8() + "\r\n";
}

}  // namespace synop
