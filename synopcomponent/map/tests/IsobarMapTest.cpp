// The surface analysis on the map: computed off the window's thread,
// drawn under the station models with labels and H/L marks, hidden and
// shown by its switch, and said in the legend.
#include "synopcomponent/map/AnalysisRunner.h"
#include "synopcomponent/map/WeatherMapWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <random>

using namespace synop;
using namespace synop::map;

namespace {

// A low over the North Sea and a high over Biscay, sampled at stations
// scattered over western Europe.
std::vector<analysis::PressureReport> europeanReports(int count = 300)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> lat(40, 62), lon(-12, 22);
    std::vector<analysis::PressureReport> out;
    for (int i = 0; i < count; ++i) {
        analysis::PressureReport r;
        r.station = std::to_string(10000 + i);
        r.place = {lat(random), lon(random)};
        r.observedUtc = QDateTime(QDate(2026, 12, 8), QTime(6, 0), Qt::UTC);
        const double low = analysis::distanceKm(r.place, {56, 4}), high = analysis::distanceKm(r.place, {45, -8});
        r.pressureHpa = 1010 - 26 * std::exp(-low * low / 490000) + 20 * std::exp(-high * high / 810000);
        out.push_back(r);
    }
    return out;
}

int pixelsOfColour(const QImage& image, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    return n;
}

}  // namespace

// The runner answers at once and the result arrives later as a signal; of
// requests made while it works, only the newest is analysed next.
TEST(IsobarMap, AnalysesOffTheWindowThread)
{
    AnalysisRunner runner;
    QSignalSpy finished(&runner, &AnalysisRunner::finished);
    auto reports = europeanReports();
    runner.analyse(reports);
    EXPECT_TRUE(runner.busy());
    EXPECT_EQ(finished.count(), 0) << "the analysis must not run in the caller";
    auto fewer = reports;
    fewer.resize(200);
    runner.analyse(reports);  // superseded by the next request before it starts
    runner.analyse(fewer);
    ASSERT_TRUE(finished.wait(60000));
    if (finished.count() < 2) {
        ASSERT_TRUE(finished.wait(60000));
    }
    ASSERT_EQ(finished.count(), 2);
    const auto first = finished.at(0).at(0).value<std::shared_ptr<const analysis::SurfaceAnalysis>>();
    const auto last = finished.at(1).at(0).value<std::shared_ptr<const analysis::SurfaceAnalysis>>();
    ASSERT_TRUE(first && last);
    EXPECT_EQ(first->used.size(), 300u);
    EXPECT_EQ(last->used.size(), 200u);
    EXPECT_FALSE(runner.busy());

    // A runner that goes away with an analysis under way takes no answer.
    {
        AnalysisRunner doomed;
        doomed.analyse(reports);
    }
    QTest::qWait(200);
}

TEST(IsobarMap, DrawsIsobarsAndCentresAndTheirSwitch)
{
    WeatherMapWidget map;
    map.resize(900, 700);
    map.showArea({51, 5}, 22);
    map.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&map));
    EXPECT_NE(map.isobars().legend().indexOf(QStringLiteral("no reports")), -1);

    auto a = std::make_shared<analysis::SurfaceAnalysis>(analysis::analyseSurface(europeanReports()));
    ASSERT_TRUE(a->ok());
    a->rejected.push_back({a->used.front(), "test"});
    map.isobars().setAnalysis(a);
    const QImage shown = map.grab().toImage();
    EXPECT_GT(map.isobars().labelsDrawn(), 3);
    EXPECT_EQ(map.isobars().centresDrawn(), 2);
    const QRgb isobar = qRgb(0x3b, 0x4a, 0x8f), low = qRgb(0xc4, 0x25, 0x25), high = qRgb(0x1d, 0x4f, 0xc4);
    EXPECT_GT(pixelsOfColour(shown, isobar), 200);
    EXPECT_GT(pixelsOfColour(shown, low), 10);
    EXPECT_GT(pixelsOfColour(shown, high), 10);
    const QString legend = map.isobars().legend();
    EXPECT_NE(legend.indexOf(QStringLiteral("8 Dec 2026 06 UTC")), -1) << legend.toStdString();
    EXPECT_NE(legend.indexOf(QStringLiteral("300 reports used, 1 rejected")), -1) << legend.toStdString();

    // The switch, by the keyboard and by the check box.
    QSignalSpy toggled(&map, &WeatherMapWidget::isobarsToggled);
    QTest::keyClick(&map, Qt::Key_I);
    EXPECT_FALSE(map.isobarsVisible());
    EXPECT_EQ(pixelsOfColour(map.grab().toImage(), isobar), 0);
    EXPECT_EQ(map.isobars().centresDrawn(), 0);
    QCheckBox* box = map.findChild<QCheckBox*>();
    ASSERT_TRUE(box);
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(map.isobarsVisible());
    EXPECT_EQ(toggled.count(), 2);
    EXPECT_GT(pixelsOfColour(map.grab().toImage(), isobar), 200);
}

// The hour: the latest full one by default; a picked hour stays picked as
// reports come in, and falls back to the latest when it leaves the list.
TEST(IsobarMap, PicksTheHourToAnalyse)
{
    IsobarControls controls;
    const QDateTime h12(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC), h15 = h12.addSecs(3 * 3600), h18 = h12.addSecs(6 * 3600);
    controls.setHours({{h12, 60}, {h15, 70}});
    QComboBox* box = controls.findChild<QComboBox*>();
    ASSERT_TRUE(box);
    ASSERT_EQ(box->count(), 3);
    EXPECT_FALSE(controls.chosenHour().isValid());
    EXPECT_TRUE(box->itemText(1).startsWith(QStringLiteral("8 Dec 15 UTC"))) << box->itemText(1).toStdString();

    QSignalSpy chosen(&controls, &IsobarControls::hourChosen);
    box->setCurrentIndex(2);
    emit box->activated(2);
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).toDateTime(), h12);
    controls.setHours({{h12, 61}, {h15, 70}, {h18, 10}});
    EXPECT_EQ(controls.chosenHour(), h12);
    EXPECT_EQ(chosen.count(), 1);
    controls.setHours({{h15, 70}, {h18, 30}});
    EXPECT_FALSE(controls.chosenHour().isValid());
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_FALSE(chosen.at(1).at(0).toDateTime().isValid());

    // Hidden isobars need no hour.
    controls.setShown(false);
    EXPECT_FALSE(box->isEnabled());
}
