#pragma once
// Highs and lows: the grid points whose analysed pressure is the highest
// (lowest) within a radius, well inside the analysed area (at the mask's
// edge every field "peaks" where the stations stop) and standing out from
// their surroundings by a least depth, so that a flat col is not a centre.
#include "synopanalysis/BarnesAnalysis.h"

#include <vector>

namespace synop::analysis {

struct PressureCentre {
    char kind = 'L';  // 'H' or 'L'
    LatLon place;
    double pressureHpa = 0;
};

struct CentreOptions {
    double radiusKm = 600;          // no other centre of its kind nearer
    double minimumDepthHpa = 1.5;   // against the mean at that radius; most of it half as much
    int clearOfMaskCells = 2;       // analysed grid points all round
};

std::vector<PressureCentre> findPressureCentres(const FieldGrid& field, const CentreOptions& options = {});

}  // namespace synop::analysis
