#pragma once
// Land, coastlines and country borders for the map, from Natural Earth's
// 1:50m data compiled into the library (data/SOURCES.md), as painter paths
// in longitude and Mercator ordinate, ready for MapView's transform.
#include <QByteArray>
#include <QPainterPath>

namespace synop::map {

struct Coastlines {
    QPainterPath land;     // filled
    QPainterPath coast;    // stroked; leaves out the seams where the data cuts land at 180 degrees
    QPainterPath borders;  // between countries
    int points = 0;

    // The built-in data, read once on first use.
    static const Coastlines& builtIn();
    // Reads the file format of data/make_coastlines.py; empty paths for bad data.
    static Coastlines fromData(const QByteArray& compressed);
};

}  // namespace synop::map
