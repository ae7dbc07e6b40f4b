// The window's map and plots tabs follow the list: what it lists, what is
// selected in it, and a click on the map selects in the list.
#include "SynopComponent.h"
#include "WeatherTabs.h"
#include "synopcomponent/map/WeatherMapWidget.h"
#include "synopcomponent/plots/StationPlotsWidget.h"

#include "platform/testing/WaitFor.h"

#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

using namespace synop;

namespace {

// Two bulletins of the same stations three hours apart, and a NIL report.
const char kBulletins[] =
    "SMDL01 EDZW 080600\r\nAAXX 08061\r\n10147 12970 61512 10062 21011 30110 40136 52004=\r\n"
    "10015 41460 72315 10056 20039 39963 40012 57008 78582=\r\n10035 NIL=\r\nNNNN\r\n"
    "SMDL01 EDZW 080900\r\nAAXX 08091\r\n10147 12970 62014 10081 20011 30090 40116 57020=\r\n"
    "10015 41460 72520 10061 20041 39943 39992 57020 78582=\r\nNNNN\r\n";

struct PrivateLog {
    QTemporaryDir logDir;
    PrivateLog() { qputenv("PLUVANE_SYNOP_LOG", logDir.filePath("reports.sqlite").toLocal8Bit()); }
};

struct Tabs : ::testing::Test, PrivateLog {
    SynopComponent component;
    SynopWindow* window = nullptr;
    WeatherTabs* weather = nullptr;
    void SetUp() override
    {
        int32_t available = 0;
        ASSERT_EQ(component.OpenDecoder(0, &available), kStatusOk);
        window = component.window();
        weather = window->weather();
        ASSERT_EQ(component.FeedText(kBulletins), kStatusOk);
        WAIT_FOR_EQ(window->model().rowCount(), 5, 5000);
    }
    QTableView* list() const { return window->findChild<QTableView*>(); }
};

}  // namespace

TEST_F(Tabs, MapShowsEachListedStationOnceAndFollowsTheFilter)
{
    ASSERT_EQ(window->tabs()->count(), 3);
    window->tabs()->setCurrentWidget(weather->weatherMap());
    WAIT_FOR_EQ(weather->weatherMap()->stationCount(), 2, 5000);  // the NIL report has nothing to plot

    window->setFilterText("helgo");
    WAIT_FOR_EQ(weather->weatherMap()->stationCount(), 1, 5000);
    window->setFilterText("");
    WAIT_FOR_EQ(weather->weatherMap()->stationCount(), 2, 5000);
}

TEST_F(Tabs, SelectingInTheListSelectsOnTheMapAndPlotsTheStation)
{
    window->selectRow(3);  // Hamburg at 09 UTC
    EXPECT_EQ(weather->weatherMap()->selectedReport(), window->model().report(3)->id);
    window->tabs()->setCurrentWidget(weather->stationPlots());
    plots::StationPlotsWidget* plots = weather->stationPlots();
    EXPECT_TRUE(plots->title().contains("Hamburg")) << plots->title().toStdString();
    EXPECT_EQ(plots->pressurePoints(), 2);
    EXPECT_EQ(plots->temperaturePoints(), 2);
    EXPECT_EQ(plots->windPoints(), 2);

    window->selectRow(4);  // Helgoland
    EXPECT_TRUE(plots->title().contains("Helgoland"));
    EXPECT_EQ(plots->dewPointPoints(), 2);
}

TEST_F(Tabs, ClickOnTheMapSelectsTheReportInTheList)
{
    window->resize(1000, 700);
    window->show();
    window->tabs()->setCurrentWidget(weather->weatherMap());
    map::WeatherMapWidget* map = weather->weatherMap();
    WAIT_FOR_EQ(map->stationCount(), 2, 5000);
    map->showArea({54.0, 9.0}, 80);
    map->repaint();
    const QPoint helgoland = map->view().toScreen({54.18, 7.9}).toPoint();
    QTest::mouseClick(map, Qt::LeftButton, {}, helgoland);
    ASSERT_TRUE(list()->currentIndex().isValid());
    EXPECT_EQ(list()->currentIndex().row(), 4);  // its newest report
    EXPECT_EQ(window->detailRows() > 0, true);
    EXPECT_EQ(map->selectedReport(), window->model().report(4)->id);
}

TEST_F(Tabs, TheMapTakesReportsAsTheyComeAndShowsAnOlderOneWhenItIsSelected)
{
    window->resize(1000, 700);
    window->show();
    window->tabs()->setCurrentWidget(weather->weatherMap());
    map::WeatherMapWidget* map = weather->weatherMap();
    WAIT_FOR_EQ(map->stationCount(), 2, 5000);
    map->showArea({54.0, 9.0}, 80);
    const QPointF hamburg = map->view().toScreen({53.63, 9.99});
    auto shownAtHamburg = [&] {
        map->repaint();
        return map->reportAt(hamburg).value_or(0);
    };
    EXPECT_EQ(shownAtHamburg(), window->model().report(3)->id);  // 09 UTC, the newer of two

    // A later bulletin: the map reads what is new, and its report replaces the older one.
    ASSERT_EQ(component.FeedText("SMDL01 EDZW 081200\r\nAAXX 08121\r\n10147 12970 62016 10101 20011 30080 40106 57010=\r\nNNNN\r\n"),
              kStatusOk);
    WAIT_FOR_EQ(window->model().rowCount(), 6, 5000);
    const int64_t noon = window->model().report(5)->id;
    WAIT_FOR_EQ(shownAtHamburg(), noon, 5000);
    EXPECT_EQ(map->stationCount(), 2);

    // The first report of the day, selected in the list, stands in for the station.
    window->selectRow(0);
    EXPECT_EQ(shownAtHamburg(), window->model().report(0)->id);
    window->selectRow(4);  // Helgoland: Hamburg shows its newest again
    EXPECT_EQ(shownAtHamburg(), noon);

    // Another filter is read afresh.
    window->setFilterText("hamburg");
    WAIT_FOR_EQ(map->stationCount(), 1, 5000);
}
