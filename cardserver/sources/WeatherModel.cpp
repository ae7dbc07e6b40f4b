#include "WeatherModel.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <numbers>

// Outside any namespace, as the resource initialiser is.
static void initStationResource() { Q_INIT_RESOURCE(cardserver_data); }

namespace cardserver {

namespace {

uint64_t splitmix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

double unit(uint64_t x) { return double(splitmix(x) >> 11) / double(1ull << 53); }  // 0..1

constexpr double kPi = std::numbers::pi;

}  // namespace

double hoursSinceEpoch(const QDateTime& utc) { return double(utc.toSecsSinceEpoch()) / 3600.0; }

QList<Station> demoStations()
{
    initStationResource();
    QList<Station> stations;
    QFile file(QStringLiteral(":/cardserver/stations.txt"));
    if (!file.open(QIODevice::ReadOnly)) return stations;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList f = in.readLine().split(QLatin1Char(';'));
        if (f.size() != 6) continue;
        stations << Station{f[0], f[1], f[2], f[3].toDouble(), f[4].toDouble(), f[5].toInt()};
    }
    return stations;
}

WeatherModel::WeatherModel(uint32_t seed) : m_seed(seed)
{
    // Three systems crossing the region from the west, a high among them.
    for (int i = 0; i < 3; ++i) {
        const uint64_t k = uint64_t(seed) * 16 + uint64_t(i);
        m_systems << System{44 + 14 * unit(k * 7 + 1), -25 + 20 * unit(k * 7 + 2),
                            0.25 + 0.35 * unit(k * 7 + 3),
                            i == 1 ? 12 + 14 * unit(k * 7 + 4) : -(12 + 22 * unit(k * 7 + 4)),
                            7 + 6 * unit(k * 7 + 5)};
    }
}

double WeatherModel::seaLevelPressure(double lat, double lon, double hours) const
{
    double p = 1013;
    for (const System& s : m_systems) {
        // Systems wrap round a 90-degree belt so that the weather keeps moving.
        double centreLon = std::fmod(s.lon + s.speedEast * hours + 45, 90.0);
        if (centreLon < 0) centreLon += 90;
        centreLon -= 45;
        const double dLat = lat - s.lat;
        const double dLon = (lon - centreLon) * std::cos(lat * kPi / 180);
        p += s.depth * std::exp(-(dLat * dLat + dLon * dLon) / (2 * s.radius * s.radius));
    }
    return p;
}

double WeatherModel::noise(const Station& station, double hours, int channel) const
{
    const uint64_t key = (uint64_t(station.index.toUInt()) << 32) ^ (uint64_t(std::llround(hours)) << 4)
                         ^ uint64_t(channel) ^ (uint64_t(m_seed) << 56);
    return 2 * unit(key) - 1;
}

int WeatherModel::cloudCover(const Station& station, double hours) const
{
    const double anomaly = seaLevelPressure(station.lat, station.lon, hours) - 1013;
    const double oktas = 4.5 - anomaly / 3.5 + 1.5 * noise(station, hours, 1);
    return std::clamp(int(std::lround(oktas)), 0, 8);
}

double WeatherModel::temperature(const Station& station, double hours, int cloud) const
{
    const QDateTime time = QDateTime::fromSecsSinceEpoch(qint64(hours * 3600), Qt::UTC);
    const int day = time.date().dayOfYear();
    const double annualMean = 29 - 0.4 * station.lat;
    const double season = annualMean - 8 * std::cos(2 * kPi * (day - 20) / 365.25);
    const double localHour = std::fmod(hours + station.lon / 15 + 240000, 24.0);
    const double dailyRange = (3 + 2 * std::sin(2 * kPi * (day - 80) / 365.25)) * (1 - 0.08 * cloud);
    const double diurnal = dailyRange * std::cos(2 * kPi * (localHour - 14.5) / 24);
    return season + diurnal - 0.0065 * station.elevation + 1.2 * noise(station, hours, 2);
}

double WeatherModel::maximumTemperature(const Station& station, const QDateTime& utc, int hours) const
{
    const double now = std::round(hoursSinceEpoch(utc));
    double best = -100;
    for (int h = 0; h <= hours; ++h)
        best = std::max(best, temperature(station, now - h, cloudCover(station, now - h)));
    return best;
}

double WeatherModel::minimumTemperature(const Station& station, const QDateTime& utc, int hours) const
{
    const double now = std::round(hoursSinceEpoch(utc));
    double least = 100;
    for (int h = 0; h <= hours; ++h)
        least = std::min(least, temperature(station, now - h, cloudCover(station, now - h)));
    return least;
}

bool WeatherModel::reportMissing(const Station& station, const QDateTime& utc) const
{
    return (noise(station, std::round(hoursSinceEpoch(utc)), 9) + 1) / 2 < 0.03;
}

Observation WeatherModel::observe(const Station& station, const QDateTime& utc) const
{
    const double hours = std::round(hoursSinceEpoch(utc));
    Observation o;
    o.seaLevelPressure = seaLevelPressure(station.lat, station.lon, hours) + 0.3 * noise(station, hours, 3);
    o.tendency = o.seaLevelPressure - seaLevelPressure(station.lat, station.lon, hours - 3)
                 - 0.3 * noise(station, hours - 3, 3);
    o.cloudCover = cloudCover(station, hours);
    o.temperature = temperature(station, hours, o.cloudCover);
    o.stationPressure =
        o.seaLevelPressure * std::exp(-station.elevation / (29.27 * (o.temperature + 273.15)));

    // Geostrophic wind from the pressure gradient, reduced and backed by
    // friction near the ground; low pressure lies to the left of the wind.
    const double step = 0.5;  // degrees
    const double kmPerDegLat = 111.2, kmPerDegLon = 111.2 * std::cos(station.lat * kPi / 180);
    const double dpdx = (seaLevelPressure(station.lat, station.lon + step, hours)
                         - seaLevelPressure(station.lat, station.lon - step, hours)) / (2 * step * kmPerDegLon);
    const double dpdy = (seaLevelPressure(station.lat + step, station.lon, hours)
                         - seaLevelPressure(station.lat - step, station.lon, hours)) / (2 * step * kmPerDegLat);
    const double f = 2 * 7.292e-5 * std::sin(station.lat * kPi / 180);
    const double scale = 100.0 / 1000.0 / (1.25 * f);  // hPa/km -> m/s
    double u = -scale * dpdy, v = scale * dpdx;
    const double back = 20 * kPi / 180;
    const double uSurface = 0.55 * (u * std::cos(back) - v * std::sin(back));
    const double vSurface = 0.55 * (u * std::sin(back) + v * std::cos(back));
    const double speed = std::hypot(uSurface, vSurface) * (1 + 0.2 * noise(station, hours, 4));
    o.windSpeed = int(std::lround(std::min(speed, 35.0)));
    if (o.windSpeed > 0) {
        double from = std::atan2(-uSurface, -vSurface) * 180 / kPi + 10 * noise(station, hours, 5);
        from = std::fmod(from + 720, 360);
        o.windDirection = int(std::lround(from / 10)) * 10;
        if (o.windDirection == 0) o.windDirection = 360;
    }

    // Moisture follows the cloud: overcast air is near saturation.
    const double spread = std::max(0.2, 0.4 + (8 - o.cloudCover) * 0.7 + 1.2 * (noise(station, hours, 6) + 1));
    o.dewPoint = o.temperature - spread;
    const double wetness = unit(uint64_t(station.index.toUInt()) * 977 + uint64_t(hours) * 31 + m_seed);
    if (o.cloudCover >= 7 && o.seaLevelPressure < 1008 && wetness < 0.6) {
        o.precipitation = o.temperature < 1 ? Precipitation::Snow
                          : wetness < 0.12  ? Precipitation::Drizzle
                                            : Precipitation::Rain;
        o.heavy = wetness < 0.2 && o.precipitation != Precipitation::Drizzle;
        o.dewPoint = o.temperature - std::min(spread, 1.2);
        o.precipitationLast6h = o.precipitation == Precipitation::Drizzle ? 0.4 : 1 + 9 * wetness;
    } else if (spread < 0.8 && o.windSpeed <= 2) {
        o.fog = true;
        o.cloudCover = 9;
    }
    o.lowCloud = o.cloudCover == 9 ? 9 : std::min(o.cloudCover, o.precipitation != Precipitation::None ? 8 : o.cloudCover / 2 + 1);
    o.cloudBase = std::clamp(125 * (o.temperature - o.dewPoint), 40.0, 3000.0);
    if (o.fog) o.visibility = 200 + 600 * (noise(station, hours, 7) + 1) / 2;
    else if (o.precipitation == Precipitation::Snow) o.visibility = 1500 + 3000 * (noise(station, hours, 7) + 1) / 2;
    else if (o.precipitation != Precipitation::None) o.visibility = 5000 + 7000 * (noise(station, hours, 7) + 1) / 2;
    else if (spread < 2) o.visibility = 3000 + 4000 * (noise(station, hours, 7) + 1) / 2;
    else o.visibility = 15000 + 30000 * (noise(station, hours, 7) + 1) / 2;
    return o;
}

}  // namespace cardserver
