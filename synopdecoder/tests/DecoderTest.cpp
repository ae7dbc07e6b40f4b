// The rules of the land, ship and buoy forms that decoders commonly get wrong.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace synop;
using synop::testing::decodeLand;
using synop::testing::decodeText;
using synop::testing::hasWarning;

TEST(LandSectionOne, HighStationGivesGeopotentialNotSeaLevelPressure)
{
    const auto r = decodeLand("11518 12970 61512 10062 21011 38543 48456 52004");
    EXPECT_FALSE(r.seaLevelPressureHpa);
    EXPECT_EQ(r.geopotentialHpa, 850);
    EXPECT_EQ(r.geopotentialM, 1456);
    EXPECT_DOUBLE_EQ(*r.stationPressureHpa, 854.3);
    EXPECT_EQ(decodeLand("11518 12970 61512 47520").geopotentialM, 2520);  // 700 hPa
    EXPECT_EQ(decodeLand("11518 12970 61512 45558").geopotentialM, 5580);  // 500 hPa in decametres
    EXPECT_DOUBLE_EQ(*decodeLand("10015 12970 61512 49987").seaLevelPressureHpa, 998.7);
    EXPECT_DOUBLE_EQ(*decodeLand("10015 12970 61512 40012").seaLevelPressureHpa, 1001.2);
}

TEST(LandSectionOne, HumidityGroupReplacesDewPoint)
{
    const auto r = decodeLand("10015 12970 61512 10062 29085");
    EXPECT_EQ(r.relHumidityPct, 85);
    EXPECT_FALSE(r.dewPointC);
    EXPECT_TRUE(hasWarning(decodeLand("10015 12970 61512 10062 29105"), "humidity"));
}

TEST(LandSectionOne, WindOfNinetyNineUnitsComesFromTheExtraGroup)
{
    auto r = decodeLand("10015 12970 82799 00105 10062", "08064");
    EXPECT_EQ(r.windSpeed, 105);
    EXPECT_EQ(r.windUnit, "kt");
    EXPECT_EQ(r.windDirDeg, 270);
    EXPECT_DOUBLE_EQ(*r.airTempC, 6.2);  // 00fff is not taken for a section 1 group

    r = decodeLand("10015 12970 82799 10062");
    EXPECT_FALSE(r.windSpeed);
    EXPECT_EQ(r.cloudCoverOkta, 8);
    EXPECT_DOUBLE_EQ(*r.airTempC, 6.2);
}

TEST(LandSectionOne, WindDirectionRules)
{
    EXPECT_EQ(decodeLand("10015 12970 80000").windDirDeg, 0);  // calm
    EXPECT_TRUE(decodeLand("10015 12970 89904").windVariable);
    const auto calmWithSpeed = decodeLand("10015 12970 80012 10062");
    EXPECT_FALSE(calmWithSpeed.windSpeed);
    EXPECT_TRUE(hasWarning(calmWithSpeed, "calm"));
    EXPECT_FALSE(decodeLand("10015 12970 84512").windDirDeg);  // 450 degrees
    const auto noDirection = decodeLand("10015 12970 8//12");
    EXPECT_FALSE(noDirection.windDirDeg);
    EXPECT_EQ(noDirection.windSpeed, 12);
    // Without a valid wind indicator the speed has no unit and is left out.
    const auto noUnit = decodeLand("10015 12970 82712", "0806/");
    EXPECT_EQ(noUnit.windDirDeg, 270);
    EXPECT_FALSE(noUnit.windSpeed);
    EXPECT_FALSE(noUnit.windUnit);
}

TEST(LandSectionOne, PrecipitationFollowsTheIndicator)
{
    auto r = decodeLand("10015 12970 61512 69901");
    EXPECT_TRUE(r.precipTrace);
    EXPECT_EQ(r.precipMm, 0.0);  // a trace is 0.0 mm, flagged
    EXPECT_EQ(r.precipPeriodH, 6);
    EXPECT_DOUBLE_EQ(*decodeLand("10015 12970 61512 69934").precipMm, 0.3);
    EXPECT_EQ(decodeLand("10015 12970 61512 60122").precipPeriodH, 12);

    r = decodeLand("10015 41970 61512 60051 70322");  // iR 4: not observed
    EXPECT_FALSE(r.precipMm);
    EXPECT_TRUE(hasWarning(r, "60051"));
    EXPECT_EQ(r.presentWeatherCode, 3);  // the rest still decoded

    r = decodeLand("10015 22970 61512 10062 333 60051");  // iR 2: section 3 carries it, under its own keys
    EXPECT_FALSE(r.precipMm);
    EXPECT_DOUBLE_EQ(*r.precipSection3Mm, 5);
    EXPECT_EQ(r.precipSection3PeriodH, 6);
    EXPECT_FALSE(r.precipSection3Trace);

    // Both sections, each with its period; traces; the 24-hour total.
    r = decodeLand("10015 02970 61512 10062 60121 333 69907 70125");
    EXPECT_DOUBLE_EQ(*r.precipMm, 12);
    EXPECT_EQ(r.precipPeriodH, 6);
    EXPECT_EQ(r.precipSection3Mm, 0.0);
    EXPECT_TRUE(r.precipSection3Trace);
    EXPECT_FALSE(r.precipTrace);
    EXPECT_DOUBLE_EQ(*r.precip24hMm, 12.5);
    r = decodeLand("10015 02970 61512 10062 60001 333 79999");
    EXPECT_EQ(r.precipMm, 0.0);
    EXPECT_FALSE(r.precipTrace);
    EXPECT_EQ(r.precip24hMm, 0.0);
    EXPECT_TRUE(r.precip24hTrace);
    EXPECT_EQ(r.weatherIndicator, 2);
    EXPECT_EQ(r.precipIndicator, 0);
}

TEST(LandSectionOne, WeatherGroupFollowsTheStationType)
{
    EXPECT_EQ(decodeLand("10015 11970 61512 76182").presentWeatherCode, 61);
    auto r = decodeLand("10015 12970 61512 76182");  // ix 2: nothing to report
    EXPECT_FALSE(r.presentWeatherCode);
    EXPECT_TRUE(hasWarning(r, "ix = 2"));
    r = decodeLand("10015 17970 61512 76162");
    EXPECT_EQ(r.presentWeatherCode, 61);
    EXPECT_EQ(r.presentWeatherText, "rain");  // automatic table
    ASSERT_TRUE(r.pastWeather);
    EXPECT_EQ((*r.pastWeather)[0], 6);
    EXPECT_EQ((*r.pastWeather)[1], 2);
}

TEST(LandSectionOne, TendencySignAndVisibilityBoundaries)
{
    EXPECT_DOUBLE_EQ(*decodeLand("10015 12970 61512 57015").pressureChangeHpa, -1.5);
    EXPECT_DOUBLE_EQ(*decodeLand("10015 12970 61512 52015").pressureChangeHpa, 1.5);
    EXPECT_TRUE(hasWarning(decodeLand("10015 12970 61512 59015"), "59015"));
    EXPECT_EQ(decodeLand("10015 12900 61512").visibilityM, 100);
    EXPECT_EQ(decodeLand("10015 12989 61512").visibilityM, 70000);
    EXPECT_EQ(decodeLand("10015 12999 61512").visibilityM, 50000);
    EXPECT_EQ(decodeLand("10015 12966 61512").visibilityM, 16000);
    EXPECT_EQ(decodeLand("10015 12982 61512").visibilityM, 40000);
    EXPECT_FALSE(decodeLand("10015 12953 61512").visibilityM);
}

TEST(LandSectionOne, TemperaturesAndPlausibility)
{
    auto r = decodeLand("10015 12970 61512 11000 21012");
    EXPECT_DOUBLE_EQ(*r.airTempC, 0.0);
    EXPECT_FALSE(std::signbit(*r.airTempC));
    EXPECT_DOUBLE_EQ(*r.dewPointC, -1.2);

    r = decodeLand("10015 12970 61512 10062 20085 30123");  // dew point above the air
    EXPECT_FALSE(r.dewPointC);
    EXPECT_DOUBLE_EQ(*r.stationPressureHpa, 1012.3);
    EXPECT_TRUE(hasWarning(r, "dew point above"));

    r = decodeLand("10015 12970 61512 10950 33000 40500");
    EXPECT_FALSE(r.airTempC);
    EXPECT_FALSE(r.stationPressureHpa);  // 300 hPa at a station
    EXPECT_DOUBLE_EQ(*r.seaLevelPressureHpa, 1050.0);
    EXPECT_EQ(r.warnings.size(), 2u);
}

TEST(LandSectionOne, GarbledGroupsAreDroppedAndTheRestDecoded)
{
    const auto r = decodeLand("10015 11970 61512 1006 20039 3996 40012 40013 2/039 57008 X7 78582");
    EXPECT_FALSE(r.airTempC);
    EXPECT_DOUBLE_EQ(*r.dewPointC, 3.9);
    EXPECT_DOUBLE_EQ(*r.seaLevelPressureHpa, 1001.2);
    EXPECT_DOUBLE_EQ(*r.pressureChangeHpa, -0.8);
    EXPECT_EQ(r.presentWeatherCode, 85);
    EXPECT_EQ(r.warnings.size(), 5u);  // 1006, 3996, repeated 4, 2/039 out of order, X7
}

TEST(LandSectionThree, RadiationAfterSunshineIsNotMinimumTemperature)
{
    auto r = decodeLand("10015 42970 61512 10062 333 10067 20011 55083 20512 30053 81830");
    EXPECT_DOUBLE_EQ(*r.maxTempC, 6.7);
    EXPECT_DOUBLE_EQ(*r.minTempC, 1.1);
    EXPECT_TRUE(r.warnings.empty());
    r = decodeLand("10015 42970 61512 10062 333 55300 20512");
    EXPECT_FALSE(r.minTempC);
    // With precipitation due in section 3, a 6 after the radiation groups is rainfall.
    r = decodeLand("10015 22970 61512 10062 333 55083 20512 60102");
    EXPECT_DOUBLE_EQ(*r.precipSection3Mm, 10);
    EXPECT_EQ(r.precipSection3PeriodH, 12);
    // Two 6 groups: the short-wave radiation, then the last hour's 3 mm.
    r = decodeLand("10015 22970 61512 10062 333 55047 20890 60004 60035");
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    EXPECT_DOUBLE_EQ(*r.precipSection3Mm, 3);
    EXPECT_EQ(r.precipSection3PeriodH, 1);
    // The same after the hourly sunshine group.
    r = decodeLand("10015 22970 61512 10062 333 55307 20890 60004 60015");
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    EXPECT_DOUBLE_EQ(*r.precipSection3Mm, 1);
}

TEST(LandSectionThree, RepeatableAndOrderedGroups)
{
    const auto r = decodeLand("10015 42970 61512 333 21011 10067 81830 83360 91108 91215 555 10123 =");
    EXPECT_DOUBLE_EQ(*r.minTempC, -1.1);
    EXPECT_FALSE(r.maxTempC);  // came after the minimum
    EXPECT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.groups.back().meaning.rfind("section 5", 0), 0u);
}

TEST(Nil, NilReportsCarryNoValues)
{
    const auto r = decodeLand("10035 NIL");
    EXPECT_TRUE(r.nil);
    EXPECT_EQ(r.station, "10035");
    EXPECT_FALSE(r.airTempC);
    EXPECT_EQ(r.day, 8);
}

TEST(Ship, PositionQuadrantsAndSeaSection)
{
    const auto reports = decodeText("BBXX\r\nDBBI 08064 99512 70123 41/98 62115 10084 40152 22254 00103 20805 =\r\n"
                                    "PBKZ 08064 99012 50123 41/98 62115 11004 222// 01012=\r\n");
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].station, "DBBI");
    EXPECT_DOUBLE_EQ(*reports[0].lat, 51.2);
    EXPECT_DOUBLE_EQ(*reports[0].lon, -12.3);
    EXPECT_EQ(reports[0].windUnit, "kt");
    EXPECT_DOUBLE_EQ(*reports[0].seaSurfaceTempC, 10.3);
    EXPECT_DOUBLE_EQ(*reports[1].lat, -1.2);
    EXPECT_DOUBLE_EQ(*reports[1].lon, -12.3);
    EXPECT_DOUBLE_EQ(*reports[1].seaSurfaceTempC, -1.2);
    EXPECT_DOUBLE_EQ(*reports[1].airTempC, -0.4);
}

TEST(Buoy, SectionsZeroToTwo)
{
    const auto reports = decodeText("ZZYY 62001 08126 0600/ 145123 004567 6112/ 111// 02315 10084 20041 "
                                    "40152 222// 00103 11005 333 8887/ 444 12345=\r\n");
    ASSERT_EQ(reports.size(), 1u);
    const DecodedReport& r = reports[0];
    EXPECT_EQ(r.form, ReportForm::Buoy);
    EXPECT_EQ(r.station, "62001");
    EXPECT_EQ(r.day, 8);
    EXPECT_EQ(r.month, 12);
    EXPECT_EQ(r.hour, 6);
    EXPECT_DOUBLE_EQ(*r.lat, 45.123);
    EXPECT_DOUBLE_EQ(*r.lon, 4.567);
    EXPECT_EQ(r.windDirDeg, 230);
    EXPECT_FALSE(r.windSpeed);  // no wind unit in this report
    EXPECT_DOUBLE_EQ(*r.airTempC, 8.4);
    EXPECT_DOUBLE_EQ(*r.dewPointC, 4.1);
    EXPECT_DOUBLE_EQ(*r.seaLevelPressureHpa, 1015.2);
    EXPECT_DOUBLE_EQ(*r.seaSurfaceTempC, 10.3);
    EXPECT_FALSE(r.cloudCoverOkta);
}

TEST(LandGroupsNine, TimeCloudsSnowAndDailyPrecipitation)
{
    auto r = decodeLand("10015 11970 61512 78582 86363 90550 333 41012 70123 69907");
    EXPECT_EQ(r.lowCloud, 3);
    EXPECT_EQ(r.middleCloud, 6);
    EXPECT_EQ(r.highCloud, 3);
    EXPECT_EQ(r.warnings.size(), 1u);  // the section 3 precipitation group below
    auto meaningOf = [&](const std::string& group) {
        for (const auto& g : r.groups)
            if (g.group == group) return g.meaning;
        return std::string("missing");
    };
    EXPECT_EQ(meaningOf("90550"), "observed at 05:50 UTC");
    EXPECT_NE(meaningOf("41012").find("snow depth 12 cm"), std::string::npos);
    EXPECT_EQ(meaningOf("70123"), "12.3 mm of precipitation in 24 hours");
    EXPECT_FALSE(r.precipMm);  // section 3 amount, but iR 1 keeps it to section 1
    EXPECT_TRUE(hasWarning(r, "69907"));

    r = decodeLand("10015 11970 31512 86363 92570");
    EXPECT_TRUE(hasWarning(r, "exceeds the total cover"));  // 6 oktas of low cloud under 3 in all
    EXPECT_TRUE(hasWarning(r, "92570"));                     // 25:70 is no time
}

TEST(LandNoise, LostStationIndexAndSectionMarker)
{
    // The station index faded out: no other station's identity is invented.
    auto r = decodeLand("41889 20917 10065 20001 39794");
    EXPECT_EQ(r.station, "");
    EXPECT_TRUE(hasWarning(r, "station index lost"));
    EXPECT_EQ(r.windDirDeg, 90);
    EXPECT_DOUBLE_EQ(*r.airTempC, 6.5);
    // Station indices that look like an iRixhVV group are still stations.
    r = decodeLand("03005 12970 61512 10062");
    EXPECT_EQ(r.station, "03005");
    EXPECT_TRUE(r.warnings.empty());

    r = decodeLand("10548 11860 63325 10232 33 10265 20188");
    EXPECT_DOUBLE_EQ(*r.maxTempC, 26.5);
    EXPECT_DOUBLE_EQ(*r.minTempC, 18.8);
    EXPECT_TRUE(hasWarning(r, "read as the section 3 marker"));
}
