// An hour of real reports (Argentina, the Falklands and Antarctica, 15 March
// 2026, 12 UTC): analysed within the target fit, hardly anything rejected,
// and no isobar across the Drake Passage, where no station reports.
#include "synopanalysis/SurfaceAnalysis.h"
#include "synoplog/ObservationTime.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace synop::analysis;

namespace {

std::vector<PressureReport> realReports()
{
    QFile file(QStringLiteral(SYNOP_CORPUS_DIR "/real/ogimet-land-2026-03-01-15.txt"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray text = file.readAll();
    const QDateTime received(QDate(2026, 3, 16), QTime(0, 0), Qt::UTC);
    return pressureReportsInText(std::string_view(text.constData(), size_t(text.size())),
                                 [&](const synop::DecodedReport& d) { return synop::observationTime(d, received); });
}

}  // namespace

TEST(RealAnalysis, OneHourOfArgentineReports)
{
    const std::vector<PressureReport> reports = realReports();
    ASSERT_GT(reports.size(), 5000u);
    AnalysisOptions options;
    options.hour = QDateTime(QDate(2026, 3, 15), QTime(12, 0), Qt::UTC);
    const SurfaceAnalysis a = analyseSurface(reports, options);
    ASSERT_TRUE(a.ok()) << a.problem;
    EXPECT_GE(a.used.size(), 60u);
    EXPECT_LE(a.rejected.size() * 20, a.used.size()) << "at most 5 % rejected";
    EXPECT_LE(a.fitRmsHpa, 1.5);
    ASSERT_GE(a.isobars.size(), 3u);

    const double reach = a.setup.maskRadiusKm + a.setup.grid.stepDeg * kKmPerDegree * 1.5;
    for (const Isobar& i : a.isobars)
        for (const IsobarLine& line : i.lines)
            for (const LatLon& p : line.points) {
                double nearest = 1e9;
                for (const PressureReport& r : a.used) nearest = std::min(nearest, distanceKm(p, r.place));
                ASSERT_LE(nearest, reach) << i.pressureHpa << " hPa at " << p.lat << ' ' << p.lon;
            }
    EXPECT_FALSE(a.field.valueAt({-58.5, -63}).has_value()) << "the Drake Passage has no report";
}
