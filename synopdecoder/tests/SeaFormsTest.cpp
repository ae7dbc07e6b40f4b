// Ship section 2 (FM 13) and buoy sections 2 and 3 (FM 18): the values and
// their JSON keys. Ship bulletins are real (tests/data/real); values are
// worked out from WMO-No. 306 and its code tables.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"

#include <QJsonArray>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::reportToJson;
using synop::testing::decodeText;
using synop::testing::hasWarning;

namespace {

const std::string kShips = "SMVX90 KWBC 281803\r\r\n"
                           "BBXX PHBT 28183 99408 70635 41798 40711 10245 20200 40205 58012\r\r\n"
                           "70211 83026 22254 00230 20202 3//// 4//// 5//// 80214=\r\r\n"
                           "BBXX LAOO5 28183 99416 70413 41/// 92017 10214 20207 40160 56///\r\r\n"
                           "71122 8/600 22214 02108 20302 309// 40804 5//// 80209=\r\r\n"
                           "BBXX 4XIS 28183 99423 70333 43598 81526 10225 2020/ 40200 52020\r\r\n"
                           "881// 22225 20607 314// 40707 80205=\r\r\n";

}  // namespace

TEST(ShipSectionTwo, MovementSeaTemperatureWavesSwellAndWetBulb)
{
    const auto reports = decodeText(kShips);
    ASSERT_EQ(reports.size(), 3u);
    const DecodedReport& phbt = reports[0];
    EXPECT_EQ(phbt.shipCourseDeg, 225);  // Ds = 5: south-west
    EXPECT_EQ(phbt.shipSpeedKtMin, 16);  // vs = 4
    EXPECT_EQ(phbt.shipSpeedKtMax, 20);
    EXPECT_DOUBLE_EQ(*phbt.seaSurfaceTempC, 23.0);
    EXPECT_EQ(phbt.seaSurfaceTempMethod, "intake");
    EXPECT_EQ(phbt.windWaves, (WaveTrain{2.0, 1.0, std::nullopt}));
    EXPECT_TRUE(phbt.swells.empty());  // 3////, 4////, 5////: nothing reported
    EXPECT_DOUBLE_EQ(*phbt.wetBulbTempC, 21.4);
    EXPECT_EQ(phbt.wetBulbMethod, "measured");

    const DecodedReport& laoo5 = reports[1];
    EXPECT_EQ(laoo5.shipCourseDeg, 45);
    EXPECT_EQ(laoo5.seaSurfaceTempMethod, "bucket");  // sn = 2
    EXPECT_DOUBLE_EQ(*laoo5.seaSurfaceTempC, 10.8);
    ASSERT_EQ(laoo5.swells.size(), 1u);
    EXPECT_EQ(laoo5.swells[0], (WaveTrain{8.0, 2.0, 90}));  // 309// then 40804

    const DecodedReport& xis = reports[2];
    EXPECT_EQ(xis.shipSpeedKtMin, 21);
    EXPECT_EQ(xis.windWaves, (WaveTrain{6.0, 3.5, std::nullopt}));
    EXPECT_EQ(xis.swells.at(0), (WaveTrain{7.0, 3.5, 140}));
    for (const auto& r : reports) EXPECT_TRUE(r.warnings.empty()) << r.station << ": " << r.warnings.front();

    const QJsonObject o = reportToJson(laoo5);
    EXPECT_EQ(o.value("ship_course_deg").toInt(), 45);
    EXPECT_EQ(o.value("swell").toArray().at(0).toObject().value("dir_deg").toInt(), 90);
    EXPECT_DOUBLE_EQ(o.value("wind_waves").toObject().value("height_m").toDouble(), 1.0);
    EXPECT_EQ(o.value("sea_surface_temp_method").toString(), "bucket");
}

TEST(ShipSectionTwo, MeasuredWavesIceAccretionAndSeaIce)
{
    // fldigi_103, a moored buoy reporting in FM 13: 70013 refines 11403's height.
    const auto buoy = decodeText("BBXX\n46036 26131 99484 71339 46/// /2103 10107 40103 57005 22200 00095\n"
                                 "11403 70013 333 91203=\n");
    ASSERT_EQ(buoy.size(), 1u);
    EXPECT_EQ(buoy[0].instrumentalWaves, (WaveTrain{14.0, 1.3, std::nullopt}));
    EXPECT_EQ(buoy[0].shipCourseDeg, 0);  // stationary
    EXPECT_FALSE(buoy[0].shipSpeedKtMin);

    // A trawler icing up in spray, 5 cm building up slowly, in ice of
    // concentration 5 with the ice edge to the north-east.
    const auto icing = decodeText("BBXX\nTFAB 12064 99665 10225 41496 83620 11052 21067 40012 57018 22232 01006 "
                                  "20405 61051 81058 ICE 51013=\n");
    ASSERT_EQ(icing.size(), 1u);
    const DecodedReport& r = icing[0];
    EXPECT_DOUBLE_EQ(*r.seaSurfaceTempC, -0.6);
    ASSERT_TRUE(r.iceAccretion);
    EXPECT_EQ(r.iceAccretion->source, 1);
    EXPECT_EQ(r.iceAccretion->thicknessCm, 5);
    EXPECT_EQ(r.iceAccretion->rate, 1);
    EXPECT_DOUBLE_EQ(*r.wetBulbTempC, -5.8);
    ASSERT_TRUE(r.seaIce);
    EXPECT_EQ(r.seaIce->concentration, 5);
    EXPECT_EQ(r.seaIce->bearing, 1);
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    const QJsonObject o = reportToJson(r);
    EXPECT_EQ(o.value("ice_accretion").toObject().value("source").toString(), "icing from ocean spray");
    EXPECT_EQ(o.value("sea_ice").toObject().value("concentration").toInt(), 5);

    // Plain language after ICE, and nothing but solidi (fldigi_129): no values invented.
    const auto words = decodeText("BBXX\nNWS0020 14184 99008 50903 43/// /1103 10270 20250 40103 5////\n"
                                  "7//// 8//// 222// 04276 2//// 3//// 4//// 5//// 6//// 8//// ICE ////=\n"
                                  "TFAB 12064 99665 10225 41496 83620 11052 222// ICE BERGS IN SIGHT=\n");
    ASSERT_EQ(words.size(), 2u);
    EXPECT_FALSE(words[0].seaIce);
    EXPECT_FALSE(hasWarning(words[0], "not expected"));
    EXPECT_DOUBLE_EQ(*words[0].seaSurfaceTempC, 27.6);
    EXPECT_EQ(words[0].seaSurfaceTempMethod, "hull contact sensor");
    ASSERT_TRUE(words[1].seaIce);
    EXPECT_EQ(words[1].seaIce->plainText, "BERGS IN SIGHT");
}

TEST(BuoySections, WavesProfilesAndCurrents)
{
    const auto reports = decodeText("ZZYY 13008 08126 12001 145123 004567 6112/ 111// 02315 10084 40152 "
                                    "222// 00103 11005 20085 21013 33312 88871 20000 31805 43512 20050 31712 "
                                    "43520 22220 3512/ 66192 20000 27050 20050 99025 444 12345=\r\n");
    ASSERT_EQ(reports.size(), 1u);
    const DecodedReport& r = reports[0];
    EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
    EXPECT_DOUBLE_EQ(*r.seaSurfaceTempC, 10.3);
    EXPECT_EQ(r.instrumentalWaves, (WaveTrain{8.5, 1.3, std::nullopt}));  // 20 and 21 refine 11005
    EXPECT_EQ(r.salinityMethod, 1);
    // Depth 2220 m: inside section 3, 22220 is a depth, not a section 2 marker.
    ASSERT_EQ(r.seaProfile.size(), 3u);
    EXPECT_EQ(r.seaProfile[0], (ProfileLevel{0, 18.05, 35.12}));
    EXPECT_EQ(r.seaProfile[1], (ProfileLevel{50, 17.12, 35.2}));
    EXPECT_EQ(r.seaProfile[2], (ProfileLevel{2220, -1.2, std::nullopt}));  // tenths, 50 added when negative
    EXPECT_EQ(r.currentMethod, 1);
    EXPECT_EQ(r.currentDuration, 2);
    ASSERT_EQ(r.currents.size(), 2u);
    EXPECT_EQ(r.currents[0], (CurrentLevel{0, 270, false, 50}));
    EXPECT_EQ(r.currents[1], (CurrentLevel{50, std::nullopt, true, 25}));

    const QJsonObject o = reportToJson(r);
    const QJsonObject deep = o.value("sea_profile").toArray().at(2).toObject();
    EXPECT_EQ(deep.value("depth_m").toInt(), 2220);
    EXPECT_DOUBLE_EQ(deep.value("temp_c").toDouble(), -1.2);
    EXPECT_FALSE(deep.contains("salinity_permille"));
    EXPECT_EQ(o.value("currents").toArray().at(1).toObject().value("dir_deg").toString(), "VRB");
    EXPECT_DOUBLE_EQ(o.value("waves_measured").toObject().value("period_s").toDouble(), 8.5);
}

TEST(ShipSectionTwo, AShipCutAfterItsDateGroupIsStillListed)
{
    // A numbered ship and a ship with a call sign, each cut by a fade after
    // its date group; the next report is whole.
    const auto reports = decodeText("SMVX01 EGRR 051800\r\nBBXX\r\n62119 05184=\r\nDBBI 05184=\r\n"
                                    "DBBI 05184 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n");
    ASSERT_EQ(reports.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(reports[i].form, ReportForm::Ship);
        EXPECT_EQ(reports[i].day, 5);
        EXPECT_EQ(reports[i].hour, 18);
        EXPECT_FALSE(reports[i].lat);
        EXPECT_TRUE(hasWarning(reports[i], "cut after its date group"));
    }
    EXPECT_EQ(reports[0].station, "62119");
    EXPECT_EQ(reports[1].station, "DBBI");
    EXPECT_DOUBLE_EQ(*reports[2].lat, 59.9);
}
