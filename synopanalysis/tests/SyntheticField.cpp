#include "SyntheticField.h"

#include "synopanalysis/Isobars.h"

#include <random>

namespace synop::analysis::testing {

double KnownField::at(LatLon p) const
{
    double v = background;
    for (const Centre& c : centres) {
        const double d = distanceKm(p, c.place);
        v += c.amplitudeHpa * std::exp(-(d * d) / (c.radiusKm * c.radiusKm));
    }
    return v;
}

KnownField europeanPair()
{
    return {{{{56, 4}, -28, 700}, {{45, -8}, 22, 900}}, 1010};
}

std::vector<LatLon> irregularStations(int count, double south, double west, double north, double east, unsigned seed, double minKm)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> lat(south, north), lon(west, east);
    std::vector<LatLon> out;
    for (int tries = 0; int(out.size()) < count && tries < count * 50; ++tries) {
        const LatLon p{lat(random), lon(random)};
        bool apart = true;
        for (const LatLon& q : out) apart = apart && distanceKm(p, q) >= minKm;
        if (apart) out.push_back(p);
    }
    return out;
}

std::vector<PressureReport> sample(const KnownField& field, const std::vector<LatLon>& places, const QDateTime& observed)
{
    std::vector<PressureReport> out;
    int n = 0;
    for (const LatLon& p : places) {
        PressureReport r;
        r.station = std::to_string(10000 + n++);
        r.place = p;
        r.observedUtc = observed;
        r.pressureHpa = std::round(field.at(p) * 10) / 10;  // as reported, in tenths
        out.push_back(r);
    }
    return out;
}

QDateTime hourOf(int day, int hour) { return QDateTime(QDate(2026, 3, day), QTime(hour, 0), Qt::UTC); }

double distanceToIsobar(LatLon p, double pressureHpa, const std::vector<Isobar>& isobars)
{
    double best = 1e9;
    for (const Isobar& i : isobars) {
        if (i.pressureHpa != pressureHpa) continue;
        for (const IsobarLine& line : i.lines)
            for (const LatLon& q : line.points) best = std::min(best, distanceKm(p, q));
    }
    return best;
}

}  // namespace synop::analysis::testing
