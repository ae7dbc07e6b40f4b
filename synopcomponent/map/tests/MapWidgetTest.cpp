// The map widget as a user drives it: clicks select, drags pan, the wheel
// zooms around the cursor, each station shows one report.
#include "synopcomponent/map/WeatherMapWidget.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace synop::map;

namespace {

MapReport report(qint64 id, const char* station, double lat, double lon, int hour, std::optional<double> temp = 10.0)
{
    MapReport r;
    r.id = id;
    r.station = QString::fromLatin1(station);
    r.lat = lat;
    r.lon = lon;
    r.observed = QDateTime(QDate(2026, 12, 8), QTime(hour, 0), Qt::UTC);
    r.values.airTempC = temp;
    r.values.cloudOkta = 4;
    return r;
}

struct Map : ::testing::Test {
    WeatherMapWidget map;
    void SetUp() override
    {
        map.resize(800, 600);
        map.setReports({report(1, "10147", 53.63, 9.99, 6), report(2, "10384", 52.47, 13.40, 6),
                        report(3, "06260", 52.10, 5.18, 6), report(4, "10384", 52.47, 13.40, 3)});
        map.showArea({53, 9}, 60);
        map.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&map));
    }
    QPoint at(double lat, double lon) const { return map.view().toScreen({lat, lon}).toPoint(); }
};

}  // namespace

TEST_F(Map, ClickOnAStationSelectsItsNewestReport)
{
    QSignalSpy clicked(&map, &WeatherMapWidget::reportClicked);
    EXPECT_EQ(map.stationCount(), 3);  // Berlin's two reports are one station
    QTest::mouseClick(&map, Qt::LeftButton, {}, at(52.47, 13.40) + QPoint(3, -2));
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked.at(0).at(0).toLongLong(), 2);
    EXPECT_EQ(map.selectedReport(), 2);

    QTest::mouseClick(&map, Qt::LeftButton, {}, at(53.63, 9.99));
    EXPECT_EQ(clicked.last().at(0).toLongLong(), 1);
    // The sea between them selects nothing and keeps the selection.
    QTest::mouseClick(&map, Qt::LeftButton, {}, at(55.5, 5.0));
    EXPECT_EQ(clicked.count(), 2);
    EXPECT_EQ(map.selectedReport(), 1);
}

TEST_F(Map, AnOlderReportSelectedInTheListIsTheOneShown)
{
    map.setSelectedReport(4);
    map.repaint();
    EXPECT_EQ(map.reportAt(at(52.47, 13.40)), 4);
    map.setSelectedReport(std::nullopt);
    map.repaint();
    EXPECT_EQ(map.reportAt(at(52.47, 13.40)), 2);
}

TEST_F(Map, DragPansWithoutSelectingAndTheWheelZoomsAroundTheCursor)
{
    QSignalSpy clicked(&map, &WeatherMapWidget::reportClicked);
    const QPoint start = at(52.10, 5.18);  // starts on a station: a drag must not select it
    QTest::mousePress(&map, Qt::LeftButton, {}, start);
    QTest::mouseMove(&map, start + QPoint(20, 10));
    QTest::mouseMove(&map, start + QPoint(60, 30));
    QTest::mouseRelease(&map, Qt::LeftButton, {}, start + QPoint(60, 30));
    EXPECT_EQ(clicked.count(), 0);
    const QPoint moved = at(52.10, 5.18);
    EXPECT_NEAR(moved.x(), start.x() + 60, 1);
    EXPECT_NEAR(moved.y(), start.y() + 30, 1);

    const QPointF cursor(600, 200);
    const GeoPoint under = map.view().toGeo(cursor);
    const double scale = map.view().scale();
    QWheelEvent wheel(cursor, map.mapToGlobal(cursor), {}, QPoint(0, 240), Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map, &wheel);
    EXPECT_GT(map.view().scale(), scale * 1.5);
    const QPointF after = map.view().toScreen(under);
    EXPECT_NEAR(after.x(), cursor.x(), 1e-6);
    EXPECT_NEAR(after.y(), cursor.y(), 1e-6);
}

TEST_F(Map, KeysZoomAndPanAndHomeShowsEveryStationAgain)
{
    const double scale = map.view().scale();
    QTest::keyClick(&map, Qt::Key_Plus);
    EXPECT_NEAR(map.view().scale(), scale * 1.25, 1e-9);
    const QPoint before = at(52.10, 5.18);
    QTest::keyClick(&map, Qt::Key_Left);  // the map moves right, as if dragged
    EXPECT_GT(at(52.10, 5.18).x(), before.x() + 50);
    QTest::keyClick(&map, Qt::Key_Home);
    for (const auto& [lat, lon] : {std::pair{53.63, 9.99}, std::pair{52.47, 13.40}, std::pair{52.10, 5.18}})
        EXPECT_TRUE(map.rect().contains(at(lat, lon))) << lat << "," << lon;
}

TEST_F(Map, CrowdedStationsBecomeDotsAndZoomingInBringsTheirModelsBack)
{
    std::vector<MapReport> many;
    for (int i = 0; i < 400; ++i) many.push_back(report(100 + i, QByteArray::number(20000 + i).constData(), 45 + (i % 20) * 0.5, 0 + (i / 20) * 0.5, 6));
    map.setReports(many);
    map.showArea({50, 5}, 8);
    map.repaint();
    EXPECT_EQ(map.stationCount(), 400);
    EXPECT_GT(map.dotsDrawn(), 150);  // half a degree is 4 px here: some dots would cover others
    const int crowdedModels = map.modelsDrawn();
    EXPECT_GE(crowdedModels, 2);
    map.showArea({50, 5}, 200);
    map.repaint();
    EXPECT_GT(map.modelsDrawn(), crowdedModels);
    EXPECT_LT(map.dotsDrawn(), 40);
}
