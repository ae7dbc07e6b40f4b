// The station log against real SQLite files in temporary folders.
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"
#include "synoplog/ReportSearch.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace synop;
using namespace synop::testing;

namespace {

const char kHelgoland[] = "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n";
const char kHelgolandCorrected[] =
    "SMDL01 EDZW 080600 CCA\r\nAAXX 08061\r\n10015 41460 72315 10066 20039 39963 40012 57008 78582=\r\n";

struct LogFolder : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("pluvane/reports.sqlite"); }
    const QDateTime received = utcAt("2026-12-08T06:20:00");

    int storeAll(ReportLog& log, const std::string& text, const QDateTime& at, StoreOutcome* last = nullptr)
    {
        int stored = 0;
        for (const Cut& cut : cutReports(text)) {
            auto result = log.store(cut.first, cut.second, at);
            if (!result) continue;
            ++stored;
            if (last) *last = result->outcome;
        }
        return stored;
    }
};

std::string pragma(const QString& path, const char* name)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, (std::string("PRAGMA ") + name).c_str(), -1, &stmt, nullptr);
    std::string value = sqlite3_step(stmt) == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)) : "";
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}
bool hasWarning(const DecodedReport& report, const std::string& part)
{
    return std::any_of(report.warnings.begin(), report.warnings.end(),
                       [&](const std::string& w) { return w.find(part) != std::string::npos; });
}

int64_t userVersion(const QString& path)
{
    const std::string value = pragma(path, "user_version");
    return value.empty() ? 0 : std::stoll(value);
}

}  // namespace

TEST_F(LogFolder, ReportsComeBackDecodedWithPlaceAndTimes)
{
    {
        ReportLog log(path());  // the folders do not exist yet
        ASSERT_TRUE(log.isWritable()) << log.lastError().toStdString();
        ASSERT_EQ(storeAll(log, kHelgoland, received), 1);
        ASSERT_TRUE(log.storeText("ZCZC 001\r\n", received, "card 1"));
    }
    EXPECT_EQ(userVersion(path()), ReportLog::kSchemaVersion);
    EXPECT_EQ(pragma(path(), "journal_mode"), "wal");  // readers never wait for a writer

    ReportLog log(path());  // a new instance reads what the first one wrote
    ASSERT_EQ(log.count({}), 1);
    const LoggedReport r = log.reports({}).at(0);
    EXPECT_EQ(r.report.station, "10015");
    EXPECT_DOUBLE_EQ(*r.report.airTempC, 5.6);
    EXPECT_FALSE(r.report.groups.empty());  // decoded again with each group's meaning
    EXPECT_EQ(r.report.heading->ttaaii, "SMDL01");
    EXPECT_EQ(r.observedUtc, utcAt("2026-12-08T06:00:00"));
    EXPECT_EQ(r.receivedUtc, received);
    EXPECT_EQ(r.place.name, "Helgoland");
    EXPECT_EQ(r.place.country, "Germany");
    EXPECT_NEAR(*r.place.lat, 54.18, 0.01);
    EXPECT_NEAR(*r.place.lon, 7.9, 0.01);
    EXPECT_EQ(r.place.elevationM, 4);

    const auto text = log.text({}, {});
    ASSERT_EQ(text.size(), 1u);
    EXPECT_EQ(text[0].text, "ZCZC 001\r\n");
    EXPECT_EQ(text[0].source, "card 1");
    EXPECT_EQ(text[0].receivedUtc, received);
}

TEST_F(LogFolder, ARepeatedBulletinIsOneRow)
{
    ReportLog log(path());
    const std::string bulletin = landBulletin(8, 6, 20);
    ASSERT_EQ(storeAll(log, bulletin, received), 20);
    StoreOutcome outcome = StoreOutcome::Added;
    // Repeated an hour later, with different line breaks.
    std::string repeat = bulletin;
    repeat.replace(repeat.find(" 20004"), 1, "\r\n");
    ASSERT_EQ(storeAll(log, repeat, received.addSecs(3600), &outcome), 20);
    EXPECT_EQ(outcome, StoreOutcome::Repeat);
    EXPECT_EQ(log.count({}), 20);
    ReportFilter all;
    all.withHistory = true;
    EXPECT_EQ(log.count(all), 20);
    const LoggedReport first = log.reports({}, 0, 1).at(0);
    EXPECT_EQ(first.timesHeard, 2);
    EXPECT_EQ(first.lastHeardUtc, received.addSecs(3600));
    EXPECT_EQ(first.receivedUtc, received);

    // The same figures for another day are another report.
    EXPECT_EQ(storeAll(log, landBulletin(9, 6, 20), received.addDays(1), &outcome), 20);
    EXPECT_EQ(outcome, StoreOutcome::Added);
    EXPECT_EQ(log.count({}), 40);
}

TEST_F(LogFolder, ACorrectionReplacesWhatItCorrectsAndKeepsItAsHistory)
{
    ReportLog log(path());
    storeAll(log, kHelgoland, received);
    const int64_t firstId = log.lastId();
    StoreOutcome outcome = StoreOutcome::Added;
    storeAll(log, kHelgolandCorrected, received.addSecs(600), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::Correction);
    ASSERT_EQ(log.count({}), 1);
    const LoggedReport current = log.reports({}).at(0);
    EXPECT_DOUBLE_EQ(*current.report.airTempC, 6.6);
    const auto history = log.replacedBy(current.id);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].id, firstId);
    EXPECT_DOUBLE_EQ(*history[0].report.airTempC, 5.6);

    // The first issue heard again, and a CCA arriving after the CCB it
    // precedes, leave the latest correction in force.
    storeAll(log, kHelgoland, received.addSecs(1200), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::Repeat);
    std::string ccb = kHelgolandCorrected;
    ccb.replace(ccb.find("CCA"), 3, "CCB").replace(ccb.find("10066"), 5, "10076");
    storeAll(log, ccb, received.addSecs(1800), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::Correction);
    std::string lateCca = kHelgolandCorrected;
    lateCca.replace(lateCca.find("39963"), 5, "39964");
    storeAll(log, lateCca, received.addSecs(2400), &outcome);
    ASSERT_EQ(log.count({}), 1);
    EXPECT_DOUBLE_EQ(*log.reports({}).at(0).report.airTempC, 7.6);
    EXPECT_EQ(log.replacedBy(log.reports({}).at(0).id).size(), 3u);  // first issue, CCA, late CCA
}

TEST_F(LogFolder, OtherReadingsOfAStationAndHourStayListed)
{
    ReportLog log(path());
    // Two copies through noise that differ: neither may hide the other.
    storeAll(log, "AAXX 08061\r\n10015 41460 72315 1056 20039 39963 40012 57008 78582=\r\n", received);
    StoreOutcome outcome = StoreOutcome::Added;
    storeAll(log, kHelgoland, received.addSecs(300), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::OtherCopy);
    storeAll(log, "AAXX 08061\r\n10015 41460 72315 10056 2039 39963 40012 57008 78582=\r\n", received.addSecs(600),
             &outcome);
    EXPECT_EQ(outcome, StoreOutcome::OtherCopy);
    EXPECT_EQ(log.count({}), 3);
    // Each heard again is counted on its own row.
    storeAll(log, kHelgoland, received.addSecs(900), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::Repeat);
    EXPECT_EQ(log.reports({}).at(1).timesHeard, 2);

    // A station's 15 UTC report, and a misdated copy of it in the 06 UTC
    // bulletin of the same day: both listed, the misdated one flagged.
    const char* misdated = "SMAG01 SABM 090600\r\nAAXX 09151\r\n87576 32997 12108 10223 20165 30117 40142 58010=\r\n";
    const char* real = "SMAG01 SABM 091500\r\nAAXX 09151\r\n87576 32997 11806 10281 20152 30092 40117 57006=\r\n";
    const QDateTime afternoon = utcAt("2026-12-09T15:20:00");
    storeAll(log, misdated, afternoon);
    storeAll(log, real, afternoon.addSecs(60), &outcome);
    ReportFilter ezeiza;
    ezeiza.station = "87576";
    const auto both = log.reports(ezeiza);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_TRUE(hasWarning(both[0].report, "the bulletin heading 090600 says day 9, 06 UTC"));
    EXPECT_TRUE(both[1].report.warnings.empty());
    EXPECT_DOUBLE_EQ(*both[1].report.airTempC, 28.1);

    // A correction of the 15 UTC bulletin replaces its own report only.
    storeAll(log, "SMAG01 SABM 091500 CCA\r\nAAXX 09151\r\n87576 32997 11806 10271 20152 30092 40117 57006=\r\n",
             afternoon.addSecs(600), &outcome);
    EXPECT_EQ(outcome, StoreOutcome::Correction);
    const auto now = log.reports(ezeiza);
    ASSERT_EQ(now.size(), 2u);
    EXPECT_TRUE(hasWarning(now[0].report, "bulletin heading"));
    EXPECT_DOUBLE_EQ(*now[1].report.airTempC, 27.1);
    ASSERT_EQ(log.replacedBy(now[1].id).size(), 1u);
    EXPECT_DOUBLE_EQ(*log.replacedBy(now[1].id).at(0).report.airTempC, 28.1);
}

TEST_F(LogFolder, AnOlderLogListsTheReadingsItHid)
{
    {
        ReportLog log(path());
        storeAll(log, "AAXX 08061\r\n10015 41460 72315 1056 20039 39963 40012 57008 78582=\r\n", received);
        storeAll(log, kHelgoland, received.addSecs(300));
        storeAll(log, kHelgolandCorrected, received.addSecs(600));
    }
    // As version 1 left it: the noisier reading hidden behind the cleaner
    // one, and both behind the correction.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path()).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE reports SET superseded_by = 2 WHERE id = 1; UPDATE reports SET superseded_by = NULL "
                               "WHERE id = 3; PRAGMA user_version = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    ReportLog log(path());
    EXPECT_EQ(userVersion(path()), ReportLog::kSchemaVersion);
    ASSERT_TRUE(log.isWritable());
    EXPECT_EQ(log.count({}), 2);  // the hidden reading listed again beside the correction
    EXPECT_EQ(log.replacedBy(3).size(), 1u);  // which keeps what it replaced
    ReportFilter all;
    all.withHistory = true;
    EXPECT_EQ(log.count(all), 3);
}

TEST_F(LogFolder, FiltersByTimeStationCountryAndText)
{
    ReportLog log(path());
    storeAll(log, landBulletin(7, 6, 30), utcAt("2026-12-07T06:20:00"));
    storeAll(log, landBulletin(8, 6, 30), received);
    storeAll(log, "BBXX\r\nDBBI 08064 99599 70227 41/98 62505 10131 49934 22259 00149=\r\n", received);

    ReportFilter lastDay;
    lastDay.fromUtc = received.addDays(-1).addSecs(3600);
    EXPECT_EQ(log.count(lastDay), 31);
    ReportFilter station;
    station.station = "10015";
    EXPECT_EQ(log.count(station), 2);
    EXPECT_EQ(log.stationHistory(ReportForm::Land, "10015", {}, {}).front().observedUtc, utcAt("2026-12-07T06:00:00"));
    ReportFilter text;
    text.text = "HELGO";
    EXPECT_EQ(log.count(text), 2);
    text.text = "50%_";  // no LIKE wildcards in a user's text
    EXPECT_EQ(log.count(text), 0);

    // The log's selection and the one applied to reports held in memory agree.
    storeAll(log, "AAXX 08061\r\n10035 NIL=\r\n", received);
    std::vector<ReportFilter> filters(8);
    filters[0].country = "GERMANY";
    filters[1].text = "shower";
    filters[2].text = "smdl01";
    filters[3] = lastDay;
    filters[3].station = "10001";
    filters[4].toUtc = utcAt("2026-12-07T06:00:00");
    filters[5].form = ReportForm::Ship;
    filters[5].withHistory = true;
    filters[6].onlyWarned = true;
    filters[7].withNil = false;
    filters[7].uptoId = log.lastId();
    const std::vector<LoggedReport> everything = log.reports({});
    for (const ReportFilter& f : filters) {
        const auto selected = std::count_if(everything.begin(), everything.end(), [&](auto& r) { return matches(r, f); });
        EXPECT_EQ(log.count(f), selected);
        EXPECT_GT(selected, 0);
        EXPECT_LT(selected, everything.size());
        // Counted no further than asked.
        EXPECT_EQ(log.count(f, selected), selected);
        EXPECT_EQ(log.count(f, selected + 5), selected);
        if (selected > 1) EXPECT_EQ(log.count(f, selected - 1), selected - 1);
    }

    const auto ships = log.reports([] { ReportFilter f; f.form = ReportForm::Ship; return f; }());
    ASSERT_EQ(ships.size(), 1u);
    EXPECT_TRUE(ships[0].place.reportedPosition);
    EXPECT_NEAR(*ships[0].place.lat, 59.9, 0.01);
    EXPECT_NEAR(*ships[0].place.lon, -22.7, 0.01);  // quadrant 7: west

    // Paging: the pages together are the whole selection, in order.
    std::vector<int64_t> ids;
    for (int64_t offset = 0; offset < 62; offset += 25)
        for (const LoggedReport& r : log.reports({}, offset, 25)) ids.push_back(r.id);
    ASSERT_EQ(ids.size(), 62u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(log.position({}, ids[40]), 40);
    ReportFilter after;
    after.afterId = ids[60];
    EXPECT_EQ(log.count(after), 1);
}

// The filter keeps what decoding added to each row and the noes of the text
// it was typed on from: typed on, typed back, and changed, it must still
// find what the reports' own search text holds.
TEST_F(LogFolder, TheTextFilterAgreesWithTheReportsAsTheUserTypes)
{
    ReportLog log(path());
    storeAll(log, landBulletin(8, 6, 40), received);
    storeAll(log, landBulletin(8, 9, 40, "", 3), received);
    storeAll(log, "SMDL01 EDZW 081200\r\nAAXX 08121\r\n10015 NIL=\r\n", received);
    const std::vector<LoggedReport> all = log.reports({});
    ASSERT_EQ(all.size(), 81u);
    for (const char* typed : {"s", "sh", "sho", "showers", "shower", "rain", "rai", "ra", "helgoland", "edzw 0806",
                              "eland\n10015", "nil", "ni", "no such words", "10015 114"}) {
        ReportFilter f;
        f.text = typed;
        const auto expected = std::count_if(all.begin(), all.end(), [&](const LoggedReport& r) { return matches(r, f); });
        EXPECT_EQ(log.count(f), expected) << typed;
        EXPECT_EQ(static_cast<long>(log.reports(f).size()), expected) << typed;
    }
    ReportFilter f;
    f.text = "shower";
    EXPECT_GT(log.count(f), 0);  // found in the decoded weather alone
    EXPECT_LT(log.count(f), 81);
}

TEST_F(LogFolder, AReadOnlyFolderOrFileIsReportedAndNothingIsLost)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    const QByteArray folder = QFile::encodeName(QFileInfo(path()).absolutePath());
    ::chmod(folder.constData(), 0555);
    {
        ReportLog log(path());
        EXPECT_FALSE(log.isWritable());
        EXPECT_TRUE(log.lastError().contains("read-only")) << log.lastError().toStdString();
        EXPECT_FALSE(log.store(cutReports(kHelgoland)[0].first, cutReports(kHelgoland)[0].second, received));
        EXPECT_EQ(log.count({}), 0);
    }
    ::chmod(folder.constData(), 0755);
    {
        ReportLog log(path());
        ASSERT_EQ(storeAll(log, kHelgoland, received), 1);
    }
    ::chmod(QFile::encodeName(path()).constData(), 0444);
    ReportLog log(path());
    EXPECT_FALSE(log.isWritable());
    EXPECT_TRUE(log.lastError().contains("read-only"));
    EXPECT_EQ(log.count({}), 1);  // what is there can still be listed
    EXPECT_EQ(storeAll(log, landBulletin(8, 6, 2), received), 0);
    ::chmod(QFile::encodeName(path()).constData(), 0644);
}

TEST_F(LogFolder, AFullDiskFailsTheBatchAndKeepsWhatWasThere)
{
    ReportLog log(path());
    storeAll(log, kHelgoland, received);
    log.setPageLimit(12);
    ASSERT_TRUE(log.beginBatch());
    bool failed = false;
    for (const Cut& cut : cutReports(landBulletin(8, 6, 400)))
        if (!log.store(cut.first, cut.second, received)) {
            failed = true;
            break;
        }
    if (!failed) failed = !log.commitBatch();
    else log.rollbackBatch();
    ASSERT_TRUE(failed);
    EXPECT_TRUE(log.lastError().contains("full")) << log.lastError().toStdString();
    EXPECT_EQ(log.count({}), 1);
    log.setPageLimit(1 << 30);
    EXPECT_EQ(storeAll(log, landBulletin(8, 6, 3), received), 3);  // room again: storing goes on
}

TEST_F(LogFolder, ADamagedFileIsSetAsideNotOverwritten)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path()).absolutePath()));
    QFile junk(path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    const QByteArray content(8192, 'x');
    junk.write(content);
    junk.close();

    ReportLog log(path());
    ASSERT_TRUE(log.isWritable()) << log.lastError().toStdString();
    EXPECT_TRUE(log.openingNotice().contains("kept as")) << log.openingNotice().toStdString();
    const QStringList aside = QFileInfo(path()).absoluteDir().entryList({"reports.sqlite.damaged-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QFileInfo(path()).absoluteDir().filePath(aside[0]));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), content);
    EXPECT_EQ(storeAll(log, kHelgoland, received), 1);
}

TEST_F(LogFolder, AFileFromANewerVersionIsReadButNotWritten)
{
    {
        ReportLog log(path());
        storeAll(log, kHelgoland, received);
    }
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path()).constData(), &db);
    sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr);
    sqlite3_close(db);

    ReportLog log(path());
    EXPECT_FALSE(log.isWritable());
    EXPECT_TRUE(log.lastError().contains("newer version"));
    EXPECT_EQ(log.count({}), 1);
    EXPECT_EQ(userVersion(path()), 99);
}

TEST_F(LogFolder, OldTrafficDecodedNowIsInTodaysRange)
{
    ReportLog log(path());
    const QDateTime now = utcAt("2027-01-20T10:00:00");
    storeAll(log, landBulletin(8, 6, 3), now);  // a recording from the 8th, played today
    ReportFilter lastDay;
    lastDay.fromUtc = now.addDays(-1);
    EXPECT_EQ(log.count(lastDay), 3);
    EXPECT_EQ(log.reports(lastDay).front().observedUtc, utcAt("2027-01-08T06:00:00"));
    // A range meets the report when it meets its span from observation to reception.
    ReportFilter range;
    range.fromUtc = utcAt("2027-01-01T00:00:00");
    range.toUtc = utcAt("2027-01-08T05:59:00");
    EXPECT_EQ(log.count(range), 0);
    range.toUtc = utcAt("2027-01-08T06:00:00");
    EXPECT_EQ(log.count(range), 3);
    range.fromUtc = utcAt("2027-01-20T10:00:01");
    range.toUtc = QDateTime();
    EXPECT_EQ(log.count(range), 0);
}

TEST(ReportSearchText, LowerCaseAsQtLowersIt)
{
    // ASCII text is lowered in place, anything else by Qt: both give what
    // Qt's Unicode lowering gives, so that a search finds the same reports.
    DecodedReport r;
    r.station = "10147";
    r.raw = "10147 12970 61512 10062 21011 30110 40136 52004=\nQPPRQ Zz";
    r.warnings = {"Group QPPRQ read as 10041 (letters/figures shift)"};
    r.presentWeatherText = "Rain, Not Freezing";
    StationPlace place;
    place.name = "Hamburg-Fuhlsbuettel";
    place.country = "Germany";
    for (const char* name : {"Hamburg-Fuhlsbuettel", "K\xc3\xb8" "benhavn/Kastrup", "\xc3\x84HT\xc3\x84RI", "Ma\xc3\xa7\xc3\xa3"}) {
        place.name = name;
        const std::string text = searchText(r, place);
        std::string whole = r.station + '\n' + place.name + '\n' + place.country + '\n' + r.presentWeatherText + '\n'
                            + r.warnings[0] + '\n' + r.raw;
        EXPECT_EQ(text, QString::fromStdString(whole).toLower().toStdString()) << name;
    }
}
