#include "WindBarb.h"

#include <cmath>
#include <numbers>

namespace synop::map {

BarbFeathers barbFeathers(double knots)
{
    int rest = int(std::lround(std::max(0.0, knots) / 5.0)) * 5;
    BarbFeathers f;
    f.pennants = rest / 50;
    rest %= 50;
    f.barbs = rest / 10;
    f.halfBarbs = rest % 10 >= 5 ? 1 : 0;
    return f;
}

QPointF staffDirection(double fromDeg)
{
    const double a = fromDeg * std::numbers::pi / 180.0;
    return {std::sin(a), -std::cos(a)};
}

BarbPaths windBarb(double fromDeg, double knots, Hemisphere hemisphere, const BarbGeometry& g)
{
    const QPointF u = staffDirection(fromDeg);
    // The right-hand side looking out along the staff; the left one south of the equator.
    QPointF side(-u.y(), u.x());
    if (hemisphere == Hemisphere::South) side = -side;

    const BarbFeathers f = barbFeathers(knots);
    // Many pennants would crowd the staff; lengthen it so every feather has room.
    const double needed = f.pennants * g.featherSpacing * 1.6 + (f.barbs + f.halfBarbs + 1) * g.featherSpacing;
    const double length = std::max(g.staffLength, needed + g.stationRadius + 6);

    BarbPaths paths;
    const QPointF start = u * g.stationRadius;
    const QPointF tip = u * length;
    paths.lines.moveTo(start);
    paths.lines.lineTo(tip);

    // Feathers lean outwards, toward the end of the staff, as drawn by hand.
    const QPointF lean = u * (g.featherLength * 0.35);
    double at = length;
    for (int i = 0; i < f.pennants; ++i) {
        const double width = g.featherSpacing * 1.6;
        const QPointF base = u * at;
        paths.pennants.moveTo(base);
        paths.pennants.lineTo(base + side * g.featherLength + lean * 0.0);
        paths.pennants.lineTo(u * (at - width));
        paths.pennants.closeSubpath();
        at -= width + (i + 1 == f.pennants ? g.featherSpacing * 0.5 : 0.0);
    }
    for (int i = 0; i < f.barbs; ++i) {
        const QPointF base = u * at;
        paths.lines.moveTo(base);
        paths.lines.lineTo(base + side * g.featherLength + lean);
        at -= g.featherSpacing;
    }
    if (f.halfBarbs) {
        // A lone half barb stands back from the end so that it is not read as a full one.
        if (f.pennants == 0 && f.barbs == 0) at -= g.featherSpacing;
        const QPointF base = u * at;
        paths.lines.moveTo(base);
        paths.lines.lineTo(base + side * (g.featherLength * 0.5) + lean * 0.5);
    }
    return paths;
}

}  // namespace synop::map
