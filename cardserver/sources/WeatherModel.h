#pragma once
// A small, smooth weather model for the demo broadcast: moving pressure
// systems over western Europe, winds from their gradient, temperature by
// latitude, season, hour and cloud. Neighbouring stations agree, a station's
// values follow each other in time, and everything derives from one seed.
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>

namespace cardserver {

struct Station {
    QString country;  // bulletin country code, e.g. "DL"
    QString index;    // WMO block and station number, 5 digits
    QString name;
    double lat = 0, lon = 0;
    int elevation = 0;  // m
};

// Loads the stations that come with the server.
QList<Station> demoStations();

enum class Precipitation { None, Drizzle, Rain, Snow };

struct Observation {
    double temperature = 0;      // °C
    double dewPoint = 0;         // °C, never above the temperature
    double seaLevelPressure = 0; // hPa
    double stationPressure = 0;  // hPa
    double tendency = 0;         // hPa over the last 3 hours
    int windDirection = 0;       // degrees, 0 = calm
    int windSpeed = 0;           // m/s
    int cloudCover = 0;          // oktas, 9 = sky obscured
    int lowCloud = 0;            // oktas
    double cloudBase = 2500;     // m
    double visibility = 20000;   // m
    Precipitation precipitation = Precipitation::None;
    bool heavy = false;
    bool fog = false;
    double precipitationLast6h = 0;  // mm
};

class WeatherModel {
public:
    explicit WeatherModel(uint32_t seed);

    Observation observe(const Station& station, const QDateTime& utc) const;
    // Extremes of the hourly temperature over the hours before the time.
    double maximumTemperature(const Station& station, const QDateTime& utc, int hours) const;
    double minimumTemperature(const Station& station, const QDateTime& utc, int hours) const;
    // Now and then a station's report does not come in; the bulletin says NIL.
    bool reportMissing(const Station& station, const QDateTime& utc) const;

private:
    double seaLevelPressure(double lat, double lon, double hours) const;
    double temperature(const Station& station, double hours, int cloud) const;
    int cloudCover(const Station& station, double hours) const;
    double noise(const Station& station, double hours, int channel) const;  // -1..1

    uint32_t m_seed;
    struct System {
        double lat, lon;        // position at hour 0
        double speedEast;       // degrees of longitude per hour
        double depth;           // hPa, negative = low
        double radius;          // degrees
    };
    QList<System> m_systems;
};

double hoursSinceEpoch(const QDateTime& utc);

}  // namespace cardserver
