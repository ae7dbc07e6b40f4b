// Faults found on real traffic, each shown on the real text it came from
// (tests/data/real). Expected values are worked out from WMO-No. 306.
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace synop;
using synop::testing::decodeText;
using synop::testing::hasWarning;

namespace {

std::vector<std::string> stations(const std::vector<DecodedReport>& reports)
{
    std::vector<std::string> out;
    for (const auto& r : reports) out.push_back(r.station);
    return out;
}

DecodedReport one(const std::string& text)
{
    const auto reports = decodeText(text);
    EXPECT_EQ(reports.size(), 1u) << text;
    return reports.empty() ? DecodedReport{} : reports.front();
}

}  // namespace

TEST(RealFaults, PrecipitationCodeZeroIsNoPrecipitation)
{
    // Code table 3590: RRR = 000 is no precipitation; tR = 1 is 6 hours.
    const auto r = one("AAXX 10003 87649 12560 40502 10196 20096 39950 40194 52001 60001 82106 333 10265 20152 "
                       "56106 82825 555 10204 64162 65090 =\n");
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    ASSERT_TRUE(r.precipMm);
    EXPECT_DOUBLE_EQ(*r.precipMm, 0.0);
    EXPECT_EQ(r.precipPeriodH, 6);
    EXPECT_FALSE(r.precipTrace);
}

TEST(RealFaults, ShipsNumberedAsBuoysOrPlatforms)
{
    // fldigi_103: a BBXX bulletin of moored buoys (A1bwnbnbnb) followed by two ships.
    const std::string bulletin =
        "SNVD01 KWBC 261300 RRK\nBBXX\n"
        "46036 26131 99484 71339 46/// /2103 10107 40103 57005 22200 00095\n11403 70013 333 91203=\n"
        "41024 26131 99338 70785 46/// /0510 10225 40094 53030 91300=\n"
        "44022 26131 99409 70737 46/// /3107 10178 20113 40067 91330 22200\n00199 333 91209 555 11072 22072=\n"
        "44140 26131 99429 70515 46/// ///// 1//// 4//// 5//// 22200 0////\n1//// 70/// 333 912//=\n"
        "PCHM 26134 99525 71298 41298 81617 10110 20100 40132 53001 7//22\n8/7// 22234 00120 20402 80105=\n"
        "PDAN 26134 99552 71314 41298 51909 10090 20045 40120 58020 7//11\n8/7// 22273 00080 2//// 30000 80070=\n";
    const auto reports = decodeText(bulletin);
    ASSERT_EQ(stations(reports), (std::vector<std::string>{"46036", "41024", "44022", "44140", "PCHM", "PDAN"}));
    const DecodedReport& buoy = reports[0];
    EXPECT_EQ(buoy.form, ReportForm::Ship);
    EXPECT_EQ(buoy.day, 26);
    EXPECT_EQ(buoy.hour, 13);
    EXPECT_DOUBLE_EQ(*buoy.lat, 48.4);
    EXPECT_DOUBLE_EQ(*buoy.lon, -133.9);  // Qc = 7: north and west
    EXPECT_EQ(buoy.windDirDeg, 210);
    EXPECT_EQ(buoy.windSpeed, 3);
    EXPECT_EQ(buoy.windUnit, "m/s");
    EXPECT_DOUBLE_EQ(*buoy.airTempC, 10.7);
    EXPECT_DOUBLE_EQ(*buoy.seaLevelPressureHpa, 1010.3);
    EXPECT_DOUBLE_EQ(*buoy.pressureChangeHpa, -0.5);
    EXPECT_DOUBLE_EQ(*buoy.seaSurfaceTempC, 9.5);
    EXPECT_TRUE(buoy.warnings.empty());
    EXPECT_DOUBLE_EQ(*reports[1].pressureChangeHpa, 3.0);
    EXPECT_DOUBLE_EQ(*reports[1].lon, -78.5);

    // fldigi_029: a numbered report with neither heading nor BBXX line.
    const auto bare = one("13600 20123 99328 70293 46/// ///// 40331 52003\n222// 00200;\n");
    EXPECT_EQ(bare.form, ReportForm::Ship);
    EXPECT_EQ(bare.station, "13600");
    EXPECT_DOUBLE_EQ(*bare.lat, 32.8);
    EXPECT_DOUBLE_EQ(*bare.lon, -29.3);
    EXPECT_DOUBLE_EQ(*bare.seaLevelPressureHpa, 1033.1);
    EXPECT_DOUBLE_EQ(*bare.seaSurfaceTempC, 20.0);
}

TEST(RealFaults, LineOfSectionThreeGroupsContinuesTheReportAbove)
{
    // Ogimet, 89034 on the 10th at 00 UTC, broken after its 333: "11065 21128
    // 90549" looks like a station index, an iRixhVV and an Nddff.
    const auto sectionThree = decodeText("AAXX 10004\r\n"
                                         "89034 31900 01845 11126 21170 39414 49733 55049 73933 333\r\n"
                                         "11065 21128 90549 92739 92817 92953 95190 555 51855 =\r\n");
    ASSERT_EQ(stations(sectionThree), (std::vector<std::string>{"89034"}));
    EXPECT_DOUBLE_EQ(*sectionThree[0].maxTempC, -6.5);
    EXPECT_DOUBLE_EQ(*sectionThree[0].minTempC, -12.8);
    EXPECT_TRUE(sectionThree[0].warnings.empty());

    // Broken inside section 1: "10201 20145 30192" would be a station 10201.
    const auto sectionOne = decodeText("AAXX 10054\n87582 42960 00615\n10201 20145 30192 40199 51004 555 10199 =\n");
    ASSERT_EQ(stations(sectionOne), (std::vector<std::string>{"87582"}));
    EXPECT_DOUBLE_EQ(*sectionOne[0].airTempC, 20.1);

    // A real next report after a lost '=' still starts a report of its own.
    const auto lostEnd = decodeText("AAXX 10054\n87582 42960 00615 10201 20145 30192 40199 51004 555 10199\n"
                                    "87582 42960 01012 10208 20166 30192 40199 51003 555 10199 =\n");
    EXPECT_EQ(lostEnd.size(), 2u);
}

TEST(RealFaults, ShiftedGroupsAreNoticedNotReadInPlace)
{
    // Station index repeated: read in place, 87544 would be the iRixhVV and
    // 11565 the wind.
    const auto repeated = one("AAXX 09184 87544 87544 11565 70509 10231 20165 30088 40190 58015 69961 70162 82570 "
                              "333 56160 82624 87360 555 10191 =\n");
    EXPECT_TRUE(hasWarning(repeated, "station index repeated"));
    EXPECT_EQ(repeated.visibilityM, 15000);  // VV = 65
    EXPECT_EQ(repeated.cloudCoverOkta, 7);
    EXPECT_EQ(repeated.windDirDeg, 50);
    EXPECT_EQ(repeated.windSpeed, 9);
    EXPECT_DOUBLE_EQ(*repeated.airTempC, 23.1);
    EXPECT_DOUBLE_EQ(*repeated.seaLevelPressureHpa, 1019.0);
    EXPECT_EQ(repeated.warnings.size(), 1u);

    // iRixhVV lost: 52505 is the wind, 10300 the air temperature.
    const auto noIndicators = one("AAXX 11183 87719 52505 10300 20192 39808 40108 57003 81204 333 56707 57822 "
                                  "81850 83080 =\n");
    EXPECT_TRUE(hasWarning(noIndicators, "iRixhVV group missing"));
    EXPECT_EQ(noIndicators.windDirDeg, 250);
    EXPECT_EQ(noIndicators.windSpeed, 5);
    EXPECT_DOUBLE_EQ(*noIndicators.airTempC, 30.0);
    EXPECT_FALSE(noIndicators.visibilityM);

    // Nddff lost: in place, 10182 would be a wind of 82 kt from 010 degrees.
    const auto noWind = one("AAXX 13183 87774 32682 10182 21023 39144 49501 55005 81535 333 56000 81636 83270 "
                            "555 10169 =\n");
    EXPECT_TRUE(hasWarning(noWind, "Nddff group missing"));
    EXPECT_FALSE(noWind.windSpeed);
    EXPECT_FALSE(noWind.cloudCoverOkta);
    EXPECT_DOUBLE_EQ(*noWind.airTempC, 18.2);
    EXPECT_DOUBLE_EQ(*noWind.dewPointC, -2.3);
    EXPECT_EQ(noWind.visibilityM, 40000);  // VV = 82

    // The same station with a calm wind and no air temperature: read as it stands,
    // since the shifted reading would put the dew point above the air temperature.
    const auto calm = one("AAXX 10133 87774 42982 10000 20086 39166 48/// 50008 80001 333 56006 81070 555 10194 =\n");
    EXPECT_TRUE(calm.warnings.empty()) << calm.warnings.front();
    EXPECT_EQ(calm.windDirDeg, 0);
    EXPECT_EQ(calm.cloudCoverOkta, 1);
    EXPECT_FALSE(calm.airTempC);
    EXPECT_DOUBLE_EQ(*calm.dewPointC, 8.6);

    // A second iRixhVV where the wind should stand.
    const auto extra = one("AAXX 10174 87750 42965 42765 50209 10281 20147 30097 40195 56013 85100 333 56600 "
                           "85856 555 10197 =\n");
    EXPECT_TRUE(hasWarning(extra, "group 42765 dropped: one group too many"));
    EXPECT_EQ(extra.windDirDeg, 20);
    EXPECT_EQ(extra.windSpeed, 9);
    EXPECT_DOUBLE_EQ(*extra.airTempC, 28.1);

    // 333 lost: a second cloud group can only be section 3's.
    const auto noMarker = one("AAXX 10184 87436 31470 73405 10235 20181 39345 4//// 57014 71796 82715 85630 81940 "
                              "83360 555 10176 =\n");
    EXPECT_TRUE(hasWarning(noMarker, "section 3 marker 333 lost before 85630"));
    EXPECT_EQ(noMarker.warnings.size(), 1u);
    EXPECT_EQ(noMarker.lowCloud, 7);
}

TEST(RealFaults, TendencyWithoutCharacteristicHasNoSign)
{
    // Ogimet's first line with the characteristic of its 51004 lost to a solidus.
    const auto r = one("AAXX 10054 87582 42960 00615 10201 20145 30192 40199 5/004 555 10199 =\n");
    EXPECT_FALSE(r.pressureChangeHpa);
    EXPECT_FALSE(r.pressureTendency);
    EXPECT_TRUE(r.warnings.empty());
    const auto steady = one("AAXX 10054 87582 42960 00615 10201 20145 30192 40199 5/000 555 10199 =\n");
    EXPECT_DOUBLE_EQ(*steady.pressureChangeHpa, 0.0);
}

TEST(RealFaults, BuoyAndShipFourGroupIsSeaLevelPressure)
{
    const std::string buoys = "SSVX13 LFVW 241200 RRC\r\r\n"
                              "ZZYY 44723 24077 1200/ 762397 021367 6112/\r\r\n"
                              "11119 0//// 30067 40067 57003\r\r\n22219 00141\r\r\n"
                              "444 20120 24077 1151/ 50101 80060 80006 9////=\r\r\n";
    const auto r = one(buoys);
    EXPECT_DOUBLE_EQ(*r.seaLevelPressureHpa, 1006.7);
    EXPECT_DOUBLE_EQ(*r.stationPressureHpa, 1006.7);
    EXPECT_FALSE(r.geopotentialHpa);
    // In a deep cyclone 4PPPP starts with 8 or 9; on land 48hhh would be the 850 hPa surface.
    std::string deep = buoys;
    deep.replace(deep.find("40067 57003"), 5, "48950");
    const auto cyclone = one(deep);
    EXPECT_DOUBLE_EQ(*cyclone.seaLevelPressureHpa, 895.0);
    EXPECT_FALSE(cyclone.geopotentialHpa);
}
