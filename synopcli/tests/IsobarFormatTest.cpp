// pluvane-synop --format isobars on real reports: a valid FeatureCollection
// of isobars every 4 hPa, a garbled pressure listed as rejected, and the
// same analysis read back from the station log.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QJsonObject collection;
    QByteArray errors;
};

ToolRun runTool(const QStringList& arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(PLUVANE_SYNOP_CLI), arguments);
    ToolRun run;
    if (!tool.waitForFinished(60000)) return run;
    run.exitCode = tool.exitCode();
    run.collection = QJsonDocument::fromJson(tool.readAllStandardOutput()).object();
    run.errors = tool.readAllStandardError();
    return run;
}

// The structure RFC 7946 asks, and the isobars' and centres' properties.
void checkCollection(const QJsonObject& c, int* isobars, int* centres)
{
    *isobars = *centres = 0;
    ASSERT_EQ(c.value("type").toString(), "FeatureCollection");
    for (const QJsonValue& v : c.value("features").toArray()) {
        const QJsonObject f = v.toObject();
        ASSERT_EQ(f.value("type").toString(), "Feature");
        const QJsonObject g = f.value("geometry").toObject(), p = f.value("properties").toObject();
        const QString type = g.value("type").toString();
        const double hPa = p.value("pressure_hpa").toDouble();
        ASSERT_GT(hPa, 900);
        auto checkPosition = [](const QJsonValue& position) {
            const QJsonArray a = position.toArray();
            ASSERT_EQ(a.size(), 2);
            ASSERT_LE(std::fabs(a[0].toDouble()), 180.0);
            ASSERT_LE(std::fabs(a[1].toDouble()), 90.0);
        };
        if (type == "Point") {
            ASSERT_TRUE(p.value("kind") == "H" || p.value("kind") == "L");
            checkPosition(g.value("coordinates"));
            ++*centres;
            continue;
        }
        ASSERT_TRUE(type == "LineString" || type == "MultiLineString") << type.toStdString();
        EXPECT_EQ(std::fmod(hPa, 4.0), 0.0);
        const QJsonArray lines = type == "LineString" ? QJsonArray{g.value("coordinates")} : g.value("coordinates").toArray();
        for (const QJsonValue& line : lines) {
            ASSERT_GE(line.toArray().size(), 2);
            for (const QJsonValue& position : line.toArray()) checkPosition(position);
        }
        ++*isobars;
    }
}

}  // namespace

TEST(IsobarFormat, AnalysesAnHourOfRealReportsAndListsTheRejected)
{
    QFile real(QStringLiteral(SYNOP_CORPUS_DIR "/real/ogimet-land-2026-03-01-15.txt"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    QByteArray text = real.readAll();
    // Teletype garbles Resistencia's 40059 (1005.9 hPa) into 40309: 25 hPa too high.
    const QByteArray good = "AAXX 15124 87641 11962 23408 10193 20162 39888 40059 ";
    ASSERT_TRUE(text.contains(good));
    text.replace(good, "AAXX 15124 87641 11962 23408 10193 20162 39888 40309 ");
    QTemporaryDir dir;
    const QString input = dir.filePath("march.txt");
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();

    const QStringList hour{"--format", "isobars", "--received", "2026-03-16T00:00Z", "--until", "2026-03-15T12:00Z"};
    const ToolRun fromText = runTool(hour + QStringList{input});
    ASSERT_EQ(fromText.exitCode, 0) << fromText.errors.toStdString();
    int isobars = 0, centres = 0;
    checkCollection(fromText.collection, &isobars, &centres);
    EXPECT_GE(isobars, 4);
    EXPECT_EQ(fromText.collection.value("hour").toString(), "2026-03-15T12:00:00Z");
    EXPECT_GE(fromText.collection.value("reports_used").toInt(), 80);
    const QJsonArray rejected = fromText.collection.value("rejected").toArray();
    ASSERT_EQ(rejected.size(), 1);
    EXPECT_EQ(rejected[0].toObject().value("station").toString(), "87641");
    EXPECT_DOUBLE_EQ(rejected[0].toObject().value("pressure_hpa").toDouble(), 1030.9);
    EXPECT_TRUE(rejected[0].toObject().value("reason").toString().contains("neighbours"));
    EXPECT_LE(fromText.collection.value("method").toObject().value("fit_rms_hpa").toDouble(), 1.5);
    EXPECT_TRUE(fromText.errors.contains("1 rejected")) << fromText.errors.toStdString();

    // The same hour from the station log.
    const QString log = dir.filePath("reports.sqlite");
    const ToolRun stored = runTool({"--store=" + log, "--received", "2026-03-16T00:00Z", input});
    ASSERT_EQ(stored.exitCode, 0) << stored.errors.toStdString();
    const ToolRun fromLog = runTool({"--from-log=" + log, "--format", "isobars", "--until", "2026-03-15T12:00Z"});
    ASSERT_EQ(fromLog.exitCode, 0) << fromLog.errors.toStdString();
    EXPECT_EQ(fromLog.collection.value("features"), fromText.collection.value("features"));
    EXPECT_EQ(fromLog.collection.value("rejected"), fromText.collection.value("rejected"));
}

// Too few reports: an empty collection that says why, not a made-up chart.
TEST(IsobarFormat, SaysWhyThereIsNoAnalysis)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("one.txt");
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("AAXX 08061\n10147 12970 61512 10062 21011 30110 40136 52004=\n");
    file.close();
    const ToolRun run = runTool({"--format", "isobars", input});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.collection.value("type").toString(), "FeatureCollection");
    EXPECT_TRUE(run.collection.value("features").toArray().isEmpty());
    EXPECT_FALSE(run.collection.value("problem").toString().isEmpty());
    EXPECT_TRUE(run.errors.contains("no analysis")) << run.errors.toStdString();
}
