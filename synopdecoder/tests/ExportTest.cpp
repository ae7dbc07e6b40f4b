// Exports with positions: GeoJSON checked against RFC 7946's structure,
// CSV and JSON with the place columns.
#include "TestSupport.h"
#include "synopdecoder/ReportExport.h"
#include "synopdecoder/ReportFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::checkedGeoJsonPoints;
using synop::testing::kPlacedTraffic;

namespace {

QByteArray exportAll(ExportFormat format, long* leftOut = nullptr)
{
    QByteArray out;
    ReportExporter exporter(format, synop::testing::appendTo(out));
    exporter.begin();
    const qint64 observed = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC).toMSecsSinceEpoch();
    for (const DecodedReport& r : synop::testing::decodeText(kPlacedTraffic)) exporter.add(r, stationPlace(r), observed);
    exporter.end();
    if (leftOut) *leftOut = exporter.leftOut();
    return out;
}

}  // namespace

TEST(Export, GeoJsonHasOnePointPerReportWithAPosition)
{
    long leftOut = 0;
    const QJsonArray features = checkedGeoJsonPoints(exportAll(ExportFormat::GeoJson, &leftOut));
    ASSERT_EQ(features.size(), 2);
    EXPECT_EQ(leftOut, 1);  // 99999 is in no station list
    const QJsonObject land = features[0].toObject();
    EXPECT_NEAR(land["geometry"]["coordinates"][0].toDouble(), 7.9, 0.01);
    EXPECT_NEAR(land["geometry"]["coordinates"][1].toDouble(), 54.18, 0.01);
    EXPECT_EQ(land["properties"]["station_name"].toString(), "Helgoland");
    EXPECT_EQ(land["properties"]["observed_utc"].toString(), "2026-12-08T06:00:00Z");
    const QJsonObject ship = features[1].toObject();
    EXPECT_EQ(ship["properties"]["station"].toString(), "DBBI");
    EXPECT_NEAR(ship["geometry"]["coordinates"][0].toDouble(), -22.7, 0.01);  // west is negative
    EXPECT_NEAR(ship["geometry"]["coordinates"][1].toDouble(), 59.9, 0.01);

    // No reports at all is still a valid collection.
    QByteArray empty;
    ReportExporter none(ExportFormat::GeoJson, synop::testing::appendTo(empty));
    none.begin();
    none.end();
    EXPECT_TRUE(checkedGeoJsonPoints(empty).isEmpty());
}

TEST(Export, CsvAndJsonCarryTheStationsPlace)
{
    const QList<QByteArray> lines = exportAll(ExportFormat::Csv).split('\n');
    const QList<QByteArray> header = lines[0].trimmed().split(',');
    ASSERT_EQ(lines.size(), 5);  // header, three reports, nothing after the last line end
    const QList<QByteArray> helgoland = lines[1].trimmed().split(',');
    auto column = [&](const char* name) { return helgoland.value(header.indexOf(name)); };
    EXPECT_EQ(column("station_name"), "Helgoland");
    EXPECT_EQ(column("country"), "Germany");
    EXPECT_EQ(column("elevation_m"), "4");
    EXPECT_TRUE(column("lat").startsWith("54.18"));
    EXPECT_EQ(column("lon"), "7.9");
    EXPECT_EQ(column("observed_utc"), "2026-12-08T06:00:00Z");
    // The first version's columns first, where readers may find them by position.
    const QByteArray firstColumns = QByteArray::fromStdString(csvHeaderLine(firstCsvColumns())).trimmed();
    EXPECT_EQ(header.mid(0, qsizetype(firstCsvColumns().size())).join(','), firstColumns);
    EXPECT_EQ(header.indexOf("station_name"), qsizetype(firstCsvColumns().size()));

    const QJsonArray list = QJsonDocument::fromJson(exportAll(ExportFormat::JsonArray)).array();
    ASSERT_EQ(list.size(), 3);
    EXPECT_FALSE(list[1].toObject().contains("lat"));
    EXPECT_FALSE(list[1].toObject().contains("station_name"));
    EXPECT_EQ(list[2].toObject()["lat"].toDouble(), 59.9);
}

// Reports are handed on in large batches: the bytes must be those of one
// report at a time, every piece must end on a whole report, and flush()
// must hand on everything held, so that a live pipe sees each report.
TEST(Export, BatchesCarryWholeReportsAndFlushHandsOnWhatIsHeld)
{
    const std::vector<DecodedReport> reports = synop::testing::decodeText(kPlacedTraffic);
    for (const ExportFormat format : {ExportFormat::JsonLines, ExportFormat::Csv, ExportFormat::GeoJson, ExportFormat::Kml}) {
        QByteArray oneByOne, batched;
        std::vector<QByteArray> pieces;
        ReportExporter single(format, synop::testing::appendTo(oneByOne));
        ReportExporter batching(format, [&](std::string_view b) {
            batched.append(b.data(), qsizetype(b.size()));
            pieces.emplace_back(b.data(), qsizetype(b.size()));  // the bytes are valid for the call only
        });
        single.begin();
        batching.begin();
        const size_t head = pieces.size();
        for (int copy = 0; copy < 400; ++copy)
            for (const DecodedReport& r : reports) {
                single.add(r, stationPlace(r));
                single.flush();
                batching.add(r, stationPlace(r));
            }
        EXPECT_GT(pieces.size() - head, 0u);        // over 128 kB went on before the end
        EXPECT_LT(pieces.size() - head, 400u);      // in batches, not a piece a report
        const char reportEnd = format == ExportFormat::GeoJson ? '}' : '\n';  // a feature's separator comes before the next
        for (size_t i = head; i < pieces.size(); ++i) EXPECT_TRUE(pieces[i].endsWith(reportEnd)) << int(format);
        const qsizetype before = batched.size();
        batching.flush();
        EXPECT_GT(batched.size(), before);
        EXPECT_EQ(batched, oneByOne.left(batched.size()));
        batching.flush();  // nothing held: nothing handed on
        EXPECT_EQ(batched.size(), oneByOne.size());
        single.end();
        batching.end();
        EXPECT_EQ(batched, oneByOne) << int(format);
    }
}
