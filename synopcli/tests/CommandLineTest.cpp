// pluvane-synop as a user runs it: a bulletin from a pipe, the output
// formats, and storing an archive in the station log.
#include "ToolRuns.h"
#include "synopdecoder/tests/TestSupport.h"
#include "synoplog/ReportLog.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/resource.h>

using namespace synop;
using synop::testing::checkedGeoJsonPoints;
using synop::testing::kPlaceKeys;
using synop::testing::kPlacedTraffic;
using synop::testing::kReportKeys;
using synop::testing::runProgram;
using synop::testing::ToolRun;
using synop::testing::writeFile;

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

namespace {

ToolRun runTool(const QStringList& arguments, const std::function<void()>& inChild = {})
{
    return runProgram(QStringLiteral(PLUVANE_SYNOP_CLI), arguments, {}, inChild);
}

// Three nights of one station and one of another, as an archive to import.
const char kThreeNights[] =
    "SMDL01 EDZW 070000\r\nAAXX 07001\r\n10015 41460 72315 10056 20039 39963 40012 57008=\r\n"
    "10147 41460 72315 10062 20039 39963 40016 57008=\r\n"
    "SMDL01 EDZW 080000\r\nAAXX 08001\r\n10015 41460 72315 10046 20039 39963 40022 57008=\r\n"
    "SMDL01 EDZW 090000\r\nAAXX 09001\r\n10015 41460 72315 10036 20029 39963 40032 57008=\r\n";

}  // namespace

TEST(CommandLine, StoreRefusesAFileThatIsNotALog)
{
    QTemporaryDir dir;
    const QString archive = writeFile(dir, "archive.txt", kPlacedTraffic);
    // The slip of the issue: the archive given as the log too.
    const ToolRun run = runTool({"--store=" + archive, archive});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("not a station log")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    QFile kept(archive);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray(kPlacedTraffic));  // untouched, not renamed
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"archive.txt"});
    // Nor is it read as a log.
    EXPECT_EQ(runTool({"--from-log=" + archive}).exitCode, 2);
    EXPECT_EQ(runTool({"--store=" + dir.path(), archive}).exitCode, 2);
}

TEST(CommandLine, StoredCountIsWhatTheLogHolds)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath("reports.sqlite");
    const QString archive = QStringLiteral(SYNOP_CORPUS_DIR "/real/ogimet-land-2026-03-01-15.txt");
    // The disk fills up while the archive is stored: a file size limit in the tool's process.
    const ToolRun run = runTool({"--store=" + logPath, "--received", "2026-03-16T00:00Z", archive}, [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024 * 1024, 1024 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("storing stopped")) << run.err.toStdString();
    const QRegularExpressionMatch said = QRegularExpression(" (\\d+) stored in ").match(QString::fromUtf8(run.err));
    ASSERT_TRUE(said.hasMatch()) << run.err.toStdString();
    const ReportLog log(logPath);
    EXPECT_EQ(said.captured(1).toLongLong(), log.count({}));
    EXPECT_LT(log.count({}), 13638);
}

TEST(CommandLine, ReportsFromTheLogInAnyFormat)
{
    QTemporaryDir dir;
    const QString logPath = dir.filePath("log/reports.sqlite");
    EXPECT_EQ(runTool({"--from-log=" + logPath}).exitCode, 1);  // no log there yet
    EXPECT_FALSE(QFile::exists(logPath));                       // and none made
    const QString archive = writeFile(dir, "nights.txt", kThreeNights);
    ASSERT_EQ(runTool({"--store=" + logPath, "--received", "2026-03-09T01:00Z", archive}).exitCode, 0);

    auto stationsAndDays = [](const QByteArray& jsonLines) {
        QStringList seen;
        for (const QByteArray& line : jsonLines.trimmed().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            seen << o.value("station").toString() + "/" + QString::number(o.value("day").toInt());
        }
        return seen;
    };
    ToolRun all = runTool({"--from-log=" + logPath});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_EQ(stationsAndDays(all.out), (QStringList{"10015/7", "10147/7", "10015/8", "10015/9"}));
    const QJsonObject first = QJsonDocument::fromJson(all.out.split('\n').front()).object();
    EXPECT_EQ(first.value("observed_utc").toString(), "2026-03-07T00:00:00Z");
    EXPECT_EQ(first.value("station_name").toString(), "Helgoland");
    EXPECT_DOUBLE_EQ(first.value("sea_level_pressure_hpa").toDouble(), 1001.2);

    // Both ends of the range included; a date alone runs to its end.
    ToolRun night = runTool({"--from-log=" + logPath, "--since", "2026-03-07T12:00Z", "--until", "2026-03-08"});
    EXPECT_EQ(stationsAndDays(night.out), QStringList{"10015/8"});
    ToolRun one = runTool({"--from-log=" + logPath, "--station", "10147,10400"});
    EXPECT_EQ(stationsAndDays(one.out), QStringList{"10147/7"});
    ToolRun geo = runTool({"--from-log=" + logPath, "--format", "geojson", "--station", "10015"});
    EXPECT_EQ(geo.exitCode, 0);
    EXPECT_EQ(checkedGeoJsonPoints(geo.out).size(), 3);
    ToolRun table = runTool({"--from-log=" + logPath, "--csv", "--since", "2026-03-09"});
    EXPECT_EQ(table.out.count("\r\n"), 2);  // header and one row

    // The same selection applies to decoding text.
    ToolRun decoded = runTool({"--received", "2026-03-09T01:00Z", "--station", "10015", "--until", "2026-03-08T00:00Z", archive});
    EXPECT_EQ(stationsAndDays(decoded.out), (QStringList{"10015/7", "10015/8"}));

    EXPECT_EQ(runTool({"--from-log=" + logPath, archive}).exitCode, 2);
    EXPECT_EQ(runTool({"--from-log=" + logPath, "--since", "yesterday"}).exitCode, 2);
}

TEST(CommandLine, OutputThatCannotBeWrittenIsAFailure)
{
    // Standard output on a full disk: said, and the exit status says so,
    // for decoded text and for reports read from the log alike.
    QTemporaryDir dir;
    const QString archive = writeFile(dir, "archive.txt", kPlacedTraffic);
    for (const QString& format : {QStringLiteral("json"), QStringLiteral("csv"), QStringLiteral("kml")}) {
        QProcess tool;
        tool.setStandardOutputFile(QStringLiteral("/dev/full"));
        tool.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--format", format, archive});
        ASSERT_TRUE(tool.waitForFinished(30000));
        EXPECT_EQ(tool.exitCode(), 1) << format.toStdString();
        EXPECT_TRUE(tool.readAllStandardError().contains("cannot write the output")) << format.toStdString();
    }
    const QString logPath = dir.filePath("reports.sqlite");
    ASSERT_EQ(runTool({"--store=" + logPath, "--received", "2026-03-09T00:00Z", archive}).exitCode, 0);
    QProcess fromLog;
    fromLog.setStandardOutputFile(QStringLiteral("/dev/full"));
    fromLog.start(QStringLiteral(PLUVANE_SYNOP_CLI), {"--from-log=" + logPath});
    ASSERT_TRUE(fromLog.waitForFinished(30000));
    EXPECT_EQ(fromLog.exitCode(), 1);
    EXPECT_TRUE(fromLog.readAllStandardError().contains("cannot write the output"));
}

TEST(CommandLine, StoringKilledMidwayLeavesAWholeLog)
{
    // An archive being stored when the process is killed outright: the log
    // opens as it is (nothing set aside), reads whole, holds only committed
    // batches, and storing the archive again completes it.
    QTemporaryDir dir;
    QFile month(QStringLiteral(SYNOP_CORPUS_DIR "/real/ogimet-land-2026-03-01-15.txt"));
    ASSERT_TRUE(month.open(QIODevice::ReadOnly));
    const QByteArray text = month.readAll();
    const QString archive = writeFile(dir, "archive.txt", text + "\nNNNN\n" + text + "\nNNNN\n" + text);
    const QStringList arguments = {"--received", "2026-03-16T00:00Z", archive};

    const QString cleanPath = dir.filePath("clean.sqlite");
    ASSERT_EQ(runTool(QStringList{"--store=" + cleanPath} + arguments).exitCode, 0);
    const int64_t complete = ReportLog(cleanPath).count({});
    ASSERT_GT(complete, 13000);

    const QString logPath = dir.filePath("reports.sqlite");
    QProcess tool;
    tool.start(QStringLiteral(PLUVANE_SYNOP_CLI), QStringList{"--store=" + logPath} + arguments);
    ASSERT_TRUE(tool.waitForStarted());
    // Killed once its first batches are in, or at the latest when it ends by itself.
    for (int i = 0; i < 3000 && tool.state() == QProcess::Running; ++i) {
        if (QFileInfo::exists(logPath) && ReportLog(logPath).count({}) > 0) break;
        QThread::msleep(5);
    }
    tool.kill();
    ASSERT_TRUE(tool.waitForFinished(30000));
    {
        const ReportLog killed(logPath);
        ASSERT_TRUE(killed.isWritable()) << killed.lastError().toStdString();
        EXPECT_TRUE(killed.openingNotice().isEmpty()) << killed.openingNotice().toStdString();
        EXPECT_LE(killed.count({}), complete);
        int64_t read = 0;
        EXPECT_TRUE(killed.forEach({}, [&](const LoggedReport&) { return ++read, true; }));
        EXPECT_EQ(read, killed.count({}));
    }
    EXPECT_EQ(runTool(QStringList{"--store=" + logPath} + arguments).exitCode, 0);
    EXPECT_EQ(ReportLog(logPath).count({}), complete);
}

// Output leaves in large pieces, some written as they are without a copy:
// a file and a pipe must get the same bytes, every report whole and once.
TEST(CommandLine, LargeOutputIsTheSameInAFileAndAPipe)
{
    QTemporaryDir dir;
    QByteArray text;
    for (int copy = 0; copy < 300; ++copy) text += kPlacedTraffic;
    const QString archive = writeFile(dir, "archive.txt", text);
    for (const QString& format : {QStringLiteral("json"), QStringLiteral("kml")}) {
        const QStringList arguments = {"--keep-duplicates", "--format", format, "--received", "2026-03-09T00:00Z", archive};
        const ToolRun piped = runTool(arguments);
        ASSERT_EQ(piped.exitCode, 0);
        QProcess tool;
        const QString outPath = dir.filePath("out." + format);
        tool.setStandardOutputFile(outPath);
        tool.start(QStringLiteral(PLUVANE_SYNOP_CLI), arguments);
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0);
        QFile written(outPath);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_EQ(written.readAll(), piped.out) << format.toStdString();
        EXPECT_GT(piped.out.size(), 256 * 1024) << format.toStdString();  // more than one large piece
        if (format == "json") EXPECT_EQ(piped.out.count('\n'), 900);
        else EXPECT_EQ(piped.out.count("<Placemark>"), 600);  // 99999 has no position
    }
}
