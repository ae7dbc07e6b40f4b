#include "synopanalysis/PressureCentres.h"

#include <algorithm>

namespace synop::analysis {

namespace {

// Where the parabola through three values peaks, as an offset from the middle one.
double vertexOffset(double before, double middle, double after)
{
    const double curvature = before - 2 * middle + after;
    if (curvature == 0) return 0;
    return std::clamp((before - after) / (2 * curvature), -0.5, 0.5);
}

}  // namespace

std::vector<PressureCentre> findPressureCentres(const FieldGrid& f, const CentreOptions& o)
{
    std::vector<PressureCentre> out;
    const GridSpec& g = f.grid;
    const double cellKm = g.stepDeg * kKmPerDegree;
    const int reachRows = std::max(1, int(std::ceil(o.radiusKm / cellKm)));
    const int clear = std::max(1, o.clearOfMaskCells);
    for (int r = clear; r + clear < g.rows; ++r) {
        const double lat = g.south + r * g.stepDeg;
        const double shrink = std::max(0.05, std::cos(lat * M_PI / 180.0));
        const int reachColumns = std::max(1, int(std::ceil(reachRows / shrink)));
        for (int c = clear; c + clear < g.columns; ++c) {
            if (!f.valid(c, r)) continue;
            const double v = f.at(c, r);
            // Cheap test first: an extreme among its eight neighbours.
            bool lowest = true, highest = true;
            for (int dr = -1; dr <= 1; ++dr)
                for (int dc = -1; dc <= 1; ++dc) {
                    if (!dr && !dc) continue;
                    const double n = f.at(c + dc, r + dr);
                    if (std::isnan(n)) lowest = highest = false;
                    else {
                        lowest = lowest && v < n;
                        highest = highest && v > n;
                    }
                }
            if (!lowest && !highest) continue;
            bool inside = true;
            for (int dr = -clear; dr <= clear && inside; ++dr)
                for (int dc = -clear; dc <= clear && inside; ++dc) inside = f.valid(c + dc, r + dr);
            if (!inside) continue;
            double ringSum = 0;
            int ringCount = 0, ringClear = 0;
            for (int dr = -reachRows; dr <= reachRows && (lowest || highest); ++dr)
                for (int dc = -reachColumns; dc <= reachColumns; ++dc) {
                    const int rr = r + dr, cc = c + dc;
                    if ((!dr && !dc) || rr < 0 || cc < 0 || rr >= g.rows || cc >= g.columns || !f.valid(cc, rr)) continue;
                    const double km = std::hypot(dr * cellKm, dc * cellKm * shrink);
                    if (km > o.radiusKm) continue;
                    const double n = f.at(cc, rr);
                    // Equal values: the first in grid order is the centre.
                    const bool before = dr < 0 || (dr == 0 && dc < 0);
                    if (n < v || (n == v && before)) lowest = false;
                    if (n > v || (n == v && before)) highest = false;
                    if (km > 0.6 * o.radiusKm) {
                        ringSum += n;
                        ++ringCount;
                        ringClear += std::fabs(n - v) >= o.minimumDepthHpa * 0.5;
                    }
                }
            if ((!lowest && !highest) || ringCount == 0) continue;
            const double depth = std::fabs(ringSum / ringCount - v);
            // A bump on a plateau beside a deep low is no high: most of the
            // ring, not only its mean, must stand clear of the centre.
            if (depth < o.minimumDepthHpa || ringClear < 0.6 * ringCount) continue;
            const double dx = vertexOffset(f.at(c - 1, r), v, f.at(c + 1, r));
            const double dy = vertexOffset(f.at(c, r - 1), v, f.at(c, r + 1));
            out.push_back({lowest ? 'L' : 'H', g.pointAt(c + dx, r + dy), v});
        }
    }
    return out;
}

}  // namespace synop::analysis
