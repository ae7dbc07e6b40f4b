// Exports with positions: GeoJSON checked against RFC 7946's structure,
// CSV and JSON with the place columns, and pluvane-synop's --format and
// --store.
#include "TestSupport.h"
#include "synopdecoder/ReportExport.h"
#include "synopdecoder/ReportFormat.h"
#include "synopdecoder/log/ReportLog.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace synop;

namespace {

// A land station from the list, a ship at its reported position, a land
// station not in the list (no position) and one whose text has a control
// character in it.
const char kTraffic[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n"
                        "99999 41460 72315 10056=\r\n"
                        "BBXX\r\nDBBI 08064 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n";

QByteArray exportAll(ExportFormat format, long* leftOut = nullptr)
{
    QByteArray out;
    ReportExporter exporter(format, [&](const QByteArray& bytes) { out += bytes; });
    exporter.begin();
    const QDateTime observed = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
    for (const DecodedReport& r : synop::testing::decodeText(kTraffic)) exporter.add(r, stationPlace(r), observed);
    exporter.end();
    if (leftOut) *leftOut = exporter.leftOut();
    return out;
}

// The structure RFC 7946 asks of a FeatureCollection of Points; fails the
// test on the first fault and gives back the features.
QJsonArray checkedFeatures(const QByteArray& text)
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

}  // namespace

TEST(Export, GeoJsonHasOnePointPerReportWithAPosition)
{
    long leftOut = 0;
    const QJsonArray features = checkedFeatures(exportAll(ExportFormat::GeoJson, &leftOut));
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
    ReportExporter none(ExportFormat::GeoJson, [&](const QByteArray& b) { empty += b; });
    none.begin();
    none.end();
    EXPECT_TRUE(checkedFeatures(empty).isEmpty());
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
    EXPECT_EQ(header.mid(0, csvColumns().size()).join(','), csvColumns().join(',').toUtf8());  // old columns first

    const QJsonArray list = QJsonDocument::fromJson(exportAll(ExportFormat::JsonArray)).array();
    ASSERT_EQ(list.size(), 3);
    EXPECT_FALSE(list[1].toObject().contains("lat"));
    EXPECT_FALSE(list[1].toObject().contains("station_name"));
    EXPECT_EQ(list[2].toObject()["lat"].toDouble(), 59.9);
}

TEST(CommandLine, FormatsAndStoringInTheLog)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("archive.txt");
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kTraffic);
    file.close();

    QProcess geo;
    geo.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--format", "geojson", input});
    ASSERT_TRUE(geo.waitForFinished(10000));
    EXPECT_EQ(geo.exitCode(), 0);
    EXPECT_EQ(checkedFeatures(geo.readAllStandardOutput()).size(), 2);
    EXPECT_TRUE(geo.readAllStandardError().contains("1 without a position left out"));

    QProcess wrong;
    wrong.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--format", "xml", input});
    ASSERT_TRUE(wrong.waitForFinished(10000));
    EXPECT_EQ(wrong.exitCode(), 2);

    // An archive from March imported in December: its reports keep their month.
    const QString logPath = dir.filePath("log/reports.sqlite");
    for (int run = 0; run < 2; ++run) {
        QProcess store;
        store.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--store=" + logPath, "--received", "2026-03-08T07:00:00Z", input});
        ASSERT_TRUE(store.waitForFinished(10000));
        EXPECT_EQ(store.exitCode(), 0) << store.readAllStandardError().toStdString();
        EXPECT_TRUE(store.readAllStandardOutput().isEmpty());  // storing alone writes nothing
    }
    {
        ReportLog log(logPath);
        ASSERT_EQ(log.count({}), 3);  // imported twice, stored once
        EXPECT_EQ(log.reports({}).front().observedUtc, QDateTime(QDate(2026, 3, 8), QTime(6, 0), Qt::UTC));
        EXPECT_EQ(log.reports({}).front().timesHeard, 2);
        EXPECT_EQ(log.text({}, {}).size(), 2u);
    }

    // The default log, from the environment, and a folder that cannot be written.
    QProcess bare;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PLUVANE_SYNOP_LOG", dir.filePath("default/reports.sqlite"));
    bare.setProcessEnvironment(env);
    bare.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--store", "--format", "json", input});
    ASSERT_TRUE(bare.waitForFinished(10000));
    EXPECT_EQ(bare.exitCode(), 0);
    EXPECT_EQ(bare.readAllStandardOutput().count('\n'), 3);
    EXPECT_EQ(ReportLog(dir.filePath("default/reports.sqlite")).count({}), 3);

    QDir().mkpath(dir.filePath("locked"));
    QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QProcess locked;
    locked.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--store=" + dir.filePath("locked/reports.sqlite"), input});
    ASSERT_TRUE(locked.waitForFinished(10000));
    EXPECT_EQ(locked.exitCode(), 1);
    EXPECT_TRUE(locked.readAllStandardError().contains("read-only"));
    QFile::setPermissions(dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
