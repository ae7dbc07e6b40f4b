#pragma once
// Distances on the sphere from unit vectors: the chord between two points
// is as good as the great circle over the few hundred kilometres an analysis
// looks across, and needs no trigonometry per pair.
#include <cmath>

namespace synop::analysis {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kKmPerDegree = kEarthRadiusKm * M_PI / 180.0;

struct LatLon {
    double lat = 0, lon = 0;
};

struct UnitVector {
    double x = 0, y = 0, z = 0;

    static UnitVector of(double latDeg, double lonDeg)
    {
        const double la = latDeg * M_PI / 180.0, lo = lonDeg * M_PI / 180.0;
        return {std::cos(la) * std::cos(lo), std::cos(la) * std::sin(lo), std::sin(la)};
    }
    // Squared chord in km^2.
    double squaredKmTo(const UnitVector& o) const
    {
        const double dx = x - o.x, dy = y - o.y, dz = z - o.z;
        return (dx * dx + dy * dy + dz * dz) * kEarthRadiusKm * kEarthRadiusKm;
    }
};

inline double distanceKm(LatLon a, LatLon b)
{
    const double chord = std::sqrt(UnitVector::of(a.lat, a.lon).squaredKmTo(UnitVector::of(b.lat, b.lon))) / kEarthRadiusKm;
    return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, chord / 2.0));
}

// Longitude brought within 180 degrees of a reference, so that a network
// across the antimeridian stays in one piece.
inline double unwrapLongitude(double lon, double reference)
{
    return lon - 360.0 * std::floor((lon - reference + 180.0) / 360.0);
}

}  // namespace synop::analysis
