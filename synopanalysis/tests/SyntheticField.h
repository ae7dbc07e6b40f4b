#pragma once
// A known pressure field, a low and a high on a flat 1010 hPa (not an
// isobar's pressure, which a flat field would leave undetermined), sampled at
// irregular stations, for the analysis to recover.
#include "synopanalysis/Isobars.h"
#include "synopanalysis/PressureReport.h"

#include <vector>

namespace synop::analysis::testing {

struct Centre {
    LatLon place;
    double amplitudeHpa;  // negative for a low
    double radiusKm;      // Gaussian e-folding radius
};

struct KnownField {
    std::vector<Centre> centres;
    double background = 1012;
    double at(LatLon p) const;
};

// A low over the North Sea and a high over the Bay of Biscay.
KnownField europeanPair();

// Stations spread at random (seeded) over the box, at least minKm apart.
std::vector<LatLon> irregularStations(int count, double south, double west, double north, double east, unsigned seed,
                                      double minKm = 30);

std::vector<PressureReport> sample(const KnownField& field, const std::vector<LatLon>& places, const QDateTime& observed);

QDateTime hourOf(int day, int hour);

// The shortest distance from a point to any line of the same pressure.
double distanceToIsobar(LatLon p, double pressureHpa, const std::vector<Isobar>& isobars);

}  // namespace synop::analysis::testing
