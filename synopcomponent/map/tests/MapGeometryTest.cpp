// The map's arithmetic: projection and view, decluttering, coastline data.
#include "synopcomponent/map/Coastlines.h"
#include "synopcomponent/map/Declutter.h"
#include "synopcomponent/map/MapView.h"
#include "synopcomponent/map/StationModelPainter.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace synop::map;

TEST(MapView, ScreenAndGeographicPositionsRoundTrip)
{
    EXPECT_NEAR(mercatorY(0), 0, 1e-12);
    EXPECT_NEAR(mercatorY(45), 50.4987, 1e-3);  // ln tan 67.5 degrees, in degrees
    EXPECT_NEAR(mercatorY(89), mercatorY(MapView::kMaxLatitude), 1e-12);

    for (const GeoPoint centre : {GeoPoint{0, 0}, GeoPoint{52, 8}, GeoPoint{-40, 179.5}, GeoPoint{70, -170}}) {
        for (const double scale : {1.0, 12.0, 300.0}) {
            MapView view;
            view.setViewport({1000, 700});
            view.setCentre(centre);
            view.setScale(scale);
            for (const GeoPoint p : {GeoPoint{centre.lat + 0.5, centre.lon - 0.7}, GeoPoint{centre.lat - 0.2, centre.lon + 0.3}}) {
                const GeoPoint back = view.toGeo(view.toScreen(p));
                EXPECT_NEAR(back.lat, p.lat, 1e-9);
                double dLon = back.lon - p.lon;
                dLon -= 360 * std::round(dLon / 360);
                EXPECT_NEAR(dLon, 0, 1e-9) << centre.lat << "," << centre.lon << " x" << scale;
            }
            const QPointF middle = view.toScreen(centre);
            EXPECT_NEAR(middle.x(), 500, 1e-9);
            EXPECT_NEAR(middle.y(), 350, 1e-6);
        }
    }
}

TEST(MapView, NorthIsUpAndStationsAcrossTheAntimeridianStayNear)
{
    MapView view;
    view.setViewport({800, 600});
    view.setCentre({-17, 179});
    view.setScale(20);
    const QPointF west = view.toScreen({-17, 178});
    const QPointF east = view.toScreen({-17, -179});  // two degrees east of the centre, not 358 west
    EXPECT_NEAR(east.x() - 400, 40, 1e-9);
    EXPECT_NEAR(400 - west.x(), 20, 1e-9);
    EXPECT_LT(view.toScreen({-16, 179}).y(), view.toScreen({-18, 179}).y());
    // One of the world copies drawn puts the coastline where the point projection puts the station.
    bool drawnThere = false;
    for (int shift = view.firstWorldShift(); shift <= view.lastWorldShift(); ++shift) {
        const QPointF viaPath = view.mercatorToScreen(shift).map(QPointF(-179, mercatorY(-17)));
        drawnThere = drawnThere || (std::abs(viaPath.x() - east.x()) < 1e-6 && std::abs(viaPath.y() - east.y()) < 1e-6);
    }
    EXPECT_TRUE(drawnThere);
}

TEST(MapView, ZoomKeepsThePointUnderTheCursorAndPanMovesWithTheMouse)
{
    MapView view;
    view.setViewport({900, 600});
    view.setCentre({48, 5});
    view.setScale(10);
    const QPointF cursor(700, 150);
    const GeoPoint under = view.toGeo(cursor);
    view.zoomAround(cursor, 2.5);
    EXPECT_DOUBLE_EQ(view.scale(), 25);
    const QPointF after = view.toScreen(under);
    EXPECT_NEAR(after.x(), cursor.x(), 1e-6);
    EXPECT_NEAR(after.y(), cursor.y(), 1e-6);

    const QPointF before = view.toScreen({50, 10});
    view.panBy({30, -20});
    const QPointF moved = view.toScreen({50, 10});
    EXPECT_NEAR(moved.x() - before.x(), 30, 1e-6);
    EXPECT_NEAR(moved.y() - before.y(), -20, 1e-6);
}

TEST(Declutter, ModelsNeverOverlapAndDotsDoNotPileUp)
{
    QRandomGenerator random(11);
    std::vector<QPointF> points;
    for (int i = 0; i < 2000; ++i) points.emplace_back(random.bounded(1200.0), random.bounded(800.0));
    std::vector<int> order(points.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    const QRectF footprint = StationModelPainter::footprint();
    const QRectF screen(0, 0, 1200, 800);

    const std::vector<Placement> placed = declutter(points, order, footprint, screen);
    std::vector<QPointF> models, dots;
    for (size_t i = 0; i < points.size(); ++i) {
        if (placed[i] == Placement::Model) models.push_back(points[i]);
        if (placed[i] == Placement::Dot) dots.push_back(points[i]);
    }
    ASSERT_GT(models.size(), 100u);
    for (size_t a = 0; a < models.size(); ++a)
        for (size_t b = a + 1; b < models.size(); ++b)
            ASSERT_FALSE(footprint.translated(models[a]).intersects(footprint.translated(models[b])));
    // The first in order always gets its model; a hidden station lies right beside a drawn one.
    EXPECT_EQ(placed[0], Placement::Model);
    EXPECT_GT(dots.size(), 500u);
    for (size_t i = 0; i < points.size(); ++i) {
        if (placed[i] != Placement::Hidden) continue;
        bool beside = false;
        for (size_t j = 0; j < points.size() && !beside; ++j)
            beside = placed[j] != Placement::Hidden && QLineF(points[i], points[j]).length() < 8;
        ASSERT_TRUE(beside) << i;
    }

    // Panning changes nothing; zooming in (positions spread out) lets more models in.
    std::vector<QPointF> panned, zoomed;
    for (const QPointF& p : points) {
        panned.push_back(p + QPointF(-333, 127));
        zoomed.push_back(p * 3);
    }
    EXPECT_EQ(declutter(panned, order, footprint, QRectF(-1000, -1000, 4000, 4000)), placed);
    const std::vector<Placement> closer = declutter(zoomed, order, footprint, QRectF(0, 0, 3600, 2400));
    EXPECT_GT(std::count(closer.begin(), closer.end(), Placement::Model), std::count(placed.begin(), placed.end(), Placement::Model));
}

TEST(Declutter, StationsOffTheScreenAreLeftOut)
{
    const std::vector<QPointF> points{{-200, 50}, {50, 50}, {900, 50}};
    const std::vector<Placement> placed = declutter(points, {0, 1, 2}, StationModelPainter::footprint(), QRectF(0, 0, 800, 600));
    EXPECT_EQ(placed, (std::vector<Placement>{Placement::Hidden, Placement::Model, Placement::Hidden}));
}

TEST(Coastlines, LandIsWhereTheContinentsAreAndNoLineJumpsAcrossTheWorld)
{
    const Coastlines& all = Coastlines::builtIn();
    ASSERT_GT(all.points, 50000);
    ASSERT_GE(all.levels.size(), 3u);
    // Every level of detail still has the land where it is.
    for (const CoastPaths& level : all.levels) {
        auto onLand = [&](double lat, double lon) { return level.land.contains(QPointF(lon, mercatorY(lat))); };
        EXPECT_TRUE(onLand(48.85, 2.35)) << level.toleranceDeg;   // Paris
        EXPECT_TRUE(onLand(-34.6, -58.5)) << level.toleranceDeg;  // Buenos Aires
        EXPECT_TRUE(onLand(66.5, 178.0)) << level.toleranceDeg;   // Chukotka, west of the antimeridian
        EXPECT_TRUE(onLand(-75, 0)) << level.toleranceDeg;        // Antarctica
        EXPECT_FALSE(onLand(30, -40)) << level.toleranceDeg;      // mid-Atlantic
        EXPECT_FALSE(onLand(54.5, 3.0)) << level.toleranceDeg;    // North Sea
        EXPECT_FALSE(onLand(-20, -120)) << level.toleranceDeg;    // South Pacific
    }
    // Coarser levels for wider views: less to draw, and the finest when zoomed in.
    EXPECT_LT(all.atScale(2).land.elementCount() * 4, all.levels.front().land.elementCount());
    EXPECT_EQ(&all.atScale(300), &all.levels.front());
    const CoastPaths& world = all.levels.front();

    // Cut polygons are closed along 180 degrees and the pole; those edges are no coast.
    double longest = 0;
    for (int i = 1; i < world.coast.elementCount(); ++i) {
        const QPainterPath::Element e = world.coast.elementAt(i);
        if (e.isLineTo()) longest = std::max(longest, std::abs(e.x - world.coast.elementAt(i - 1).x));
    }
    EXPECT_LT(longest, 10);
    EXPECT_FALSE(world.borders.isEmpty());

    EXPECT_EQ(Coastlines::fromData("not a coastline file").points, 0);
    QByteArray truncated = qCompress(QByteArray("PLVCOAST\x01\x00\x00\x00\x00\xff\xff\x00\x00", 17));
    EXPECT_EQ(Coastlines::fromData(truncated).points, 0);
}
