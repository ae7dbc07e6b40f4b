#pragma once
// Isobars from the analysed grid: marching squares over the cells whose four
// corners are analysed, the pieces joined into lines, the lines smoothed by
// corner cutting. A line ends where the analysis is masked, so no isobar is
// drawn across an area without reports.
#include "synopanalysis/BarnesAnalysis.h"

#include <vector>

namespace synop::analysis {

struct IsobarLine {
    std::vector<LatLon> points;
    bool closed = false;  // a ring round a high or a low
};

struct Isobar {
    double pressureHpa = 0;
    std::vector<IsobarLine> lines;
};

struct ContourOptions {
    double intervalHpa = 4;   // 1000, 1004, ... and 996, 992, ...
    int smoothingPasses = 2;  // Chaikin's corner cutting; each pass moves a point less than half a cell
    int shortestSegments = 3; // open pieces shorter than this many cells are noise at the mask's edge
};

std::vector<Isobar> contourIsobars(const FieldGrid& field, const ContourOptions& options = {});

}  // namespace synop::analysis
