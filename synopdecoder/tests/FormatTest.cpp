// The output that other tools rely on: key names, units and CSV shape.
#include "TestSupport.h"
#include "synopdecoder/ReportFormat.h"
#include "synopdecoder/FieldWriters.h"
#include "synopdecoder/StationCatalog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::reportToJson;
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
    const QByteArray line = QByteArray::fromStdString(reportToCsvLine(r));
    EXPECT_TRUE(line.endsWith("\r\n"));
    EXPECT_TRUE(line.contains("\"line one,\nline \"\"two\"\"\""));
    EXPECT_EQ(QByteArray::fromStdString(csvHeaderLine()).count(','), qsizetype(csvColumns().size()) - 1);
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
    // The table's ids are in small letters; reports' are in capitals.
    const StationInfo* lettered = catalog.buoy("0Y2W3");
    ASSERT_TRUE(lettered);
    EXPECT_EQ(lettered->name, "Sturgeon Bay CG Station, WS");
    EXPECT_NEAR(*lettered->lon, -87.313, 1e-9);
    EXPECT_EQ(catalog.buoy("13001"), buoy);  // taken apart once
    EXPECT_FALSE(catalog.buoy("0y2w3"));
    EXPECT_FALSE(catalog.buoy("ZZZZZZZ"));
    EXPECT_FALSE(catalog.landStation("99999"));
    EXPECT_DOUBLE_EQ(*parseDegrees("008-40W"), -(8 + 40 / 60.0));
}

// Lines are taken apart on their first lookup: what a lookup finds must be
// what reading every line at once gave, a later list's line winning.
TEST(Stations, ListsReadInTurnAnswerAsTheirLastLine)
{
    StationCatalog catalog;
    catalog.loadLandStations("01;001;ENJA;Jan Mayen;;Norway;6;70-56N;008-40W;70-56N;008-40W;10;9;P\n"
                             "06;260;EHDB;De Bilt;;Netherlands;6;52-06N;005-11E;;;2;;\n"
                             "short;line\n"
                             "A1;0B2;----;Lettered;;Nowhere;6;10-00S;020-00E;;;5;;");
    const StationInfo* janMayen = catalog.landStation("01001");
    ASSERT_TRUE(janMayen);
    EXPECT_EQ(janMayen->name, "Jan Mayen");
    catalog.loadLandStations("06;260;EHDB;De Bilt (moved);;Netherlands;6;52-07N;005-12E;;;3;;");
    const StationInfo* deBilt = catalog.landStation("06260");
    ASSERT_TRUE(deBilt);
    EXPECT_EQ(deBilt->name, "De Bilt (moved)");
    EXPECT_EQ(deBilt->elevationM, 3);
    EXPECT_EQ(catalog.landStation("01001"), janMayen);  // parsed once, the same entry
    EXPECT_EQ(janMayen->elevationM, 10);
    const StationInfo* lettered = catalog.landStation("A10B2");
    ASSERT_TRUE(lettered);
    EXPECT_DOUBLE_EQ(*lettered->lat, -10.0);
    EXPECT_FALSE(catalog.landStation("06261"));
    EXPECT_FALSE(catalog.landStation("0626"));
    EXPECT_FALSE(catalog.landStation(""));
    EXPECT_EQ(catalog.size(), 3u);
}

// Stations are found by the run of a hundred indices their first three
// figures name; a list out of order is sorted first, the last line of an
// index still winning.
TEST(Stations, IndicesAtTheEdgesOfTheirHundredsAndListsOutOfOrder)
{
    StationCatalog catalog;
    catalog.loadLandStations("99;999;----;Last index;;Nowhere;;10-00N;010-00E;;;1;;\n"
                             "01;100;----;First of a hundred;;Nowhere;;11-00N;011-00E;;;2;;\n"
                             "00;000;----;Index zero;;Nowhere;;12-00N;012-00E;;;3;;\n"
                             "01;099;----;Last of a hundred;;Nowhere;;13-00N;013-00E;;;4;;\n"
                             "01;100;----;First of a hundred, replaced;;Nowhere;;14-00N;014-00E;;;5;;\n");
    ASSERT_TRUE(catalog.landStation("99999"));
    EXPECT_EQ(catalog.landStation("99999")->name, "Last index");
    ASSERT_TRUE(catalog.landStation("00000"));
    EXPECT_EQ(catalog.landStation("00000")->elevationM, 3);
    ASSERT_TRUE(catalog.landStation("01099"));
    EXPECT_EQ(catalog.landStation("01099")->name, "Last of a hundred");
    ASSERT_TRUE(catalog.landStation("01100"));
    EXPECT_EQ(catalog.landStation("01100")->name, "First of a hundred, replaced");
    for (const char* absent : {"00001", "01098", "01101", "99998", "01000", "0110", "011000"})
        EXPECT_FALSE(catalog.landStation(absent)) << absent;
    EXPECT_EQ(catalog.size(), 4u);
    // A supplement out of order adds only what the list lacks.
    catalog.loadLandSupplement("01;101;----;Added;;Nowhere;;15-00N;015-00E;;;6;;\n"
                               "00;000;----;Not taken;;Nowhere;;16-00N;016-00E;;;7;;\n"
                               "00;050;----;Added too;;Nowhere;;17-00N;017-00E;;;8;;\n");
    EXPECT_EQ(catalog.landStation("00000")->elevationM, 3);
    ASSERT_TRUE(catalog.landStation("01101"));
    ASSERT_TRUE(catalog.landStation("00050"));
    EXPECT_EQ(catalog.landStation("00050")->name, "Added too");
    EXPECT_EQ(catalog.landStation("01100")->name, "First of a hundred, replaced");
    EXPECT_EQ(catalog.size(), 6u);
}


// The JSON written straight into a buffer reads back as the same object the
// fields make through Qt's JSON classes: every report of the real traffic,
// and text with what a noisy line carries (control characters, quotes,
// backslashes, bytes that are not UTF-8).
TEST(Format, StreamedJsonReadsBackAsTheSameObject)
{
    std::string text = synop::testing::readCorpus("real/ogimet-land-2026-03-01-15.txt").toStdString();
    for (const char* name : {"real/awips-bulletins/awips_smvx90_kwbc_ships.txt", "real/awips-bulletins/awips_ssvx13_lfvw_buoys.txt"})
        text += "\nNNNN\n" + synop::testing::readCorpus(name).toStdString();
    std::vector<DecodedReport> reports = synop::testing::decodeText(text);
    ASSERT_GT(reports.size(), 13000u);
    DecodedReport odd = synop::testing::decodeLand("10015 12970 61512 10062");
    odd.raw = std::string("tab\there \"quoted\" back\\slash bell\x07 latin1 \xe9t\xe9 cut \xe2\x82 euro \xe2\x82\xac", 70);
    odd.raw += " lead past F4 \xf9\x80\x80";  // no UTF-8 lead: three bytes, three U+FFFD
    odd.station = "\x01\x1f";
    reports.push_back(odd);
    for (const DecodedReport& r : reports) {
        const QByteArray line = QByteArray::fromStdString(reportToJsonLine(r));
        QJsonParseError error;
        const QJsonDocument back = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_EQ(back.object(), reportToJson(r)) << line.toStdString();
    }
    const QJsonObject o = reportToJson(odd);
    EXPECT_TRUE(o.value("raw").toString().contains(QString::fromUtf8("latin1 \xef\xbf\xbdt\xef\xbf\xbd cut \xef\xbf\xbd\xef\xbf\xbd euro \xe2\x82\xac")));
}

TEST(Format, WeatherTablesAndPrecipitationKeys)
{
    // ix 7: an automatic station; its weather is read from the automatic tables.
    QJsonObject o = reportToJson(decodeLand("10015 07970 61512 10062 60001 76162 333 60005 70125"));
    EXPECT_EQ(o.value("weather_indicator").toInt(), 7);
    EXPECT_EQ(o.value("weather_code_table").toString(), "automatic");
    EXPECT_EQ(o.value("precip_mm").toDouble(), 0.0);
    EXPECT_EQ(o.value("precip_section3_mm").toDouble(), 0.0);
    EXPECT_EQ(o.value("precip_section3_period_h").toInt(), 1);
    EXPECT_DOUBLE_EQ(o.value("precip_24h_mm").toDouble(), 12.5);
    o = reportToJson(decodeLand("10015 11970 61512 10062 76162"));
    EXPECT_EQ(o.value("weather_code_table").toString(), "manned");
    EXPECT_FALSE(reportToJson(decodeLand("10015 12970 61512 10062")).contains("weather_code_table"));
    // The CSV carries them after the first version's columns.
    const QList<QByteArray> header = QByteArray::fromStdString(csvHeaderLine()).trimmed().split(',');
    const QList<QByteArray> row = QByteArray::fromStdString(reportToCsvLine(decodeLand("10015 07970 61512 10062 60001 76162 333 60005 70125"))).trimmed().split(',');
    EXPECT_EQ(row.value(header.indexOf("weather_code_table")), "automatic");
    EXPECT_EQ(row.value(header.indexOf("precip_24h_mm")), "12.5");
    EXPECT_EQ(row.value(header.indexOf("past_weather")), "6; 2");
}

TEST(Format, NumbersAndTimesAsQtWritesThem)
{
    // The writer's own number and time forms against Qt's, over the values
    // a report holds: tenths of either sign, whole numbers, list positions.
    for (double v : {0.0, 0.1, -0.1, -0.5, 5.0, -12.3, 1013.2, 989.0, 52.21666666666667, -8.666666666666666, 1e-7, 123456.7}) {
        std::string mine;
        JsonWriter::appendNumber(mine, v);
        EXPECT_EQ(QString::fromStdString(mine), QString::number(v, 'g', QLocale::FloatingPointShortest)) << v;
    }
    for (const char* t : {"2026-03-08T06:00:00Z", "1999-12-31T23:59:59Z", "2000-02-29T00:00:00Z", "1969-07-20T20:17:40Z"}) {
        std::string mine;
        appendIsoUtc(mine, QDateTime::fromString(QString::fromLatin1(t), Qt::ISODate).toMSecsSinceEpoch());
        EXPECT_EQ(mine, t);
    }
    // A fortnight of hourly reports station after station, as an archive
    // lists them: far more times than the writer keeps texts for, asked
    // again and again in another order, seconds apart within one minute too.
    const QDateTime start = QDateTime::fromString(QStringLiteral("2026-03-01T00:00:00Z"), Qt::ISODate);
    for (int station = 0; station < 3; ++station) {
        for (int hour = 14 * 24 - 1; hour >= 0; --hour) {
            for (int second : {0, 30}) {
                const QDateTime t = start.addSecs(hour * 3600 + second);
                std::string mine;
                appendIsoUtc(mine, t.toMSecsSinceEpoch());
                ASSERT_EQ(QString::fromStdString(mine), t.toString(Qt::ISODate)) << station << ' ' << hour;
            }
        }
    }
}
