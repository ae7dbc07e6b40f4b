#pragma once
// Land, coastlines and country borders for the map, from Natural Earth's
// 1:50m data compiled into the library (data/SOURCES.md), as painter paths
// in longitude and Mercator ordinate, ready for MapView's transform.
#include <QByteArray>
#include <QPainterPath>
#include <vector>

namespace synop::map {

struct CoastPaths {
    QPainterPath land;     // filled
    QPainterPath coast;    // stroked; leaves out the seams where the data cuts land at 180 degrees
    QPainterPath borders;  // between countries
    double toleranceDeg = 0;  // how far a point may have moved in the simplification
};

struct Coastlines {
    // The full data first, then ever coarser copies: a world view has no use
    // for detail below a pixel, and drawing it costs as much as the rest.
    std::vector<CoastPaths> levels;
    int points = 0;

    // The coarsest copy whose error stays under about a pixel.
    const CoastPaths& atScale(double pixelsPerDegree) const;

    // The built-in data, read once on first use.
    static const Coastlines& builtIn();
    // Reads the file format of data/make_coastlines.py; empty paths for bad data.
    static Coastlines fromData(const QByteArray& compressed);
};

}  // namespace synop::map
