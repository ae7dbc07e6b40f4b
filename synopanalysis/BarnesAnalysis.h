#pragma once
// Objective analysis of scattered observations onto a latitude-longitude
// grid: the two-pass Barnes scheme of Koch, DesJardins and Kocin (1983),
// with its parameters as MetPy documents them (kappa* = 5.052, gamma =
// 0.25, search radius five mean station spacings, three neighbours at
// least), and a single Cressman pass over the same grid for comparison.
// Grid points far from every station are masked: there the field would be
// an extrapolation of whatever station is least far.
#include "synopanalysis/SphereGeometry.h"

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

namespace synop::analysis {

struct Observation {
    LatLon place;
    double value = 0;
    double weight = 1;  // below 1 for a report the decoder had doubts about
};

struct GridSpec {
    double south = 0, west = 0;  // the first grid point; west may lie outside -180..180
    double stepDeg = 1;
    int columns = 0, rows = 0;

    LatLon pointAt(double column, double row) const { return {south + row * stepDeg, west + column * stepDeg}; }
    size_t size() const { return size_t(columns) * size_t(rows); }
};

// Values row by row from the south-west corner; NaN where masked.
struct FieldGrid {
    GridSpec grid;
    std::vector<double> values;

    double at(int column, int row) const { return values[size_t(row) * size_t(grid.columns) + size_t(column)]; }
    bool valid(int column, int row) const { return !std::isnan(at(column, row)); }
    // Bilinear between the four grid points around the place; none where one is masked.
    std::optional<double> valueAt(LatLon place) const;
};

struct BarnesParameters {
    double kappaStar = 5.052;       // response at twice the station spacing, non-dimensional
    double gamma = 0.25;            // second-pass smoothing, a fraction of the first pass's kappa
    double searchRadiusSpacings = 5;
    int minimumNeighbours = 3;
    // A grid point is drawn only with a station within so many spacings
    // (and within the bounds in km).
    double maskSpacings = 2.5;
    double minimumMaskKm = 150, maximumMaskKm = 500;
    double gridStepKm = 0;          // 0: half the station spacing, 20 to 100 km
    int maximumGridPoints = 40000;
};

// The figures the analysis chose from the network.
struct BarnesSetup {
    double spacingKm = 0;      // mean distance from a station to its nearest neighbour
    double kappaKm2 = 0;
    double searchRadiusKm = 0;
    double maskRadiusKm = 0;
    GridSpec grid;
};

// Mean distance to the nearest other observation.
double meanStationSpacingKm(const std::vector<Observation>& observations);

BarnesSetup barnesSetup(const std::vector<Observation>& observations, const BarnesParameters& parameters = {});
FieldGrid barnesAnalysis(const std::vector<Observation>& observations, const BarnesSetup& setup,
                         const BarnesParameters& parameters = {});
// One pass with Cressman's weights (R^2 - r^2) / (R^2 + r^2) within the search radius.
FieldGrid cressmanAnalysis(const std::vector<Observation>& observations, const BarnesSetup& setup,
                           int minimumNeighbours = 3);

// Observations bucketed by latitude and longitude for searches within a radius.
class NeighbourIndex {
public:
    NeighbourIndex(const std::vector<Observation>& observations, double cellKm);
    // Calls back with the index and squared distance (km^2) of each observation within radiusKm.
    void forEachWithin(LatLon place, double radiusKm, const std::function<void(size_t, double)>& each) const;
    template <typename Each>
    void visitWithin(LatLon place, double radiusKm, Each&& each) const;

private:
    std::vector<UnitVector> at_;
    std::vector<LatLon> places_;
    double reference_ = 0, south_ = 0, west_ = 0, cellDeg_ = 1;
    int rows_ = 0, columns_ = 0;
    std::vector<std::vector<size_t>> cells_;
};

template <typename Each>
void NeighbourIndex::visitWithin(LatLon place, double radiusKm, Each&& each) const
{
    if (cells_.empty()) return;
    const UnitVector from = UnitVector::of(place.lat, place.lon);
    const double radiusDeg = radiusKm / kKmPerDegree;
    const double lon = unwrapLongitude(place.lon, reference_);
    const double poleward = std::min(89.0, std::fabs(place.lat) + radiusDeg);
    const double lonReach = std::min(180.0, radiusDeg / std::max(0.02, std::cos(poleward * M_PI / 180.0)));
    const int r0 = std::max(0, int(std::floor((place.lat - radiusDeg - south_) / cellDeg_)));
    const int r1 = std::min(rows_ - 1, int(std::floor((place.lat + radiusDeg - south_) / cellDeg_)));
    const int c0 = std::max(0, int(std::floor((lon - lonReach - west_) / cellDeg_)));
    const int c1 = std::min(columns_ - 1, int(std::floor((lon + lonReach - west_) / cellDeg_)));
    const double r2 = radiusKm * radiusKm;
    for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c)
            for (const size_t i : cells_[size_t(r) * size_t(columns_) + size_t(c)]) {
                const double d2 = from.squaredKmTo(at_[i]);
                if (d2 <= r2) each(i, d2);
            }
}

}  // namespace synop::analysis
