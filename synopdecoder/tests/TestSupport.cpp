#include "TestSupport.h"

#include "synopdecoder/ReportFields.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace synop::testing {

const char kPlacedTraffic[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n"
                                "99999 41460 72315 10056=\r\n"
                                "BBXX\r\nDBBI 08064 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n";

const QSet<QString> kReportKeys = {
    "report_type", "station", "day", "hour", "month", "lat", "lon", "wind_unit", "wind_dir_deg", "wind_speed",
    "cloud_cover_okta", "visibility_m", "air_temp_c", "dew_point_c", "rel_humidity_pct", "max_temp_c",
    "min_temp_c", "station_pressure_hpa", "sea_level_pressure_hpa", "geopotential_hpa", "geopotential_m",
    "pressure_tendency", "pressure_change_hpa", "precip_mm", "precip_period_h", "precip_trace",
    "present_weather_code", "past_weather", "sea_surface_temp_c", "nil", "warnings", "raw", "header",
    "precip_section3_mm", "precip_section3_period_h", "precip_section3_trace", "precip_24h_mm", "precip_24h_trace",
    "precip_indicator", "weather_indicator", "weather_code_table",
};
const QSet<QString> kPlaceKeys = {"station_name", "country", "elevation_m", "observed_utc"};

QJsonArray checkedGeoJsonPoints(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject collection = doc.object();
    EXPECT_EQ(collection.value("type").toString(), "FeatureCollection");
    EXPECT_TRUE(collection.value("features").isArray());
    const QJsonArray features = collection.value("features").toArray();
    for (const QJsonValue& value : features) {
        const QJsonObject feature = value.toObject();
        EXPECT_EQ(feature.value("type").toString(), "Feature");
        EXPECT_TRUE(feature.value("properties").isObject());
        const QJsonObject geometry = feature.value("geometry").toObject();
        EXPECT_EQ(geometry.value("type").toString(), "Point");
        const QJsonArray position = geometry.value("coordinates").toArray();
        EXPECT_EQ(position.size(), 2);
        EXPECT_TRUE(position[0].isDouble() && position[1].isDouble());
        // [longitude, latitude], and the properties say the same.
        EXPECT_GE(position[0].toDouble(), -180.0);
        EXPECT_LE(position[0].toDouble(), 180.0);
        EXPECT_GE(position[1].toDouble(), -90.0);
        EXPECT_LE(position[1].toDouble(), 90.0);
        EXPECT_DOUBLE_EQ(position[0].toDouble(), feature.value("properties").toObject().value("lon").toDouble());
        EXPECT_DOUBLE_EQ(position[1].toDouble(), feature.value("properties").toObject().value("lat").toDouble());
    }
    return features;
}

std::vector<DecodedReport> decodeText(const std::string& text, size_t chunkSize, AssemblerOptions options)
{
    std::vector<DecodedReport> reports;
    StreamAssembler assembler([&](AssembledReport&& r) { reports.push_back(decodeReport(r)); }, options);
    if (chunkSize == 0) chunkSize = text.size() + 1;
    for (size_t at = 0; at < text.size(); at += chunkSize) assembler.feed(std::string_view(text).substr(at, chunkSize));
    assembler.finish();
    return reports;
}

DecodedReport decodeLand(const std::string& report, const std::string& dateGroup)
{
    const auto reports = decodeText("AAXX " + dateGroup + "\r\n" + report + "=\r\n");
    EXPECT_EQ(reports.size(), 1u) << report;
    return reports.empty() ? DecodedReport{} : reports.front();
}

QByteArray readCorpus(const char* name)
{
    QFile file(QStringLiteral(SYNOP_CORPUS_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

namespace {

// The fields as a tree of Qt's JSON values.
class JsonObjectBuilder final : public FieldSink {
public:
    QJsonObject take() { return std::move(stack_.front().object); }
    void integer(std::string_view key, long long value) override { put(key, QJsonValue(static_cast<qint64>(value))); }
    void number(std::string_view key, double value) override { put(key, value); }
    void text(std::string_view key, std::string_view utf8) override
    {
        put(key, QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    }
    void boolean(std::string_view key, bool value) override { put(key, value); }
    void null(std::string_view key) override { put(key, QJsonValue()); }
    void beginObject(std::string_view key) override { stack_.push_back({qKey(key), false, {}, {}}); }
    void endObject() override
    {
        Level done = std::move(stack_.back());
        stack_.pop_back();
        put(done.key.toStdString(), done.object);
    }
    void beginArray(std::string_view key) override { stack_.push_back({qKey(key), true, {}, {}}); }
    void endArray() override
    {
        Level done = std::move(stack_.back());
        stack_.pop_back();
        put(done.key.toStdString(), done.list);
    }

private:
    struct Level {
        QString key;
        bool array;
        QJsonObject object;
        QJsonArray list;
    };
    static QString qKey(std::string_view key) { return QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size())); }
    void put(std::string_view key, const QJsonValue& value)
    {
        Level& level = stack_.back();
        if (level.array) level.list.append(value);
        else level.object.insert(qKey(key), value);
    }
    std::vector<Level> stack_{Level{{}, false, {}, {}}};
};

}  // namespace

QJsonObject reportToJson(const DecodedReport& report)
{
    JsonObjectBuilder builder;
    writeReportFields(report, builder);
    return builder.take();
}

bool hasWarning(const DecodedReport& report, const std::string& part)
{
    for (const std::string& w : report.warnings)
        if (w.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace synop::testing
