// The output that other tools rely on: key names, units, CSV shape, and the
// command-line tool reading a bulletin from a pipe.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"
#include "synopdecoder/StationCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::decodeLand;

namespace {

const QSet<QString> kKeys = {
    "report_type", "station", "day", "hour", "month", "lat", "lon", "wind_unit", "wind_dir_deg", "wind_speed",
    "cloud_cover_okta", "visibility_m", "air_temp_c", "dew_point_c", "rel_humidity_pct", "max_temp_c",
    "min_temp_c", "station_pressure_hpa", "sea_level_pressure_hpa", "geopotential_hpa", "geopotential_m",
    "pressure_tendency", "pressure_change_hpa", "precip_mm", "precip_period_h", "precip_trace",
    "present_weather_code", "past_weather", "sea_surface_temp_c", "nil", "warnings", "raw", "header",
};
// What pluvane-synop adds to each report: where the station is and when it observed.
const QSet<QString> kPlaceKeys = {"station_name", "country", "elevation_m", "observed_utc"};

}  // namespace

TEST(Format, JsonValuesAndAbsentKeys)
{
    const QJsonObject o = reportToJson(decodeLand("03005 11970 99904 10062 29085 76182 333 10067"));
    EXPECT_EQ(o.value("station").toString(), "03005");  // leading zero kept
    EXPECT_EQ(o.value("wind_dir_deg").toString(), "VRB");
    EXPECT_EQ(o.value("wind_speed").toInt(), 4);
    EXPECT_EQ(o.value("wind_unit").toString(), "m/s");
    EXPECT_EQ(o.value("rel_humidity_pct").toInt(), 85);
    EXPECT_EQ(o.value("past_weather").toArray(), (QJsonArray{8, 2}));
    EXPECT_FALSE(o.contains("dew_point_c"));
    EXPECT_FALSE(o.contains("month"));
    EXPECT_FALSE(o.contains("precip_trace"));
    EXPECT_FALSE(o.contains("header"));
    for (const QString& key : o.keys()) EXPECT_TRUE(kKeys.contains(key)) << key.toStdString();
}

TEST(Format, CsvQuotesAndColumns)
{
    DecodedReport r = decodeLand("10015 12970 61512 10062 2Q039");
    r.raw = "line one,\nline \"two\"";
    const QByteArray line = reportToCsvLine(r);
    EXPECT_TRUE(line.endsWith("\r\n"));
    EXPECT_TRUE(line.contains("\"line one,\nline \"\"two\"\"\""));
    EXPECT_EQ(csvHeaderLine().count(','), csvColumns().size() - 1);
}

TEST(Stations, BuiltInTablesAreFound)
{
    const StationCatalog& catalog = StationCatalog::builtIn();
    const StationInfo* hamburg = catalog.landStation("10147");
    ASSERT_TRUE(hamburg);
    EXPECT_NE(hamburg->name.find("Hamburg"), std::string::npos);
    EXPECT_EQ(hamburg->country, "Germany");
    EXPECT_NEAR(*hamburg->lat, 53.63, 0.05);
    EXPECT_NEAR(*hamburg->lon, 10.0, 0.1);
    const StationInfo* buoy = catalog.buoy("13001");
    ASSERT_TRUE(buoy);
    EXPECT_DOUBLE_EQ(*buoy->lat, 12.0);
    EXPECT_DOUBLE_EQ(*buoy->lon, -23.0);
    EXPECT_FALSE(catalog.landStation("99999"));
    EXPECT_DOUBLE_EQ(*parseDegrees("008-40W"), -(8 + 40 / 60.0));
}

TEST(CommandLine, DecodesABulletinFromAPipe)
{
    QProcess tool;
    tool.start(QStringLiteral(PLUVANE_SYNOP_CLI), {});
    ASSERT_TRUE(tool.waitForStarted());
    tool.write("ZCZC 001\r\nSMDL01 EDZW 080600\r\nAAXX 08061\r\n10147 12970 61512 10062 21011 30110 40136 52004=\r\n");
    // A live pipe: the report comes out while the input is still open.
    ASSERT_TRUE(tool.waitForReadyRead(10000));
    tool.write("10035 NIL=\r\nNNNN\r\n");
    tool.closeWriteChannel();
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitCode(), 0);
    const QList<QByteArray> lines = tool.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(first.value("station").toString(), "10147");
    EXPECT_DOUBLE_EQ(first.value("air_temp_c").toDouble(), 6.2);
    EXPECT_EQ(first.value("header").toObject().value("ttaaii").toString(), "SMDL01");
    for (const QString& key : first.keys())
        EXPECT_TRUE(kKeys.contains(key) || kPlaceKeys.contains(key)) << key.toStdString();
    EXPECT_EQ(first.value("station_name").toString(), "Hamburg-Fuhlsbuettel");
    EXPECT_TRUE(QJsonDocument::fromJson(lines[1]).object().value("nil").toBool());

    QProcess csv;
    csv.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--csv", "/nonexistent/file.txt"});
    ASSERT_TRUE(csv.waitForFinished(10000));
    EXPECT_EQ(csv.exitCode(), 1);
    EXPECT_TRUE(csv.readAllStandardError().contains("cannot read /nonexistent/file.txt"));
}
