// pluvane-synop as a user runs it: a bulletin from a pipe, the output
// formats, and storing an archive in the station log.
#include "synopdecoder/tests/TestSupport.h"
#include "synoplog/ReportLog.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace synop;
using synop::testing::checkedGeoJsonPoints;
using synop::testing::kPlaceKeys;
using synop::testing::kPlacedTraffic;
using synop::testing::kReportKeys;

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
        EXPECT_TRUE(kReportKeys.contains(key) || kPlaceKeys.contains(key)) << key.toStdString();
    EXPECT_EQ(first.value("station_name").toString(), "Hamburg-Fuhlsbuettel");
    EXPECT_TRUE(QJsonDocument::fromJson(lines[1]).object().value("nil").toBool());

    QProcess csv;
    csv.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--csv", "/nonexistent/file.txt"});
    ASSERT_TRUE(csv.waitForFinished(10000));
    EXPECT_EQ(csv.exitCode(), 1);
    EXPECT_TRUE(csv.readAllStandardError().contains("cannot read /nonexistent/file.txt"));
}

TEST(CommandLine, FormatsAndStoringInTheLog)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("archive.txt");
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kPlacedTraffic);
    file.close();

    QProcess geo;
    geo.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--format", "geojson", input});
    ASSERT_TRUE(geo.waitForFinished(10000));
    EXPECT_EQ(geo.exitCode(), 0);
    EXPECT_EQ(checkedGeoJsonPoints(geo.readAllStandardOutput()).size(), 2);
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
