// pluvane-synop decodes plain runs itself, without Qt, and hands every other
// run to pluvane-synop-full: an argument must mean the same to both, and
// what the front cannot read for certain must reach the full tool whole.
#include "ToolRuns.h"

namespace {

using synop::testing::ToolRun;
using synop::testing::writeFile;

ToolRun run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    return synop::testing::runProgram(program, arguments, input);
}

// Two stations over two days at several hours, a repeated bulletin and a
// ship, so that every selection picks something different.
const char kTwoDays[] =
    "SMDL01 EDZW 070600\r\nAAXX 07061\r\n10015 41460 72315 10056 20039 39963 40012 57008=\r\n"
    "10147 41460 72315 10062 20039 39963 40016 57008=\r\n"
    "SMDL01 EDZW 080000\r\nAAXX 08001\r\n10015 41460 72315 10046 20039 39963 40022 57008=\r\n"
    "SMDL01 EDZW 080000\r\nAAXX 08001\r\n10015 41460 72315 10046 20039 39963 40022 57008=\r\n"
    "SMDL01 EDZW 081800\r\nAAXX 08181\r\n10147 41460 72315 10036 20029 39963 40032 57008=\r\n"
    "SMVX01 EGRR 081800\r\nBBXX\r\nDBBI 08184 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n";

}  // namespace

TEST(Front, ArgumentsMeanWhatTheFullToolTakesThemToMean)
{
    QTemporaryDir dir;
    const QString text = writeFile(dir, "two-days.txt", kTwoDays);
    const QString other = writeFile(dir, "other.txt", "AAXX 08121\r\n10384 11/// /2103 10012=\r\n");
    const QString received = "--received=2026-03-09T01:00Z";
    const QList<QStringList> cases = {
        {received, text},
        {"--csv", received, text},
        {"--format=geojson", received, text},
        {"--format", "kml", "--received", "2026-03-09T01:00:00Z", text},
        {"--format", "csv", "--format", "json", received, text},  // the last one holds
        {"--csv", "--format", "geojson", received, text},
        {"--station", " 10015 ,,10147", received, text},
        {"--station", "10015", "--station=dbbi", received, text},
        {"--since", "2026-03-08", received, text},
        {"--until", "2026-03-08", received, text},
        {"--since", "2026-03-07T06:00:00.5Z", "--until", "2026-03-08T18:00", received, text},
        {"--since=2026-03-08T00:00:00.000Z", received, text},
        {"--keep-duplicates", "--no-plausibility", "--no-shift-correction", received, text},
        {received, "--", text, other},
        {received, other, "--keep-duplicates", text},
        {received, text, "/nonexistent/file.txt"},
        {received, dir.path()},
        // Forms the front leaves to Qt's reading, errors among them.
        {"--since", "2026-03-08T06:00+01:00", received, text},
        {"--until", "2026-03-08 18:00", received, text},
        {"--format", "xml", received, text},
        {"--since", "yesterday", received, text},
        {"--csv=yes", received, text},
        {"-x", received, text},
        {"--format", received, text},
        {"--station", "Ö", received, text},
        {"", received, text},
    };
    for (const QStringList& arguments : cases) {
        const ToolRun front = run(QStringLiteral(PLUVANE_SYNOP_CLI), arguments);
        const ToolRun full = run(QStringLiteral(PLUVANE_SYNOP_FULL), arguments);
        EXPECT_EQ(front.exitCode, full.exitCode) << arguments.join(' ').toStdString();
        EXPECT_EQ(front.out.toStdString(), full.out.toStdString()) << arguments.join(' ').toStdString();
        EXPECT_EQ(front.err.toStdString(), full.err.toStdString()) << arguments.join(' ').toStdString();
    }
    // Standard input, as from a receiver's pipe.
    EXPECT_EQ(run(QStringLiteral(PLUVANE_SYNOP_CLI), {received, "-"}, kTwoDays),
              run(QStringLiteral(PLUVANE_SYNOP_FULL), {received, "-"}, kTwoDays));
}

// A date alone as the end of a range is the end of that day, not its first
// moment: the 18 UTC reports of the 8th are in "--until 2026-03-08".
TEST(Front, ADateAloneEndsAtTheEndOfThatDay)
{
    QTemporaryDir dir;
    const QString text = writeFile(dir, "two-days.txt", kTwoDays);
    for (const QString& program : {QStringLiteral(PLUVANE_SYNOP_CLI), QStringLiteral(PLUVANE_SYNOP_FULL)}) {
        const ToolRun day = run(program, {"--received=2026-03-09T01:00Z", "--since=2026-03-08", "--until=2026-03-08", text});
        EXPECT_EQ(day.exitCode, 0);
        EXPECT_EQ(day.out.count('\n'), 3) << day.out.toStdString();  // 10015 at 00, 10147 and DBBI at 18
        EXPECT_TRUE(day.out.contains("\"observed_utc\":\"2026-03-08T18:00:00Z\"")) << program.toStdString();
    }
}

// Plain decoding needs nothing but the front; without the full tool beside
// it, what needs the full tool fails with a message, and never silently.
TEST(Front, DecodesWithoutQtAndSaysSoWhenTheFullToolIsMissing)
{
    QFile program(QStringLiteral(PLUVANE_SYNOP_CLI));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_FALSE(program.readAll().contains("libQt6Core")) << "pluvane-synop loads Qt Core";

    QTemporaryDir dir;
    const QString alone = dir.filePath("pluvane-synop");
    ASSERT_TRUE(QFile::copy(QStringLiteral(PLUVANE_SYNOP_CLI), alone));
    const QString text = writeFile(dir, "two-days.txt", kTwoDays);
    const ToolRun decoded = run(alone, {"--received=2026-03-09T01:00Z", text});
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.out.count('\n'), 5);
    const ToolRun store = run(alone, {"--store=" + dir.filePath("log.sqlite"), text});
    EXPECT_EQ(store.exitCode, 1);
    EXPECT_TRUE(store.err.contains("cannot run pluvane-synop-full")) << store.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("log.sqlite")));
}

// Where the decimal point is a comma (German, French, Brazilian and other
// systems), the numbers written must still be the files' own: a comma
// would make four coordinates of a KML point's two and shift CSV columns.
TEST(Front, NumbersAreWrittenAlikeInEveryLocale)
{
    QTemporaryDir dir;
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"), {"-i", "de_DE", "-f", "UTF-8", dir.filePath("de_DE.UTF-8")});
    if (!localedef.waitForFinished(60000) || localedef.exitStatus() != QProcess::NormalExit
        || !QFile::exists(dir.filePath("de_DE.UTF-8")))
        GTEST_SKIP() << "no German locale could be made (localedef and Debian's locales package)";

    // Helgoland's latitude from the list (54.18333) has more figures than
    // tenths: CSV and KML write it as printf would, KML to four decimals.
    const QString text = writeFile(dir, "two-days.txt", kTwoDays);
    for (const QString& program : {QStringLiteral(PLUVANE_SYNOP_CLI), QStringLiteral(PLUVANE_SYNOP_FULL)}) {
        for (const char* format : {"kml", "csv", "json", "geojson"}) {
            const QStringList arguments = {"--received=2026-03-09T01:00Z", "--format", format, text};
            QProcess german;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("LOCPATH", dir.path());
            env.insert("LC_ALL", "de_DE.UTF-8");
            german.setProcessEnvironment(env);
            german.start(program, arguments);
            ASSERT_TRUE(german.waitForFinished(60000));
            const QByteArray inGerman = german.readAllStandardOutput();
            const ToolRun inC = run(program, arguments);
            EXPECT_EQ(inGerman.toStdString(), inC.out.toStdString()) << program.toStdString() << ' ' << format;
            if (QByteArray(format) == "kml") EXPECT_TRUE(inGerman.contains("<coordinates>7.9000,54.1833,4</coordinates>"));
        }
    }
}
