// The output that other tools rely on: key names, units and CSV shape.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"
#include "synopdecoder/StationCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::decodeLand;
using synop::testing::kReportKeys;

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
    for (const QString& key : o.keys()) EXPECT_TRUE(kReportKeys.contains(key)) << key.toStdString();
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

