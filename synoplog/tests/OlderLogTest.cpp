// A log written by the previous version (data/schema2-log.sqlite, see
// data/README.md) opened by this one: the same reports under every filter
// the window and pluvane-synop apply, and new reports stored beside them.
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace synop;
using namespace synop::testing;

namespace {

// The ids the previous version's own queries select, asked of the file as it wrote it.
std::vector<int64_t> idsByOldQuery(const QString& path, const std::string& where)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, ("SELECT id FROM reports WHERE " + where + " ORDER BY id").c_str(), -1, &stmt, nullptr);
    std::vector<int64_t> ids;
    while (sqlite3_step(stmt) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return ids;
}

std::vector<int64_t> idsOf(const std::vector<LoggedReport>& reports)
{
    std::vector<int64_t> ids;
    for (const LoggedReport& r : reports) ids.push_back(r.id);
    return ids;
}

}  // namespace

TEST(OlderLog, ListsTheSameReportsUnderEveryFilterAndTakesNewOnes)
{
    QTemporaryDir dir;
    const QString pristine = dir.filePath("as-written.sqlite"), path = dir.filePath("reports.sqlite");
    ASSERT_TRUE(QFile::copy(QStringLiteral(SYNOPLOG_TEST_DATA "/schema2-log.sqlite"), pristine));
    ASSERT_TRUE(QFile::copy(pristine, path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);

    struct Case {
        ReportFilter filter;
        std::string oldWhere;
    };
    std::vector<Case> cases;
    // Station, name, country, heading and raw text; then words that only
    // the decoded weather and clouds hold, which this version no longer stores.
    for (const char* text : {"argentina", "AEROPARQUE", "8758", "smpr01", "helgoland", "nil", "snow", "shower", "fog",
                             "cloud", "no such text"}) {
        ReportFilter f;
        f.text = text;
        cases.push_back({f, "superseded_by IS NULL AND instr(search_text, lower('" + std::string(text) + "')) > 0"});
        f.withHistory = true;
        cases.push_back({f, "instr(search_text, lower('" + std::string(text) + "')) > 0"});
    }
    ReportFilter noNil;
    noNil.withNil = false;
    cases.push_back({noNil, "superseded_by IS NULL AND json_extract(decoded, '$.nil') IS NULL"});
    ReportFilter warned;
    warned.onlyWarned = true;
    cases.push_back({warned, "superseded_by IS NULL AND warning_count > 0"});
    ReportFilter ships;
    ships.form = ReportForm::Ship;
    cases.push_back({ships, "superseded_by IS NULL AND form = 'BBXX'"});
    ReportFilter lastDays;
    lastDays.fromUtc = utcAt("2026-12-01T00:00:00");
    lastDays.rangeOnObservation = true;
    cases.push_back({lastDays, "superseded_by IS NULL AND report_time >= 1796083200000"});

    ReportLog log(path);
    ASSERT_TRUE(log.isWritable()) << log.lastError().toStdString();
    sqlite3* check = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &check, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* version = nullptr;
    sqlite3_prepare_v2(check, "PRAGMA user_version", -1, &version, nullptr);
    ASSERT_EQ(sqlite3_step(version), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(version, 0), ReportLog::kSchemaVersion);
    sqlite3_finalize(version);
    sqlite3_close(check);

    for (const Case& c : cases) {
        const std::vector<int64_t> expected = idsByOldQuery(pristine, c.oldWhere);
        EXPECT_EQ(idsOf(log.reports(c.filter)), expected) << c.oldWhere;
        EXPECT_EQ(log.count(c.filter), static_cast<int64_t>(expected.size())) << c.oldWhere;
    }
    ReportFilter all;
    all.withHistory = true;
    EXPECT_EQ(log.count(all), 54);
    const auto helgoland = log.reports([] { ReportFilter f; f.station = "10015"; f.withHistory = true; return f; }());
    ASSERT_EQ(helgoland.size(), 2u);
    EXPECT_EQ(helgoland[0].supersededBy, helgoland[1].id);  // the correction keeps what it replaced
    EXPECT_EQ(helgoland[1].timesHeard, 2);
    EXPECT_DOUBLE_EQ(*helgoland[1].report.airTempC, 6.6);
    EXPECT_EQ(helgoland[1].place.name, "Helgoland");

    // A report the old version stored, heard again, is a repeat of its row;
    // a new one is added and found by the same filters, also by a text just
    // asked for (whose answers are kept for the rows already there).
    ReportFilter byName;
    byName.text = "helgoland";
    EXPECT_EQ(log.count(byName), 1);
    const std::vector<Cut> again =
        cutReports("SMDL01 EDZW 080600 CCA\r\nAAXX 08061\r\n10015 41460 72315 10066 20039 39963 40012 57008 78582=\r\n");
    ASSERT_EQ(again.size(), 1u);
    const auto repeat = log.store(again[0].first, again[0].second, utcAt("2026-12-08T07:00:00"));
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->outcome, StoreOutcome::Repeat);
    EXPECT_EQ(repeat->id, helgoland[1].id);
    const std::vector<Cut> fresh = cutReports("SMDL01 EDZW 080900\r\nAAXX 08091\r\n10015 41460 72315 10071 20039 39963 "
                                              "40012 57008 78582=\r\n10020 NIL=\r\n");
    for (const Cut& cut : fresh) ASSERT_TRUE(log.store(cut.first, cut.second, utcAt("2026-12-08T09:20:00")));
    EXPECT_EQ(log.count(byName), 2);
    EXPECT_EQ(log.count(noNil), static_cast<int64_t>(idsByOldQuery(pristine, cases[cases.size() - 4].oldWhere).size()) + 1);
    EXPECT_EQ(log.count({}), static_cast<int64_t>(idsByOldQuery(pristine, "superseded_by IS NULL").size()) + 2);
}
