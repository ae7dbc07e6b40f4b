// Two front ends write into one log at the same moment: nothing is lost,
// and a bulletin both of them heard is stored once.
#include "LogTestSupport.h"
#include "synoplog/ReportLog.h"

#include <QProcess>
#include <gtest/gtest.h>

TEST(TwoWriters, TwoProcessesAtOnceLoseNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("reports.sqlite");
    constexpr int kEach = 400;
    QProcess first, second;
    first.start(SYNOPLOG_WRITER, {path, "100", QString::number(kEach)});
    second.start(SYNOPLOG_WRITER, {path, QString::number(100 + kEach), QString::number(kEach)});
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    synop::ReportLog log(path);
    EXPECT_EQ(log.count({}), 50 + 2 * kEach);
    synop::ReportFilter all;
    all.withHistory = true;
    EXPECT_EQ(log.count(all), 50 + 2 * kEach);
    int heardTwice = 0;
    for (const auto& r : log.reports({}, 0, 50)) heardTwice += r.timesHeard == 2;
    EXPECT_EQ(heardTwice, 50);
}
