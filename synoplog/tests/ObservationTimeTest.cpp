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

TEST(ObservationTime, SameDatesAsQtsCalendar)
{
    // The date arithmetic against Qt's calendar, the way it was first
    // written: receptions every 13 hours over four years (a leap day, year
    // ends), every day of the month, with and without a month.
    auto byCalendar = [](const DecodedReport& r, const QDateTime& received) -> QDateTime {
        const QTime time(*r.hour, r.minute.value_or(0));
        const QDateTime latest = received.addSecs(kObservationLeadSeconds);
        const QDate today = received.date();
        auto at = [&](int year, int month) {
            const QDate date(year, month, *r.day);
            return date.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
        };
        if (r.month) {
            for (int year = today.year() + 1; year >= today.year() - 1; --year)
                if (const QDateTime c = at(year, *r.month); c.isValid() && c <= latest) return c;
        } else {
            for (int step = 1; step >= -1; --step) {
                const QDate month = QDate(today.year(), today.month(), 1).addMonths(step);
                if (const QDateTime c = at(month.year(), month.month()); c.isValid() && c <= latest) return c;
            }
        }
        return {};
    };
    int compared = 0;
    for (QDateTime received = utcAt("2027-01-01T05:00:00"); received < utcAt("2030-12-31T00:00:00");
         received = received.addSecs(13 * 3600 + 17 * 60)) {
        for (int day = 1; day <= 31; ++day) {
            for (const std::optional<int> month : {std::optional<int>(), std::optional<int>(2), std::optional<int>(12)}) {
                const DecodedReport r = dated(day, (day * 7) % 24, month, day % 3 == 0 ? 45 : 0);
                ASSERT_EQ(observationTime(r, received).value_or(QDateTime()), byCalendar(r, received))
                    << received.toString(Qt::ISODate).toStdString() << " day " << day;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 200000);
}
