#include "synopanalysis/QualityControl.h"

#include "synopanalysis/BarnesAnalysis.h"

#include <QString>
#include <algorithm>
#include <limits>

namespace synop::analysis {

namespace {

QString hpa(double v) { return QString::number(v, 'f', 1); }

struct BuddyFit {
    double estimate = std::numeric_limits<double>::quiet_NaN();
    int buddies = 0;
    double meanDistanceKm = 0;
    double allowanceHpa = 0;  // more for an estimate that cannot follow a gradient
};

struct Buddy {
    double x, y, pressure, weight, distanceKm;
};

// Weighted least-squares plane p = a + b x + c y; false when the buddies lie
// in a line (a coast, a valley) and leave it undetermined across.
bool fitPlane(const std::vector<Buddy>& buddies, double coefficients[3])
{
    double m[3][3] = {}, v[3] = {};
    for (const Buddy& b : buddies) {
        const double row[3] = {1, b.x, b.y};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] += b.weight * row[i] * row[j];
            v[i] += b.weight * row[i] * b.pressure;
        }
    }
    auto det3 = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double det = det3(m);
    const double spread = m[1][1] * m[2][2];
    if (!(spread > 0) || std::fabs(det) <= 1e-6 * spread * m[0][0]) return false;
    for (int k = 0; k < 3; ++k) {  // Cramer's rule
        double mk[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) mk[i][j] = j == k ? v[i] : m[i][j];
        coefficients[k] = det3(mk) / det;
    }
    return true;
}

double median(const std::vector<Buddy>& buddies)
{
    std::vector<double> values;
    for (const Buddy& b : buddies) values.push_back(b.pressure);
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The buddies' estimate at the station (x, y in km east and north of it):
// one bad report must not make its good neighbour look bad.
BuddyFit fitBuddies(size_t i, const std::vector<PressureReport>& reports, const std::vector<Observation>& obs,
                    const std::vector<char>& active, const NeighbourIndex& index, double radiusKm, int minimum,
                    double outlierHpa)
{
    BuddyFit fit;
    const PressureReport& self = reports[i];
    const double shrink = std::cos(self.place.lat * M_PI / 180.0);
    const double scale2 = 1.0 / (0.25 * radiusKm * radiusKm);
    std::vector<Buddy> buddies;
    // A station at the edge of the network looks twice as far before it goes unchecked.
    for (double reach = radiusKm; reach <= 2 * radiusKm && int(buddies.size()) < minimum; reach *= 2) {
        buddies.clear();
        index.visitWithin(self.place, reach, [&](size_t j, double d2) {
            if (j == i || !active[j] || reports[j].sameStation(self)) return;
            buddies.push_back({unwrapLongitude(reports[j].place.lon - self.place.lon, 0) * shrink * kKmPerDegree,
                               (reports[j].place.lat - self.place.lat) * kKmPerDegree, reports[j].pressureHpa,
                               obs[j].weight * std::exp(-d2 * scale2), std::sqrt(d2)});
        });
    }
    if (int(buddies.size()) < minimum) return fit;
    // A plane through few buddies follows any one of them wherever it
    // goes: fewer than five give their median. More give a plane fitted by
    // reweighting (Tukey's biweight), started from the median, so that a
    // buddy far off the others counts for nothing.
    constexpr size_t kFewestForAPlane = 5;
    double c[3] = {median(buddies), 0, 0};
    bool plane = false;
    if (buddies.size() >= kFewestForAPlane) {
        std::vector<Buddy> weighted = buddies;
        for (int pass = 0; pass < 3; ++pass) {
            size_t counted = 0;
            for (size_t k = 0; k < buddies.size(); ++k) {
                const double u = (buddies[k].pressure - (c[0] + c[1] * buddies[k].x + c[2] * buddies[k].y)) / (2 * outlierHpa);
                weighted[k].weight = std::fabs(u) < 1 ? buddies[k].weight * (1 - u * u) * (1 - u * u) : 0;
                counted += weighted[k].weight > 0;
            }
            double next[3];
            if (counted < kFewestForAPlane || !fitPlane(weighted, next)) break;
            std::copy(next, next + 3, c);
            plane = true;
        }
        if (plane) {
            std::vector<Buddy> kept;
            for (size_t k = 0; k < buddies.size(); ++k)
                if (weighted[k].weight > 0) kept.push_back(buddies[k]);
            buddies.swap(kept);
        }
    }
    fit.buddies = int(buddies.size());
    double sw = 0, swd = 0, lowest = 1e9, highest = -1e9;
    for (const Buddy& b : buddies) {
        sw += b.weight;
        swd += b.weight * b.distanceKm;
        lowest = std::min(lowest, b.pressure);
        highest = std::max(highest, b.pressure);
    }
    fit.meanDistanceKm = sw > 0 ? swd / sw : 0;
    if (plane) {
        // A plane extrapolated far outside its buddies is no estimate.
        const double slack = 0.5 * (highest - lowest) + 2;
        fit.estimate = std::clamp(c[0], lowest - slack, highest + slack);
    } else {
        // Half their spread allowed for the gradient a median cannot follow.
        fit.estimate = median(buddies);
        fit.allowanceHpa = 0.5 * (highest - lowest);
    }
    return fit;
}

}  // namespace

int QualityVerdict::rejected() const
{
    return int(std::count(weight.begin(), weight.end(), 0.0));
}

QualityVerdict checkQuality(const std::vector<PressureReport>& reports,
                            const std::vector<std::vector<const PressureReport*>>& earlier,
                            double spacingKm, const QualityOptions& o)
{
    const size_t n = reports.size();
    QualityVerdict verdict;
    verdict.weight.assign(n, 1.0);
    verdict.reason.assign(n, {});
    verdict.buddyEstimate.assign(n, std::numeric_limits<double>::quiet_NaN());
    std::vector<Observation> obs(n);
    std::vector<char> active(n, 1);
    auto reject = [&](size_t i, const QString& why) {
        verdict.weight[i] = 0;
        verdict.reason[i] = why.toStdString();
        active[i] = 0;
    };
    for (size_t i = 0; i < n; ++i) {
        const PressureReport& r = reports[i];
        obs[i] = {r.place, r.pressureHpa, r.warned ? o.warnedWeight : 1.0};
        verdict.weight[i] = obs[i].weight;
        if (!r.identityDoubt.empty())
            reject(i, QStringLiteral("station or time in doubt: %1").arg(QString::fromStdString(r.identityDoubt)));
        else if (r.pressureHpa < o.lowestHpa || r.pressureHpa > o.highestHpa)
            reject(i, QStringLiteral("%1 hPa is outside %2 to %3 hPa").arg(hpa(r.pressureHpa)).arg(o.lowestHpa).arg(o.highestHpa));
    }

    const double radius = o.buddyRadiusKm > 0 ? o.buddyRadiusKm : std::clamp(3 * spacingKm, 150.0, 600.0);
    const NeighbourIndex index(obs, radius);
    std::vector<BuddyFit> fits(n);
    std::vector<double> excess(n, 0);  // residual over the limit; above 1 fails
    auto limitOf = [&](size_t i) {
        const double limit =
            o.buddyLimitHpa + o.limitPerHundredKmHpa * fits[i].meanDistanceKm / 100.0 + fits[i].allowanceHpa;
        return reports[i].warned ? limit * o.warnedLimitFactor : limit;
    };
    for (size_t round = 0; round < n; ++round) {
        for (size_t i = 0; i < n; ++i) {
            excess[i] = 0;
            if (!active[i]) continue;
            fits[i] = fitBuddies(i, reports, obs, active, index, radius, o.minimumBuddies, o.buddyLimitHpa);
            if (!std::isnan(fits[i].estimate)) excess[i] = std::fabs(reports[i].pressureHpa - fits[i].estimate) / limitOf(i);
        }
        bool any = false;
        for (size_t i = 0; i < n; ++i) {
            if (excess[i] <= 1) continue;
            bool worst = true;
            index.visitWithin(reports[i].place, radius, [&](size_t j, double) {
                if (j != i && (excess[j] > excess[i] || (excess[j] == excess[i] && j < i))) worst = false;
            });
            if (!worst) continue;
            reject(i, QStringLiteral("%1 hPa where %2 neighbours within %3 km give %4 hPa")
                          .arg(hpa(reports[i].pressureHpa))
                          .arg(fits[i].buddies)
                          .arg(int(std::lround(radius)))
                          .arg(hpa(fits[i].estimate)));
            any = true;
        }
        if (!any) break;
    }

    // Each station's change since its own earlier reports, per hour: against
    // the one it agrees with best, as an earlier reading may be the garbled
    // one (or a second, misdated reading of the same hour).
    std::vector<double> changePerHour(n, std::numeric_limits<double>::quiet_NaN());
    std::vector<const PressureReport*> against(n, nullptr);
    for (size_t i = 0; i < n; ++i) {
        verdict.buddyEstimate[i] = fits[i].estimate;
        if (i >= earlier.size()) continue;
        double best = std::numeric_limits<double>::infinity();
        for (const PressureReport* before : earlier[i]) {
            const double hours = before->observedUtc.secsTo(reports[i].observedUtc) / 3600.0;
            if (hours <= 0 || hours > o.previousWithinHours) continue;
            const double change = reports[i].pressureHpa - before->pressureHpa;
            const double excessOfChange = std::fabs(change) / (o.tendencyHpa + o.tendencyPerHourHpa * hours);
            if (excessOfChange < best) {
                best = excessOfChange;
                against[i] = before;
                changePerHour[i] = change / hours;
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        if (!active[i] || std::isnan(changePerHour[i])) continue;
        const double hours = against[i]->observedUtc.secsTo(reports[i].observedUtc) / 3600.0;
        const double change = changePerHour[i] * hours;
        if (std::fabs(change) <= o.tendencyHpa + o.tendencyPerHourHpa * hours) continue;
        // A real rapid change shows at the neighbours too: in their own
        // tendencies where they have earlier reports, else in their values now.
        double sum = 0;
        int withChange = 0;
        index.visitWithin(reports[i].place, radius, [&](size_t j, double) {
            if (j == i || !active[j] || std::isnan(changePerHour[j]) || reports[j].sameStation(reports[i])) return;
            sum += changePerHour[j];
            ++withChange;
        });
        const bool confirmed =
            withChange >= 2 ? std::fabs(changePerHour[i] - sum / withChange) * hours <= 0.5 * std::fabs(change)
                            : !std::isnan(fits[i].estimate) && std::fabs(reports[i].pressureHpa - fits[i].estimate) <= 0.5 * limitOf(i);
        if (confirmed) continue;
        reject(i, QStringLiteral("%1 by %2 hPa in %3 h since its report of %4, and no neighbour confirms it")
                      .arg(change > 0 ? QStringLiteral("rose") : QStringLiteral("fell"))
                      .arg(hpa(std::fabs(change)))
                      .arg(QString::number(hours, 'g', 2))
                      .arg(against[i]->observedUtc.toString(QStringLiteral("HH:mm 'UTC'"))));
    }
    return verdict;
}

}  // namespace synop::analysis
