// The list of stations the 2013 land list lacks: read after it, used only
// where it has no entry, and its faults confined to their own lines.
#include "TestSupport.h"
#include "synopdecoder/StationCatalog.h"
#include "synopdecoder/StationPlace.h"

#include <QFile>
#include <cstdio>
#include <gtest/gtest.h>

using namespace synop;

namespace {

const char kMainList[] = "87;582;SABE;Aeroparque Bs. As. Aerodrome;;Argentina;3;34-34S;058-25W;;;6;;\r\n"
                         "06;260;EHDB;De Bilt;;Netherlands;6;52-06N;005-11E;;;2;;\r\n";

}  // namespace

TEST(StationSupplement, FillsOnlyWhatTheMainListLacks)
{
    StationCatalog catalog;
    catalog.loadLandStations(kMainList);
    catalog.loadLandSupplement("# a comment line\n"
                               "87;582;SABE;Aeroparque (elsewhere);;Argentina;;30.000S;050.000W;;;99;;\n"
                               "87;148;----;Presidencia Roque Saenz Pena Aero;;Argentina;;26.733S;60.483W;;;91;;\n"
                               "87;148;----;Second line for the same index;;Argentina;;10.000S;10.000W;;;1;;\n");
    const StationInfo* aeroparque = catalog.landStation("87582");
    ASSERT_TRUE(aeroparque);
    EXPECT_EQ(aeroparque->name, "Aeroparque Bs. As. Aerodrome");
    EXPECT_NEAR(*aeroparque->lat, -34.567, 0.001);
    EXPECT_EQ(aeroparque->elevationM, 6);

    const StationInfo* saenzPena = catalog.landStation("87148");
    ASSERT_TRUE(saenzPena);
    EXPECT_EQ(saenzPena->name, "Presidencia Roque Saenz Pena Aero");
    EXPECT_EQ(saenzPena->country, "Argentina");
    EXPECT_DOUBLE_EQ(*saenzPena->lat, -26.733);
    EXPECT_DOUBLE_EQ(*saenzPena->lon, -60.483);
    EXPECT_EQ(saenzPena->elevationM, 91);
    EXPECT_EQ(catalog.size(), 3u);

    // A newer main list read later still replaces what it has, as before.
    catalog.loadLandStations("06;260;EHDB;De Bilt (moved);;Netherlands;6;52-07N;005-12E;;;3;;");
    EXPECT_EQ(catalog.landStation("06260")->name, "De Bilt (moved)");
}

TEST(StationSupplement, MalformedLinesAreSkippedAlone)
{
    StationCatalog catalog;
    catalog.loadLandStations(kMainList);
    catalog.loadLandSupplement("87;12;----;Two-figure number;;Argentina;;27.450S;64.883W;;;281;;\n"
                               "87;127;----;Too few fields;;Argentina;27.450S\n"
                               "\n"
                               "87;904;----;El Calafate Aero;;Argentina;;50.267S;72.050W;;;199;;\n"
                               "87;345;SACG;Off the globe;;Argentina;;95.000S;64.198W;;;426;;\n"
                               "87;347;SACE;Half a position;;Argentina;;31.445S;;;;502;;\n"
                               "87;616;----;Victorica;;Argentina;;36.217S;65.433W;;;312;;");
    EXPECT_FALSE(catalog.landStation("87127"));
    EXPECT_FALSE(catalog.landStation("87012"));
    for (const char* index : {"87904", "87616"}) {
        const StationInfo* station = catalog.landStation(index);
        ASSERT_TRUE(station) << index;
        EXPECT_TRUE(station->lat && station->lon) << index;
    }
    EXPECT_NEAR(*catalog.landStation("87616")->lon, -65.433, 1e-9);
    // A station is better without a position than at a wrong one.
    for (const char* index : {"87345", "87347"}) {
        const StationInfo* station = catalog.landStation(index);
        ASSERT_TRUE(station) << index;
        EXPECT_FALSE(station->lat) << index;
        EXPECT_FALSE(station->lon) << index;
    }
    EXPECT_EQ(catalog.landStation("87582")->name, "Aeroparque Bs. As. Aerodrome");
}

// The built-in lists as a report meets them: stations of the real Argentine
// traffic that the 2013 list lacks now have a place, those it has keep theirs.
TEST(StationSupplement, BuiltInPlacesTheRealTrafficsNewerStations)
{
    const DecodedReport saenzPena =
        synop::testing::decodeText("AAXX 10054 87148 42970 51103 10240 20200 30026 40131 51005 85070 =\n").at(0);
    const StationPlace place = stationPlace(saenzPena);
    ASSERT_TRUE(place.hasPosition());
    EXPECT_NEAR(*place.lat, -26.73, 0.01);
    EXPECT_NEAR(*place.lon, -60.48, 0.01);
    EXPECT_EQ(place.country, "Argentina");
    EXPECT_FALSE(place.reportedPosition);

    const StationCatalog& catalog = StationCatalog::builtIn();
    const StationInfo* mercedes = catalog.landStation("87281");  // Corrientes, 107 m, not Villa Mercedes
    ASSERT_TRUE(mercedes);
    EXPECT_EQ(mercedes->name, "Mercedes");
    EXPECT_NEAR(*mercedes->lat, -29.22, 0.01);
    const StationInfo* aeroparque = catalog.landStation("87582");
    ASSERT_TRUE(aeroparque);
    EXPECT_EQ(aeroparque->name, "Aeroparque Bs. As. Aerodrome");
    EXPECT_NEAR(*catalog.landStation("10147")->lat, 53.63, 0.05);
}

// The lists are indexed in one sorted table: a list out of order, an index
// given twice, and a supplement whose stations fall between the main
// list's must all answer as reading the lines in turn would.
TEST(StationSupplement, ListsOutOfOrderAnswerAsReadInTurn)
{
    StationCatalog catalog;
    catalog.loadLandStations("87;582;SABE;Aeroparque;;Argentina;3;34-34S;058-25W;;;6;;\n"
                             "01;001;ENJA;Jan Mayen;;Norway;6;70-56N;008-40W;;;10;;\n"
                             "87;582;SABE;Aeroparque (moved);;Argentina;3;34-35S;058-26W;;;7;;\n"
                             "99;999;----;Last;;Nowhere;6;10-00S;020-00E;;;1;;\n");
    catalog.loadLandSupplement("87;148;----;Between;;Argentina;;26.733S;60.483W;;;91;;\n"
                               "00;500;----;Before every other;;Nowhere;;10.000N;10.000E;;;2;;\n"
                               "87;582;----;Not taken;;Argentina;;30.000S;50.000W;;;99;;\n"
                               "00;500;----;Second line, not taken;;Nowhere;;11.000N;11.000E;;;3;;\n");
    const std::pair<const char*, const char*> expected[] = {{"00500", "Before every other"}, {"01001", "Jan Mayen"},
                                                            {"87148", "Between"}, {"87582", "Aeroparque (moved)"},
                                                            {"99999", "Last"}};
    for (const auto& [index, name] : expected) {
        const StationInfo* station = catalog.landStation(index);
        ASSERT_TRUE(station) << index;
        EXPECT_EQ(station->name, name) << index;
    }
    EXPECT_EQ(catalog.landStation("87582")->elevationM, 7);
    for (const char* absent : {"00000", "01002", "87147", "87583", "9999", "999999", "0100A"})
        EXPECT_FALSE(catalog.landStation(absent)) << absent;
    EXPECT_EQ(catalog.size(), 5u);
}

// The built-in lists are read in place and the buoy table on first use:
// both must still answer, and the count must include the buoys.
TEST(StationSupplement, BuiltInListsAnswerWhenReadInPlace)
{
    const StationCatalog& catalog = StationCatalog::builtIn();
    const StationInfo* hamburg = catalog.landStation("10147");
    ASSERT_TRUE(hamburg);
    EXPECT_EQ(hamburg->name, "Hamburg-Fuhlsbuettel");
    const StationInfo* buoy = catalog.buoy("41001");
    ASSERT_TRUE(buoy);
    EXPECT_TRUE(buoy->lat && buoy->lon);
    EXPECT_GT(catalog.size(), 14000u);
}

// The built-in lists' index is made at build time by the same reading as
// at run time: every index, listed or not, must answer as reading the two
// lists through answers it.
TEST(StationSupplement, TheIndexMadeAtBuildTimeAnswersAsReadingTheListsThrough)
{
    const StationCatalog& built = StationCatalog::builtIn();
    ASSERT_TRUE(built.indexMadeAtBuildTime());
    QFile list(QStringLiteral(SYNOP_STATION_LIST_DIR "/nsd_bbsss.txt")), supplement(QStringLiteral(SYNOP_STATION_LIST_DIR "/isd_stations.txt"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly) && supplement.open(QIODevice::ReadOnly));
    const QByteArray listText = list.readAll(), supplementText = supplement.readAll();
    StationCatalog read;
    read.loadLandStations(std::string_view(listText.constData(), static_cast<size_t>(listText.size())));
    read.loadLandSupplement(std::string_view(supplementText.constData(), static_cast<size_t>(supplementText.size())));
    EXPECT_FALSE(read.indexMadeAtBuildTime());
    int listed = 0;
    for (int number = 0; number <= 99999; ++number) {
        char index[8];
        std::snprintf(index, sizeof index, "%05d", number);
        const StationInfo* a = built.landStation(index);
        const StationInfo* b = read.landStation(index);
        ASSERT_EQ(a == nullptr, b == nullptr) << index;
        if (!a) continue;
        ++listed;
        EXPECT_EQ(a->name, b->name) << index;
        EXPECT_EQ(a->country, b->country) << index;
        EXPECT_EQ(a->lat, b->lat) << index;
        EXPECT_EQ(a->lon, b->lon) << index;
        EXPECT_EQ(a->elevationM, b->elevationM) << index;
    }
    EXPECT_GT(listed, 14000);
    EXPECT_EQ(read.size(), static_cast<size_t>(listed));
}
