// The station plots take a station's reports in any order and plot what
// each carries, in time order, on an axis that starts on a whole hour.
#include "synopcomponent/plots/StationPlotsWidget.h"

#include <gtest/gtest.h>

using namespace synop;

namespace {

map::MapReport at(int day, int hour, std::optional<double> temp, std::optional<double> pressure, std::optional<double> wind)
{
    map::MapReport r;
    r.station = "87576";
    if (day > 0) r.observed = QDateTime(QDate(2026, 3, day), QTime(hour, 0), Qt::UTC);
    r.values.airTempC = temp;
    r.values.dewPointC = temp ? std::optional<double>(*temp - 5) : std::nullopt;
    r.values.seaLevelPressureHpa = pressure;
    r.values.windKt = wind;
    r.values.windFromDeg = 250;
    return r;
}

}  // namespace

TEST(StationPlots, PlotsEachValueInTimeOrderAndLeavesOutReportsWithoutATime)
{
    plots::StationPlotsWidget plots;
    plots.setHistory("87576 Ezeiza", {at(2, 12, 24.0, 1012.0, 8), at(1, 6, 18.5, std::nullopt, 5), at(0, 0, 30.0, 1000.0, 9),
                                      at(1, 18, std::nullopt, 1010.4, std::nullopt), at(2, 0, 20.0, 1011.0, 0)});
    EXPECT_TRUE(plots.title().startsWith("87576 Ezeiza")) << plots.title().toStdString();
    EXPECT_TRUE(plots.title().contains("4 observations"));
    EXPECT_EQ(plots.temperaturePoints(), 3);
    EXPECT_EQ(plots.dewPointPoints(), 3);
    EXPECT_EQ(plots.pressurePoints(), 3);
    EXPECT_EQ(plots.windPoints(), 3);

    // Oldest first, whatever order the reports came in; the axis holds them all and starts on a step of whole hours.
    const auto [first, last] = plots.temperatureSpan();
    EXPECT_EQ(last - first, qint64(30) * 3600 * 1000);  // 1 March 06 to 2 March 12
    const auto [from, to] = plots.timeAxisRange();
    EXPECT_LE(from, first);
    EXPECT_GE(to, last);
    EXPECT_EQ(QDateTime::fromMSecsSinceEpoch(from).time().minute(), 0);
    EXPECT_LT(to - from, qint64(3) * 24 * 3600 * 1000);

    plots.clear();
    EXPECT_EQ(plots.temperaturePoints(), 0);
    plots.setHistory("empty", {at(0, 0, 10.0, 1000.0, 3)});
    EXPECT_EQ(plots.pressurePoints(), 0);
}
