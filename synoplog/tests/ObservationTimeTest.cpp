// Full UTC dates from the day and hour a report gives, across month and
// year ends.
#include "LogTestSupport.h"
#include "synoplog/ObservationTime.h"

#include <gtest/gtest.h>

using namespace synop;
using synop::testing::utcAt;

namespace {

DecodedReport dated(int day, int hour, std::optional<int> month = std::nullopt, int minute = 0)
{
    DecodedReport r;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.month = month;
    return r;
}

QDateTime observed(const DecodedReport& r, const char* received)
{
    return observationTime(r, utcAt(received)).value_or(QDateTime());
}

}  // namespace

TEST(ObservationTime, TakesTheMonthAndYearOfTheReception)
{
    EXPECT_EQ(observed(dated(8, 6), "2026-12-08T06:20:00"), utcAt("2026-12-08T06:00:00"));
    EXPECT_EQ(observed(dated(7, 18), "2026-12-08T06:20:00"), utcAt("2026-12-07T18:00:00"));  // late but this month
    EXPECT_EQ(observed(dated(8, 12), "2026-12-08T06:20:00"), utcAt("2026-12-08T12:00:00"));  // a fast station clock
}

TEST(ObservationTime, MonthAndYearEnds)
{
    // Day 31 heard on the 1st is the previous month's last day.
    EXPECT_EQ(observed(dated(31, 18), "2026-11-01T00:30:00"), utcAt("2026-10-31T18:00:00"));
    EXPECT_EQ(observed(dated(31, 23), "2027-01-01T00:10:00"), utcAt("2026-12-31T23:00:00"));
    // The next day's 00 UTC report sent a few minutes early, at the end of a year.
    EXPECT_EQ(observed(dated(1, 0), "2026-12-31T23:55:00"), utcAt("2027-01-01T00:00:00"));
    EXPECT_EQ(observed(dated(29, 6), "2028-03-01T02:00:00"), utcAt("2028-02-29T06:00:00"));  // leap year
    // No month near the reception has a day 31: the date stays unknown.
    EXPECT_FALSE(observationTime(dated(31, 6), utcAt("2026-12-01T02:00:00")));
    EXPECT_FALSE(observationTime(dated(30, 6), utcAt("2027-03-01T02:00:00")));
}

TEST(ObservationTime, BuoysGiveTheirMonth)
{
    EXPECT_EQ(observed(dated(31, 21, 12, 45), "2027-01-01T01:00:00"), utcAt("2026-12-31T21:45:00"));
    EXPECT_EQ(observed(dated(1, 0, 1), "2026-12-31T23:50:00"), utcAt("2027-01-01T00:00:00"));
    EXPECT_EQ(observed(dated(3, 12, 11), "2026-12-08T06:00:00"), utcAt("2026-11-03T12:00:00"));
}

TEST(ObservationTime, UnusableFiguresGiveNoDate)
{
    EXPECT_FALSE(observationTime(DecodedReport{}, utcAt("2026-12-08T06:00:00")));
    EXPECT_FALSE(observationTime(dated(8, 24), utcAt("2026-12-08T06:00:00")));
    EXPECT_FALSE(observationTime(dated(0, 6), utcAt("2026-12-08T06:00:00")));
    EXPECT_FALSE(observationTime(dated(8, 6, 13), utcAt("2026-12-08T06:00:00")));
    EXPECT_FALSE(observationTime(dated(8, 6), QDateTime()));
}
