#pragma once
// The wind barb of the station model: a staff from the station toward the
// direction the wind comes from, pennants of 50 kt, barbs of 10 and half
// barbs of 5 at its outer end, on the side of the staff where the pressure
// is lower (clockwise in the northern hemisphere).
#include <QPainterPath>
#include <QPointF>

namespace synop::map {

struct BarbFeathers {
    int pennants = 0, barbs = 0, halfBarbs = 0;
    bool operator==(const BarbFeathers&) const = default;
};

// Speed rounded to the nearest 5 kt, then told in feathers: 65 kt is a
// pennant, a barb and a half barb.
BarbFeathers barbFeathers(double knots);

enum class Hemisphere { North, South };

struct BarbGeometry {
    double stationRadius = 4.5;  // the staff starts at the circle's edge
    double staffLength = 26;
    double featherLength = 10;
    double featherSpacing = 3.6;
};

// Staff and barbs as lines (to stroke), pennants as triangles (to fill),
// around the station at the origin; y grows downwards as on the screen.
struct BarbPaths {
    QPainterPath lines;
    QPainterPath pennants;
};
BarbPaths windBarb(double fromDeg, double knots, Hemisphere hemisphere, const BarbGeometry& geometry = {});

// The unit vector from the station toward where the wind comes from.
QPointF staffDirection(double fromDeg);

}  // namespace synop::map
