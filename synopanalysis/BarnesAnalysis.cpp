#include "synopanalysis/BarnesAnalysis.h"

#include <algorithm>
#include <limits>

namespace synop::analysis {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double circularMeanLongitude(const std::vector<LatLon>& places)
{
    double sx = 0, sy = 0;
    for (const LatLon& p : places) {
        sx += std::cos(p.lon * M_PI / 180.0);
        sy += std::sin(p.lon * M_PI / 180.0);
    }
    return (sx == 0 && sy == 0) ? 0.0 : std::atan2(sy, sx) * 180.0 / M_PI;
}

std::vector<LatLon> placesOf(const std::vector<Observation>& observations)
{
    std::vector<LatLon> out;
    out.reserve(observations.size());
    for (const Observation& o : observations) out.push_back(o.place);
    return out;
}

}  // namespace

std::optional<double> FieldGrid::valueAt(LatLon place) const
{
    if (grid.columns < 2 || grid.rows < 2) return std::nullopt;
    const double x = (unwrapLongitude(place.lon, grid.west + grid.stepDeg * grid.columns / 2.0) - grid.west) / grid.stepDeg;
    const double y = (place.lat - grid.south) / grid.stepDeg;
    if (x < 0 || y < 0 || x > grid.columns - 1 || y > grid.rows - 1) return std::nullopt;
    const int c = std::min(int(x), grid.columns - 2), r = std::min(int(y), grid.rows - 2);
    const double fx = x - c, fy = y - r;
    const double v00 = at(c, r), v10 = at(c + 1, r), v01 = at(c, r + 1), v11 = at(c + 1, r + 1);
    if (std::isnan(v00) || std::isnan(v10) || std::isnan(v01) || std::isnan(v11)) return std::nullopt;
    return (v00 * (1 - fx) + v10 * fx) * (1 - fy) + (v01 * (1 - fx) + v11 * fx) * fy;
}

NeighbourIndex::NeighbourIndex(const std::vector<Observation>& observations, double cellKm)
{
    if (observations.empty()) return;
    places_ = placesOf(observations);
    reference_ = circularMeanLongitude(places_);
    cellDeg_ = std::max(0.05, cellKm / kKmPerDegree);
    double north = -90, east = -1e9;
    south_ = 90;
    west_ = 1e9;
    for (LatLon& p : places_) {
        p.lon = unwrapLongitude(p.lon, reference_);
        south_ = std::min(south_, p.lat);
        north = std::max(north, p.lat);
        west_ = std::min(west_, p.lon);
        east = std::max(east, p.lon);
        at_.push_back(UnitVector::of(p.lat, p.lon));
    }
    rows_ = int((north - south_) / cellDeg_) + 1;
    columns_ = int((east - west_) / cellDeg_) + 1;
    cells_.resize(size_t(rows_) * size_t(columns_));
    for (size_t i = 0; i < places_.size(); ++i) {
        const int r = int((places_[i].lat - south_) / cellDeg_), c = int((places_[i].lon - west_) / cellDeg_);
        cells_[size_t(r) * size_t(columns_) + size_t(c)].push_back(i);
    }
}

void NeighbourIndex::forEachWithin(LatLon place, double radiusKm, const std::function<void(size_t, double)>& each) const
{
    visitWithin(place, radiusKm, each);
}

double meanStationSpacingKm(const std::vector<Observation>& observations)
{
    if (observations.size() < 2) return 0;
    // Grow the search until every station has found a neighbour; most find
    // one in the first ring.
    std::vector<double> nearest(observations.size(), -1);
    size_t found = 0;
    for (double radius = 100; found < observations.size() && radius < 40000; radius *= 2) {
        const NeighbourIndex index(observations, radius);
        for (size_t i = 0; i < observations.size(); ++i) {
            if (nearest[i] >= 0) continue;
            double best = -1;
            index.visitWithin(observations[i].place, radius, [&](size_t j, double d2) {
                if (j != i && (best < 0 || d2 < best)) best = d2;
            });
            if (best >= 0) {
                nearest[i] = std::sqrt(best);
                ++found;
            }
        }
    }
    double sum = 0;
    size_t n = 0;
    for (const double d : nearest)
        if (d >= 0) {
            sum += d;
            ++n;
        }
    return n ? sum / double(n) : 0;
}

BarnesSetup barnesSetup(const std::vector<Observation>& observations, const BarnesParameters& p)
{
    BarnesSetup s;
    if (observations.empty()) return s;
    // Co-located stations (a station and its twin buoy, a repeated place)
    // would make the spacing, and with it the analysis's scale, too fine.
    s.spacingKm = std::max(30.0, meanStationSpacingKm(observations));
    s.kappaKm2 = p.kappaStar * std::pow(2.0 * s.spacingKm / M_PI, 2);
    s.searchRadiusKm = p.searchRadiusSpacings * s.spacingKm;
    s.maskRadiusKm = std::clamp(p.maskSpacings * s.spacingKm, p.minimumMaskKm, p.maximumMaskKm);

    const std::vector<LatLon> places = placesOf(observations);
    const double reference = circularMeanLongitude(places);
    double south = 90, north = -90, west = 1e9, east = -1e9;
    for (const LatLon& q : places) {
        const double lon = unwrapLongitude(q.lon, reference);
        south = std::min(south, q.lat);
        north = std::max(north, q.lat);
        west = std::min(west, lon);
        east = std::max(east, lon);
    }
    // Beyond the mask radius every point would be masked.
    const double marginLat = s.maskRadiusKm / kKmPerDegree;
    const double widestLat = std::min(85.0, std::max(std::fabs(south), std::fabs(north)));
    const double marginLon = std::min(60.0, marginLat / std::max(0.1, std::cos(widestLat * M_PI / 180.0)));
    south = std::max(-89.0, south - marginLat);
    north = std::min(89.0, north + marginLat);
    west -= marginLon;
    east += marginLon;
    if (east - west > 360) {
        west = reference - 180;
        east = reference + 180;
    }
    // The grid keeps to round steps on whole multiples of the step, so that
    // one report more or less does not shift every grid point and with it
    // the ends of the isobars at the mask.
    static constexpr double kSteps[] = {0.1, 0.125, 0.15, 0.2, 0.25, 0.3, 0.4, 0.5, 0.6, 0.75, 1.0, 1.25, 1.5, 2.0, 2.5, 3.0};
    const double wantedDeg = (p.gridStepKm > 0 ? p.gridStepKm : std::clamp(s.spacingKm / 2.0, 20.0, 100.0)) / kKmPerDegree;
    size_t k = 0;
    while (k + 1 < std::size(kSteps) && kSteps[k + 1] <= wantedDeg * 1.1) ++k;
    for (;; ++k) {
        const double step = kSteps[std::min(k, std::size(kSteps) - 1)];
        const double gridSouth = std::floor(south / step) * step, gridWest = std::floor(west / step) * step;
        s.grid = {gridSouth, gridWest, step, int(std::ceil((east - gridWest) / step)) + 1, int(std::ceil((north - gridSouth) / step)) + 1};
        if (int(s.grid.size()) <= p.maximumGridPoints || k + 1 >= std::size(kSteps)) break;
    }
    return s;
}

FieldGrid barnesAnalysis(const std::vector<Observation>& obs, const BarnesSetup& s, const BarnesParameters& p)
{
    FieldGrid field{s.grid, std::vector<double>(s.grid.size(), kNaN)};
    if (obs.empty() || s.kappaKm2 <= 0) return field;
    const NeighbourIndex index(obs, s.searchRadiusKm);
    const double firstScale = 1.0 / s.kappaKm2, secondScale = 1.0 / (p.gamma * s.kappaKm2);

    // First pass at the stations, for the residuals the second pass spreads.
    std::vector<double> residual(obs.size(), 0);
    for (size_t i = 0; i < obs.size(); ++i) {
        double sw = 0, swv = 0;
        index.visitWithin(obs[i].place, s.searchRadiusKm, [&](size_t j, double d2) {
            const double w = obs[j].weight * std::exp(-d2 * firstScale);
            sw += w;
            swv += w * obs[j].value;
        });
        residual[i] = sw > 0 ? obs[i].value - swv / sw : 0;
    }

    const double mask2 = s.maskRadiusKm * s.maskRadiusKm;
    for (int r = 0; r < s.grid.rows; ++r)
        for (int c = 0; c < s.grid.columns; ++c) {
            const LatLon at = s.grid.pointAt(c, r);
            double sw1 = 0, sv1 = 0, sw2 = 0, sv2 = 0, nearest = 1e300;
            int neighbours = 0;
            index.visitWithin(at, s.searchRadiusKm, [&](size_t j, double d2) {
                ++neighbours;
                nearest = std::min(nearest, d2);
                const double w1 = obs[j].weight * std::exp(-d2 * firstScale);
                sw1 += w1;
                sv1 += w1 * obs[j].value;
                const double w2 = obs[j].weight * std::exp(-d2 * secondScale);
                sw2 += w2;
                sv2 += w2 * residual[j];
            });
            if (neighbours < p.minimumNeighbours || nearest > mask2 || sw1 <= 0) continue;
            double v = sv1 / sw1;
            if (sw2 > 1e-200) v += sv2 / sw2;
            field.values[size_t(r) * size_t(s.grid.columns) + size_t(c)] = v;
        }
    return field;
}

FieldGrid cressmanAnalysis(const std::vector<Observation>& obs, const BarnesSetup& s, int minimumNeighbours)
{
    FieldGrid field{s.grid, std::vector<double>(s.grid.size(), kNaN)};
    if (obs.empty()) return field;
    const NeighbourIndex index(obs, s.searchRadiusKm);
    const double R2 = s.searchRadiusKm * s.searchRadiusKm, mask2 = s.maskRadiusKm * s.maskRadiusKm;
    for (int r = 0; r < s.grid.rows; ++r)
        for (int c = 0; c < s.grid.columns; ++c) {
            double sw = 0, sv = 0, nearest = 1e300;
            int neighbours = 0;
            index.visitWithin(s.grid.pointAt(c, r), s.searchRadiusKm, [&](size_t j, double d2) {
                ++neighbours;
                nearest = std::min(nearest, d2);
                const double w = obs[j].weight * (R2 - d2) / (R2 + d2);
                sw += w;
                sv += w * obs[j].value;
            });
            if (neighbours < minimumNeighbours || nearest > mask2 || sw <= 0) continue;
            field.values[size_t(r) * size_t(s.grid.columns) + size_t(c)] = sv / sw;
        }
    return field;
}

}  // namespace synop::analysis
