// The checks before the analysis: a wrong pressure is rejected with its
// reason and leaves the isobars where they were; a real extreme is kept.
#include "SyntheticField.h"

#include "synopanalysis/SurfaceAnalysis.h"

#include <gtest/gtest.h>

using namespace synop::analysis;
using namespace synop::analysis::testing;

namespace {

// The largest distance from a vertex of one set of isobars to the same
// isobar of the other, leaving out vertices near a place (where a station
// left out shortens a line rather than moving it).
double isobarShiftKm(const std::vector<Isobar>& from, const std::vector<Isobar>& to, LatLon except = {0, 0}, double exceptKm = 0)
{
    double worst = 0;
    for (const Isobar& i : from)
        for (const IsobarLine& line : i.lines)
            for (size_t k = 0; k < line.points.size(); k += 3)
                if (distanceKm(line.points[k], except) >= exceptKm)
                    worst = std::max(worst, distanceToIsobar(line.points[k], i.pressureHpa, to));
    return worst;
}

size_t nearestTo(const std::vector<PressureReport>& reports, LatLon place)
{
    size_t best = 0;
    for (size_t i = 1; i < reports.size(); ++i)
        if (distanceKm(reports[i].place, place) < distanceKm(reports[best].place, place)) best = i;
    return best;
}

}  // namespace

// 25 hPa off (a garbled figure of 4PPPP) at stations in the low, the
// high, the gradient between and the network's edge: each is rejected
// alone, its reason names its neighbours' value, and no isobar moves by
// more than 50 km (beyond the station's own reach, where the analysis now
// lacks it, lines may end sooner).
TEST(QualityControl, RejectsAPressure25hPaOffAndKeepsTheIsobars)
{
    const KnownField truth = europeanPair();
    const auto places = irregularStations(300, 38, -15, 64, 25, 21);
    const auto clean = sample(truth, places, hourOf(1, 12));
    const SurfaceAnalysis reference = analyseSurface(clean);
    ASSERT_TRUE(reference.ok());
    ASSERT_TRUE(reference.rejected.empty());
    for (const LatLon at : {LatLon{56, 4}, LatLon{45, -8}, LatLon{51, 0}, LatLon{39, 24}, LatLon{63, -14}}) {
        for (const double error : {25.0, -25.0}) {
            auto reports = clean;
            const size_t bad = nearestTo(reports, at);
            reports[bad].pressureHpa += error;
            const SurfaceAnalysis a = analyseSurface(reports);
            std::string reasons;
            for (const RejectedReport& r : a.rejected) reasons += r.report.station + (r.report.station == reports[bad].station ? " (the wrong one)" : "") + ": " + r.reason + "; ";
            ASSERT_EQ(a.rejected.size(), 1u) << at.lat << ' ' << at.lon << ' ' << error << ": " << reasons;
            EXPECT_EQ(a.rejected[0].report.station, reports[bad].station) << at.lat << ' ' << at.lon << ' ' << reasons;
            EXPECT_NE(a.rejected[0].reason.find("neighbours"), std::string::npos) << a.rejected[0].reason;
            EXPECT_LE(isobarShiftKm(a.isobars, reference.isobars, reports[bad].place, a.setup.maskRadiusKm), 50.0) << at.lat << ' ' << at.lon;
            EXPECT_LE(isobarShiftKm(reference.isobars, a.isobars, reports[bad].place, a.setup.maskRadiusKm), 50.0);
        }
    }
}

// Two wrong stations side by side must not hide each other, nor take
// their good neighbours with them.
TEST(QualityControl, RejectsNeighbouringErrorsButNotTheirNeighbours)
{
    const KnownField truth = europeanPair();
    auto reports = sample(truth, irregularStations(300, 38, -15, 64, 25, 22), hourOf(1, 12));
    const size_t a = nearestTo(reports, {50, 10});
    reports[a].pressureHpa += 20;
    auto others = reports;
    others.erase(others.begin() + long(a));
    const size_t b = nearestTo(others, {50, 10});
    const std::string second = others[b].station;
    for (PressureReport& r : reports)
        if (r.station == second) r.pressureHpa -= 15;
    const SurfaceAnalysis s = analyseSurface(reports);
    ASSERT_EQ(s.rejected.size(), 2u);
    for (const RejectedReport& r : s.rejected) EXPECT_TRUE(r.report.station == reports[a].station || r.report.station == second);
}

// What no sea-level pressure can be goes whatever the neighbours say, and
// a report with no neighbours at all (a lone ship) is kept.
TEST(QualityControl, AppliesGrossLimitsAndKeepsALoneReport)
{
    const KnownField truth = europeanPair();
    auto reports = sample(truth, irregularStations(100, 40, -10, 60, 20, 23), hourOf(1, 12));
    reports[3].pressureHpa = 1093.0;
    reports[7].pressureHpa = 862.0;
    PressureReport ship = reports[0];
    ship.form = synop::ReportForm::Ship;
    ship.station = "DBBH";
    ship.place = {45, -35};  // 2,000 km out in the Atlantic
    ship.pressureHpa = 1001.5;
    reports.push_back(ship);
    const SurfaceAnalysis a = analyseSurface(reports);
    ASSERT_EQ(a.rejected.size(), 2u);
    for (const RejectedReport& r : a.rejected) EXPECT_NE(r.reason.find("outside 870 to 1085 hPa"), std::string::npos) << r.reason;
    EXPECT_TRUE(std::any_of(a.used.begin(), a.used.end(), [](const PressureReport& r) { return r.station == "DBBH"; }));
}

// The centre of a deep, small low is lower than every neighbour by far
// more than any limit: it is the one report a chart must not lose.
TEST(QualityControl, KeepsTheCentreOfADeepLow)
{
    KnownField storm{{{{55, 5}, -45, 350}}, 1012};
    auto places = irregularStations(250, 45, -8, 65, 18, 24, 60);
    places.push_back({55, 5});
    const SurfaceAnalysis a = analyseSurface(sample(storm, places, hourOf(1, 12)));
    ASSERT_TRUE(a.ok());
    for (const RejectedReport& r : a.rejected) ADD_FAILURE() << r.report.station << ": " << r.reason;
    ASSERT_FALSE(a.centres.empty());
    EXPECT_EQ(a.centres[0].kind, 'L');
    EXPECT_LT(distanceKm(a.centres[0].place, {55, 5}), 100);
    EXPECT_LT(a.centres[0].pressureHpa, 975);
}

// Against the station's own previous report: a jump the air cannot make in
// an hour, that its neighbours do not share, is rejected; the same fall at
// every station (a real front) is kept.
TEST(QualityControl, ChecksTheTendencyAgainstThePreviousReport)
{
    const KnownField truth = europeanPair();
    const auto places = irregularStations(80, 40, -10, 60, 20, 25, 150);
    auto before = sample(truth, places, hourOf(1, 11));
    auto now = sample(truth, places, hourOf(1, 12));
    std::vector<PressureReport> reports = before;
    now[10].pressureHpa -= 7;  // within what its neighbours 200 km away allow
    reports.insert(reports.end(), now.begin(), now.end());
    SurfaceAnalysis a = analyseSurface(reports);
    ASSERT_EQ(a.hour, hourOf(1, 12));
    ASSERT_EQ(a.rejected.size(), 1u);
    EXPECT_EQ(a.rejected[0].report.station, now[10].station);
    EXPECT_NE(a.rejected[0].reason.find("fell by 7.0 hPa in 1 h since its report of 11:00 UTC"), std::string::npos)
        << a.rejected[0].reason;

    // Without the earlier hour there is nothing to compare with.
    EXPECT_TRUE(analyseSurface(now).rejected.empty());

    // All fall together: the neighbours confirm it.
    for (PressureReport& r : reports)
        if (r.observedUtc == hourOf(1, 12)) r.pressureHpa -= 7 * (r.station == now[10].station ? 0 : 1);
    const SurfaceAnalysis together = analyseSurface(reports);
    for (const RejectedReport& r : together.rejected) ADD_FAILURE() << r.report.station << ": " << r.reason;
}

// An earlier reading may be the wrong one: a second, misdated reading of
// the hour before, or a garbled report two hours ago. A report that agrees
// with any of the station's earlier reports is not held against the others.
TEST(QualityControl, ATendencyAgainstAWrongEarlierReadingIsNoFault)
{
    const KnownField truth = europeanPair();
    const auto places = irregularStations(80, 40, -10, 60, 20, 25, 150);
    std::vector<PressureReport> reports;
    for (int h = 9; h <= 12; ++h)
        for (const PressureReport& r : sample(truth, places, hourOf(1, h))) reports.push_back(r);
    const std::string station = reports[10].station;
    PressureReport misdated = reports[10];
    misdated.observedUtc = hourOf(1, 11);
    misdated.pressureHpa += 8.1;  // another hour's reading under 11 UTC
    reports.push_back(misdated);
    for (PressureReport& r : reports)
        if (r.station == station && r.observedUtc == hourOf(1, 10)) r.pressureHpa -= 9;  // garbled at 10 UTC
    const SurfaceAnalysis a = analyseSurface(reports);
    ASSERT_EQ(a.hour, hourOf(1, 12));
    for (const RejectedReport& r : a.rejected) ADD_FAILURE() << r.report.station << ": " << r.reason;
}

// A report whose station or date the decoder doubted is left out; one with
// other warnings counts half.
TEST(QualityControl, WeighsDecoderWarnings)
{
    const KnownField truth = europeanPair();
    auto reports = sample(truth, irregularStations(100, 40, -10, 60, 20, 26), hourOf(1, 12));
    reports[0].identityDoubt = "station index 0345 is not five figures";
    reports[0].warned = true;
    reports[1].warned = true;
    const SurfaceAnalysis a = analyseSurface(reports);
    ASSERT_EQ(a.rejected.size(), 1u);
    EXPECT_EQ(a.rejected[0].report.station, reports[0].station);
    EXPECT_NE(a.rejected[0].reason.find("not five figures"), std::string::npos);
    const auto warned = std::find_if(a.used.begin(), a.used.end(), [&](const PressureReport& r) { return r.station == reports[1].station; });
    ASSERT_NE(warned, a.used.end());
    EXPECT_EQ(a.usedWeight[size_t(warned - a.used.begin())], 0.5);
}
