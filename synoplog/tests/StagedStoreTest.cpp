// Storing keeps a batch's new reports and the readings it has met in
// memory: what another connection writes meanwhile, a batch rolled back and
// a read inside a batch must still give the answers the log's rows give.
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace synop;
using namespace synop::testing;

namespace {

struct Outcomes {
    int added = 0, repeats = 0, corrections = 0, others = 0, failed = 0;
};

// Each text cut on its own, so that the assembler drops no repeat among them.
Outcomes storeBatch(ReportLog& log, const std::vector<std::string>& texts, const QDateTime& at)
{
    Outcomes o;
    if (!log.beginBatch()) return {0, 0, 0, 0, 1};
    std::vector<Cut> cuts;
    for (const std::string& text : texts)
        for (Cut& cut : cutReports(text)) cuts.push_back(std::move(cut));
    for (const Cut& cut : cuts) {
        const auto result = log.store(cut.first, cut.second, at);
        if (!result) ++o.failed;
        else if (result->outcome == StoreOutcome::Added) ++o.added;
        else if (result->outcome == StoreOutcome::Repeat) ++o.repeats;
        else if (result->outcome == StoreOutcome::Correction) ++o.corrections;
        else ++o.others;
    }
    if (!log.commitBatch()) ++o.failed;
    return o;
}

int64_t totalTimesHeard(const ReportLog& log)
{
    ReportFilter all;
    all.withHistory = true;
    all.withGroupMeanings = false;
    int64_t heard = 0;
    log.forEach(all, [&](const LoggedReport& r) {
        heard += r.timesHeard;
        return true;
    });
    return heard;
}

struct TwoConnections : ::testing::Test {
    QTemporaryDir dir;
    QString path() const { return dir.filePath("reports.sqlite"); }
    const QDateTime received = utcAt("2026-12-08T06:20:00");
};

}  // namespace

// Enough stations that the first connection reads every key of the log
// once instead of looking each one up; what the second writes after that
// must still be found.
TEST_F(TwoConnections, EachSeesWhatTheOtherStoredBetweenItsBatches)
{
    ReportLog first(path()), second(path());
    ASSERT_TRUE(first.isWritable() && second.isWritable());
    const std::string sixUtc = landBulletin(8, 6, 150), nineUtc = landBulletin(8, 9, 150);

    EXPECT_EQ(storeBatch(first, {sixUtc}, received).added, 150);
    EXPECT_EQ(storeBatch(second, {nineUtc}, received).added, 150);
    EXPECT_EQ(storeBatch(second, {sixUtc}, received).repeats, 150);

    // The second's reports and their repeats, heard again by the first.
    Outcomes o = storeBatch(first, {nineUtc, sixUtc}, received.addSecs(600));
    EXPECT_EQ(o.repeats, 300);
    EXPECT_EQ(o.added + o.others + o.failed, 0);

    // A correction stored by one replaces what the other stored; the other
    // then counts the first issue on the history row and keeps the correction.
    o = storeBatch(second, {landBulletin(8, 6, 150, "CCA", 1)}, received.addSecs(1200));
    EXPECT_EQ(o.corrections, 150);
    o = storeBatch(first, {sixUtc}, received.addSecs(1800));
    EXPECT_EQ(o.repeats, 150);
    ReportFilter current;
    current.withGroupMeanings = false;
    EXPECT_EQ(first.count(current), 300);
    EXPECT_EQ(second.count(current), 300);
    EXPECT_EQ(totalTimesHeard(first), 150 * 4 + 150 * 2 + 150);
    for (const LoggedReport& r : first.reports(current)) {
        if (r.report.heading && r.report.heading->bbb == "CCA") ASSERT_EQ(first.replacedBy(r.id).size(), 1u);
    }
}

// The ids a rolled-back batch had given out are taken by another writer:
// its reports must be found under them, not taken for the ones never written.
TEST_F(TwoConnections, ABatchRolledBackLeavesNothingBehindInEither)
{
    ReportLog first(path()), second(path());
    EXPECT_EQ(storeBatch(first, {landBulletin(8, 6, 100)}, received).added, 100);

    ASSERT_TRUE(first.beginBatch());
    for (const Cut& cut : cutReports(landBulletin(8, 12, 100))) ASSERT_TRUE(first.store(cut.first, cut.second, received));
    first.rollbackBatch();
    EXPECT_EQ(first.count({}), 100);

    EXPECT_EQ(storeBatch(second, {landBulletin(8, 12, 100, "", 1)}, received).added, 100);
    Outcomes o = storeBatch(first, {landBulletin(8, 12, 100, "", 1)}, received);
    EXPECT_EQ(o.repeats, 100);
    o = storeBatch(first, {landBulletin(8, 12, 100)}, received);
    EXPECT_EQ(o.others, 100);  // the readings rolled back are new again, beside the second's
    EXPECT_EQ(second.count({}), 300);
    EXPECT_EQ(totalTimesHeard(second), 400);
}

TEST_F(TwoConnections, AReadInsideABatchSeesItsReportsAndARollbackTakesThemBack)
{
    ReportLog log(path());
    ASSERT_TRUE(log.beginBatch());
    const std::vector<Cut> cuts = cutReports(landBulletin(8, 6, 3) + landBulletin(8, 6, 3, "CCA", 1));
    int64_t firstId = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        const auto result = log.store(cuts[i].first, cuts[i].second, received);
        ASSERT_TRUE(result);
        if (i == 0) firstId = result->id;
        if (i == 2) {
            EXPECT_EQ(log.count({}), 3);  // written before the read, still inside the batch
            EXPECT_EQ(log.lastId(), result->id);
        }
    }
    // Corrections replace readings written inside this batch and staged ones alike.
    ReportFilter all;
    all.withHistory = true;
    EXPECT_EQ(log.count(all), 6);
    EXPECT_EQ(log.count({}), 3);
    ASSERT_EQ(log.report(firstId)->supersededBy, firstId + 3);
    log.rollbackBatch();
    EXPECT_EQ(log.count(all), 0);

    // Stored again, in one batch, with the first issue heard again after its correction.
    const Outcomes o = storeBatch(log, {landBulletin(8, 6, 3), landBulletin(8, 6, 3, "CCA", 1), landBulletin(8, 6, 3)}, received);
    EXPECT_EQ(o.added, 3);
    EXPECT_EQ(o.corrections, 3);
    EXPECT_EQ(o.repeats, 3);
    ASSERT_EQ(log.count({}), 3);
    for (const LoggedReport& r : log.reports({})) {
        const auto history = log.replacedBy(r.id);
        ASSERT_EQ(history.size(), 1u);
        EXPECT_EQ(history[0].timesHeard, 2);
        EXPECT_EQ(r.timesHeard, 1);
    }
}

// Repeats of rows written in earlier batches are counted up when the batch
// is written: a read inside the batch sees them, a rollback takes them back,
// and the last hearing is the latest whatever the order heard.
TEST_F(TwoConnections, RepeatsOfWrittenRowsCountWhenTheBatchIsWritten)
{
    ReportLog log(path()), other(path());
    const std::string bulletin = landBulletin(8, 6, 40);  // a full statement of 32 rows and 8 more
    EXPECT_EQ(storeBatch(log, {bulletin}, received).added, 40);
    const std::vector<Cut> cuts = cutReports(bulletin);
    auto hearTwice = [&] {
        for (const QDateTime& at : {received.addSecs(1200), received.addSecs(600)})
            for (const Cut& cut : cuts) ASSERT_EQ(log.store(cut.first, cut.second, at)->outcome, StoreOutcome::Repeat);
    };

    ASSERT_TRUE(log.beginBatch());
    hearTwice();
    log.rollbackBatch();
    EXPECT_EQ(totalTimesHeard(other), 40);

    ASSERT_TRUE(log.beginBatch());
    hearTwice();
    EXPECT_EQ(totalTimesHeard(log), 40 * 3);
    ASSERT_TRUE(log.commitBatch());
    EXPECT_EQ(totalTimesHeard(other), 40 * 3);
    ReportFilter all;
    all.withGroupMeanings = false;
    for (const LoggedReport& r : other.reports(all)) EXPECT_EQ(r.lastHeardUtc, received.addSecs(1200));
}
