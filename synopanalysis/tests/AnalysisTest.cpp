// The analysis against fields whose truth is known: the grid, the isobars
// and the centres must come back from irregular stations; nothing may be
// drawn where there are no reports.
#include "SyntheticField.h"

#include "synopanalysis/SurfaceAnalysis.h"

#include <gtest/gtest.h>

using namespace synop::analysis;
using namespace synop::analysis::testing;

namespace {

double rmsAgainstTruth(const FieldGrid& f, const KnownField& truth, int* points = nullptr)
{
    double sum = 0;
    int n = 0;
    for (int r = 0; r < f.grid.rows; ++r)
        for (int c = 0; c < f.grid.columns; ++c)
            if (f.valid(c, r)) {
                const double d = f.at(c, r) - truth.at(f.grid.pointAt(c, r));
                sum += d * d;
                ++n;
            }
    if (points) *points = n;
    return n ? std::sqrt(sum / n) : 1e9;
}

double nearestStationKm(LatLon p, const std::vector<PressureReport>& used)
{
    double best = 1e9;
    for (const PressureReport& r : used) best = std::min(best, distanceKm(p, r.place));
    return best;
}

const PressureCentre* centreNear(const SurfaceAnalysis& a, char kind, LatLon place, double withinKm)
{
    for (const PressureCentre& c : a.centres)
        if (c.kind == kind && distanceKm(c.place, place) <= withinKm) return &c;
    return nullptr;
}

}  // namespace

// About 400 stations, 90 km apart on average: the grid within the stations
// must come within 1 hPa RMS of the truth, the isobars lie where the truth
// has their pressure, and the low and the high be found where they are.
TEST(SurfaceAnalysis, RecoversAKnownLowAndHighFromIrregularStations)
{
    const KnownField truth = europeanPair();
    const auto places = irregularStations(400, 38, -15, 64, 25, 7);
    const SurfaceAnalysis a = analyseSurface(sample(truth, places, hourOf(1, 12)));
    ASSERT_TRUE(a.ok()) << a.problem;
    EXPECT_TRUE(a.rejected.empty()) << a.rejected.front().reason;
    int points = 0;
    const double rms = rmsAgainstTruth(a.field, truth, &points);
    EXPECT_LT(rms, 1.0);
    EXPECT_GT(points, 1000);
    EXPECT_LT(a.fitRmsHpa, 1.0);

    const PressureCentre* low = centreNear(a, 'L', {56, 4}, 150);
    const PressureCentre* high = centreNear(a, 'H', {45, -8}, 200);
    ASSERT_TRUE(low);
    ASSERT_TRUE(high);
    EXPECT_NEAR(low->pressureHpa, 1010 - 28, 3);
    EXPECT_NEAR(high->pressureHpa, 1010 + 22, 3);
    EXPECT_EQ(a.centres.size(), 2u) << "no centre where the truth is flat";

    // Each isobar lies where the truth has its pressure, inside the network
    // (outside it the field is an extrapolation): within 1 hPa, or where the
    // gradient is steep, within 120 km of the true isobar (the pressure
    // error over the true gradient); 0.6 hPa RMS.
    ASSERT_FALSE(a.isobars.empty());
    double sum = 0;
    int vertices = 0;
    for (const Isobar& i : a.isobars) {
        EXPECT_EQ(std::fmod(i.pressureHpa, 4.0), 0.0);
        for (const IsobarLine& line : i.lines)
            for (const LatLon& p : line.points) {
                if (p.lat < 39 || p.lat > 63 || p.lon < -14 || p.lon > 24) continue;
                const double step = 0.05, km = step * kKmPerDegree;
                const double dy = (truth.at({p.lat + step, p.lon}) - truth.at({p.lat - step, p.lon})) / (2 * km);
                const double dx = (truth.at({p.lat, p.lon + step}) - truth.at({p.lat, p.lon - step})) /
                                  (2 * km * std::cos(p.lat * M_PI / 180));
                const double offHpa = std::fabs(truth.at(p) - i.pressureHpa);
                const double offKm = offHpa / std::max(1e-4, std::hypot(dx, dy));
                ASSERT_TRUE(offHpa <= 1.0 || offKm <= 120) << i.pressureHpa << " hPa at " << p.lat << ' ' << p.lon << ": "
                                                           << offHpa << " hPa, " << offKm << " km";
                sum += offHpa * offHpa;
                ++vertices;
            }
    }
    EXPECT_LT(std::sqrt(sum / vertices), 0.6);
    // The low's rings close round it.
    bool ringRoundLow = false;
    for (const Isobar& i : a.isobars)
        for (const IsobarLine& line : i.lines) ringRoundLow = ringRoundLow || (line.closed && i.pressureHpa <= 992);
    EXPECT_TRUE(ringRoundLow);
}

// Two networks 1,400 km apart across open sea with a steady gradient
// through both: the isobars stop at the edge of each network instead of
// bridging the gap with lines no report supports.
TEST(SurfaceAnalysis, DrawsNoIsobarAcrossAnAreaWithoutReports)
{
    KnownField gradient{{}, 1012};
    std::vector<LatLon> places = irregularStations(150, 40, -40, 60, -20, 3);
    for (const LatLon& p : irregularStations(150, 40, 0, 60, 20, 4)) places.push_back(p);
    auto reports = sample(gradient, places, hourOf(1, 12));
    for (PressureReport& r : reports) r.pressureHpa = std::round((1000 + 0.6 * (r.place.lon + 40) + 0.3 * (r.place.lat - 40)) * 10) / 10;
    const SurfaceAnalysis a = analyseSurface(reports);
    ASSERT_TRUE(a.ok()) << a.problem;
    ASSERT_GE(a.isobars.size(), 4u);
    const double reach = a.setup.maskRadiusKm + a.setup.grid.stepDeg * kKmPerDegree * 1.5;
    int west = 0, east = 0;
    for (const Isobar& i : a.isobars)
        for (const IsobarLine& line : i.lines)
            for (const LatLon& p : line.points) {
                ASSERT_LE(nearestStationKm(p, a.used), reach) << i.pressureHpa << " hPa at " << p.lat << ' ' << p.lon;
                ASSERT_FALSE(p.lon > -14 && p.lon < -6) << "isobar in the middle of the gap";
                (p.lon < -10 ? west : east)++;
            }
    EXPECT_GT(west, 0);
    EXPECT_GT(east, 0);
    EXPECT_FALSE(a.field.valueAt({50, -10}).has_value());
    EXPECT_TRUE(a.field.valueAt({50, -30}).has_value());
}

// A network across the antimeridian (the Bering Sea, the Pacific) is one
// network, not two halves at the ends of the world.
TEST(SurfaceAnalysis, AnalysesANetworkAcrossTheAntimeridian)
{
    KnownField pacific{{{{52, 180}, -24, 700}}, 1010};
    std::vector<LatLon> places = irregularStations(300, 40, 160, 64, 200, 11);
    for (LatLon& p : places)
        if (p.lon > 180) p.lon -= 360;
    const SurfaceAnalysis a = analyseSurface(sample(pacific, places, hourOf(2, 0)));
    ASSERT_TRUE(a.ok()) << a.problem;
    EXPECT_LT(rmsAgainstTruth(a.field, pacific), 1.0);
    ASSERT_EQ(a.centres.size(), 1u);
    EXPECT_EQ(a.centres[0].kind, 'L');
    EXPECT_LT(distanceKm(a.centres[0].place, {52, 180}), 150);
    EXPECT_LT(a.setup.grid.columns * a.setup.grid.stepDeg, 90) << "the grid spans the network, not the world";
}

// The hour analysed by default is the latest one with enough reports: a
// bulletin still coming in does not replace the last full one.
TEST(SurfaceAnalysis, PicksTheLatestHourWithEnoughReports)
{
    const KnownField truth = europeanPair();
    const auto places = irregularStations(60, 40, -10, 60, 20, 5);
    std::vector<PressureReport> reports = sample(truth, places, hourOf(1, 12));
    for (const PressureReport& r : sample(truth, places, hourOf(1, 15).addSecs(-10 * 60))) reports.push_back(r);
    auto early = sample(truth, places, hourOf(1, 18));
    reports.insert(reports.end(), early.begin(), early.begin() + 10);
    EXPECT_EQ(latestFullHour(reports), hourOf(1, 15)) << "14:50 belongs to 15 UTC; ten reports of 18 UTC are too few";
    reports.insert(reports.end(), early.begin() + 10, early.begin() + 40);
    EXPECT_EQ(latestFullHour(reports), hourOf(1, 18));
    EXPECT_FALSE(latestFullHour({}).isValid());

    AnalysisOptions at15;
    at15.hour = hourOf(1, 15);
    const SurfaceAnalysis a = analyseSurface(reports, at15);
    ASSERT_TRUE(a.ok()) << a.problem;
    EXPECT_EQ(a.hour, hourOf(1, 15));
    EXPECT_EQ(a.used.size(), places.size());

    const SurfaceAnalysis none = analyseSurface({});
    EXPECT_FALSE(none.ok());
    EXPECT_TRUE(none.isobars.empty());
}
