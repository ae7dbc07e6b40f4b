// A station log with a damaged page: found at open, kept aside byte for
// byte, and a new log started with exactly the rows that still read.
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <latch>
#include <sqlite3.h>
#include <thread>

using namespace synop;
using namespace synop::testing;

namespace {

struct Leaf {
    int page = 0;
    int rows = 0;
};

// The leaf pages of the reports table and how many rows each holds (dbstat).
std::vector<Leaf> reportLeaves(const QString& path, int* pageSize)
{
    std::vector<Leaf> leaves;
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT pageno, ncell FROM dbstat WHERE name = 'reports' AND pagetype = 'leaf' ORDER BY path",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) leaves.push_back({sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1)});
    sqlite3_finalize(stmt);
    sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr);
    if (sqlite3_step(stmt) == SQLITE_ROW) *pageSize = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return leaves;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A log of 300 reports of one bulletin, written and closed.
void writeLog(const QString& path, const QDateTime& received)
{
    ReportLog writer(path);
    ASSERT_TRUE(writer.beginBatch());
    for (const Cut& cut : cutReports(landBulletin(8, 6, 300))) ASSERT_TRUE(writer.store(cut.first, cut.second, received));
    ASSERT_TRUE(writer.commitBatch());
}

// Zeroes a leaf page from the middle of the reports table while the log is
// open elsewhere, then writes from a third connection, so that every open
// connection reads the file again rather than its cache. Gives the page's
// rows and the file's bytes as damaged.
void zeroAMiddlePageUnderOpenLogs(const QString& path, Leaf* lost, QByteArray* damaged)
{
    int pageSize = 0;
    const std::vector<Leaf> leaves = reportLeaves(path, &pageSize);
    ASSERT_GE(leaves.size(), 3u);
    *lost = leaves[leaves.size() / 2];
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.seek(qint64(lost->page - 1) * pageSize));
        ASSERT_EQ(file.write(QByteArray(pageSize, '\0')), pageSize);
    }
    *damaged = fileBytes(path);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    sqlite3_db_config(other, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO text_chunks(received_utc, source, text) VALUES (1, 'other', x'41')", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
}

}  // namespace

TEST(DamagedLog, AZeroedPageIsFoundAtOpenKeptAsideAndEveryRowThatReadsCarriedOver)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("reports.sqlite");
    const QDateTime received = utcAt("2026-12-08T06:20:00");
    {
        ReportLog log(path);
        ASSERT_TRUE(log.beginBatch());
        for (const Cut& cut : cutReports(landBulletin(8, 6, 300))) ASSERT_TRUE(log.store(cut.first, cut.second, received));
        ASSERT_TRUE(log.commitBatch());
        ASSERT_EQ(log.count({}), 300);
    }  // the last connection to close writes everything into the file
    int pageSize = 0;
    const std::vector<Leaf> leaves = reportLeaves(path, &pageSize);
    ASSERT_GE(leaves.size(), 3u);
    const Leaf lost = leaves[leaves.size() / 2];
    QByteArray damaged = fileBytes(path);
    damaged.replace((lost.page - 1) * pageSize, pageSize, QByteArray(pageSize, '\0'));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
    }

    ReportLog log(path);
    ASSERT_TRUE(log.isWritable()) << log.lastError().toStdString();
    const QString notice = log.openingNotice();
    EXPECT_TRUE(notice.contains("is damaged")) << notice.toStdString();
    EXPECT_TRUE(notice.contains(QStringLiteral("with the %1 reports").arg(300 - lost.rows))) << notice.toStdString();
    const QStringList aside = QDir(dir.path()).entryList({"reports.sqlite.damaged-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
    EXPECT_EQ(fileBytes(QDir(dir.path()).filePath(aside[0])), damaged);
    EXPECT_EQ(log.count({}), 300 - lost.rows);
    // The rows before and after the lost page are all there.
    const auto first = log.reports({}, 0, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].id, 1);
    const auto last = log.reportsFromEnd({}, 0, 1);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].id, 300);

    // The new log is healthy and takes new reports; reopening finds no damage.
    const char bulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n03772 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
    for (const Cut& cut : cutReports(bulletin)) EXPECT_TRUE(log.store(cut.first, cut.second, received));
    EXPECT_EQ(log.count({}), 300 - lost.rows + 1);
    ReportLog again(path);
    EXPECT_TRUE(again.openingNotice().isEmpty()) << again.openingNotice().toStdString();
    EXPECT_EQ(again.count({}), 300 - lost.rows + 1);
}

// Damage that appears while the log is open (a failing disk, another
// program) is dealt with by the first statement that meets it, a read as
// much as a write: the file goes aside at once, byte for byte, the read is
// answered from the new log, and the message is given once.
TEST(DamagedLog, AZeroedPageMetByAReadWhileOpenIsSetAsideAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("reports.sqlite");
    const QDateTime received = utcAt("2026-12-08T06:20:00");
    ASSERT_NO_FATAL_FAILURE(writeLog(path, received));
    ReportLog log(path);
    ASSERT_TRUE(log.isWritable()) << log.lastError().toStdString();
    ASSERT_TRUE(log.openingNotice().isEmpty());
    QStringList messages;
    log.onDamagedFileSetAside([&](const QString& message) { messages << message; });
    ASSERT_EQ(log.reports({}).size(), 300u);  // every page read once while whole

    Leaf lost;
    QByteArray damaged;
    ASSERT_NO_FATAL_FAILURE(zeroAMiddlePageUnderOpenLogs(path, &lost, &damaged));

    const auto listed = log.reports({});
    ASSERT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages[0].contains("is damaged") && messages[0].contains("kept as")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("with the %1 reports").arg(300 - lost.rows))) << messages[0].toStdString();
    EXPECT_EQ(listed.size(), size_t(300 - lost.rows));
    const QStringList aside = QDir(dir.path()).entryList({"reports.sqlite.damaged-*"}, QDir::Files);
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_EQ(fileBytes(QDir(dir.path()).filePath(aside[0])), damaged);
    EXPECT_EQ(log.text({}, {}).size(), 1u);  // the other front end's write, from the kept write-ahead log

    // The log goes on in the new file, and further reads and writes say nothing more.
    const char bulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n03772 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
    for (const Cut& cut : cutReports(bulletin)) EXPECT_TRUE(log.store(cut.first, cut.second, received));
    EXPECT_EQ(log.count({}), 300 - lost.rows + 1);
    EXPECT_EQ(messages.size(), 1);
    ReportLog again(path);
    EXPECT_TRUE(again.openingNotice().isEmpty()) << again.openingNotice().toStdString();
}

// Two front ends on one log that gets damaged: the first to meet the damage
// keeps the file aside and starts a new log; the second, meeting it later on
// its old connection, goes over to that new log instead of setting it aside
// in turn, and says so. Both then write into the one new log.
TEST(DamagedLog, TheSecondFrontEndToMeetTheDamageTakesUpTheNewLogOfTheFirst)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("reports.sqlite");
    const QDateTime received = utcAt("2026-12-08T06:20:00");
    ASSERT_NO_FATAL_FAILURE(writeLog(path, received));
    ReportLog first(path), second(path);
    ASSERT_TRUE(first.isWritable() && second.isWritable()) << second.lastError().toStdString();
    QStringList firstMessages, secondMessages;
    first.onDamagedFileSetAside([&](const QString& message) { firstMessages << message; });
    second.onDamagedFileSetAside([&](const QString& message) { secondMessages << message; });
    ASSERT_EQ(first.reports({}).size(), 300u);
    ASSERT_EQ(second.reports({}).size(), 300u);

    Leaf lost;
    QByteArray damaged;
    ASSERT_NO_FATAL_FAILURE(zeroAMiddlePageUnderOpenLogs(path, &lost, &damaged));

    const int64_t kept = 300 - lost.rows;
    ASSERT_EQ(first.reports({}).size(), size_t(kept));
    ASSERT_EQ(firstMessages.size(), 1);
    const char bulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n03772 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
    for (const Cut& cut : cutReports(bulletin)) ASSERT_TRUE(first.store(cut.first, cut.second, received));

    // The second meets the damage now, on the connection it opened before.
    EXPECT_EQ(second.reports({}).size(), size_t(kept + 1));
    ASSERT_EQ(secondMessages.size(), 1);
    EXPECT_TRUE(secondMessages[0].contains("already kept it aside")) << secondMessages[0].toStdString();
    EXPECT_FALSE(secondMessages[0].contains("kept as")) << secondMessages[0].toStdString();
    QStringList aside = QDir(dir.path()).entryList({"reports.sqlite.damaged-*"}, QDir::Files);
    aside = aside.filter(QRegularExpression("-[0-9]+$"));  // the files themselves, not their write-ahead logs
    ASSERT_EQ(aside.size(), 1) << aside.join(' ').toStdString();
    EXPECT_EQ(fileBytes(QDir(dir.path()).filePath(aside[0])), damaged);

    // One log from here on: what either stores, both see.
    const char another[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n03773 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
    for (const Cut& cut : cutReports(another)) ASSERT_TRUE(second.store(cut.first, cut.second, received));
    EXPECT_EQ(first.count({}), kept + 2);
    EXPECT_EQ(second.count({}), kept + 2);
    EXPECT_EQ(firstMessages.size(), 1);
    EXPECT_EQ(secondMessages.size(), 1);
}

// Two front ends that meet the damage at the same moment: one checks and
// moves the file while the other waits, so exactly one file is set aside,
// byte for byte, and neither moves the other's new log away from under it.
TEST(DamagedLog, TwoFrontEndsMeetingTheDamageAtOnceSetOneFileAside)
{
    const QDateTime received = utcAt("2026-12-08T06:20:00");
    for (int round = 0; round < 8; ++round) {
        QTemporaryDir dir;
        const QString path = dir.filePath("reports.sqlite");
        ASSERT_NO_FATAL_FAILURE(writeLog(path, received));
        ReportLog first(path), second(path);
        ASSERT_EQ(first.reports({}).size(), 300u);
        ASSERT_EQ(second.reports({}).size(), 300u);
        Leaf lost;
        QByteArray damaged;
        ASSERT_NO_FATAL_FAILURE(zeroAMiddlePageUnderOpenLogs(path, &lost, &damaged));

        std::latch start(2);
        size_t firstSees = 0, secondSees = 0;
        std::thread a([&] {
            start.arrive_and_wait();
            firstSees = first.reports({}).size();
        });
        std::thread b([&] {
            start.arrive_and_wait();
            secondSees = second.reports({}).size();
        });
        a.join();
        b.join();
        const size_t kept = size_t(300 - lost.rows);
        EXPECT_EQ(firstSees, kept) << "round " << round << ": " << first.lastError().toStdString();
        EXPECT_EQ(secondSees, kept) << "round " << round << ": " << second.lastError().toStdString();
        QStringList aside = QDir(dir.path()).entryList({"reports.sqlite.damaged-*"}, QDir::Files);
        aside = aside.filter(QRegularExpression("-[0-9]+$"));
        ASSERT_EQ(aside.size(), 1) << "round " << round << ": " << aside.join(' ').toStdString();
        EXPECT_EQ(fileBytes(QDir(dir.path()).filePath(aside[0])), damaged) << "round " << round;

        const char bulletin[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n03772 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
        for (const Cut& cut : cutReports(bulletin)) ASSERT_TRUE(first.store(cut.first, cut.second, received));
        EXPECT_EQ(second.count({}), int64_t(kept + 1)) << "round " << round;
    }
}
