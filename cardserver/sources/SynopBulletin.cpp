#include "SynopBulletin.h"

#include <algorithm>
#include <cmath>

namespace cardserver {

namespace {

QString digits(long value, int width) { return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0')); }

// snTTT: sign digit and tenths of a degree.
QString signedTenths(double celsius)
{
    const long tenths = std::lround(std::fabs(celsius) * 10);
    const bool negative = std::lround(celsius * 10) < 0;
    return QString::number(negative ? 1 : 0) + digits(tenths, 3);
}

// Pressure in tenths of hPa without the thousands: 1013.2 -> 0132, 998.7 -> 9987.
QString pressureGroup(double hPa) { return digits(std::lround(hPa * 10) % 10000, 4); }

int cloudBaseCode(double metres, int cover)
{
    if (cover == 0) return 9;
    static constexpr double limits[] = {50, 100, 200, 300, 600, 1000, 1500, 2000, 2500};
    for (int code = 0; code < 9; ++code)
        if (metres < limits[code]) return code;
    return 9;
}

int visibilityCode(double metres)
{
    if (metres < 100) return 0;
    if (metres <= 5000) return int(metres / 100);
    if (metres <= 30000) return 50 + int(metres / 1000);
    if (metres <= 70000) return std::min(88, 80 + int((metres - 30000) / 5000));
    return 89;
}

int presentWeather(const Observation& o)
{
    switch (o.precipitation) {
    case Precipitation::Drizzle: return 51;
    case Precipitation::Rain: return o.heavy ? 63 : 61;
    case Precipitation::Snow: return o.heavy ? 73 : 71;
    case Precipitation::None: break;
    }
    if (o.fog) return 45;
    if (o.visibility < 5000) return 10;  // mist
    return -1;                           // nothing to report
}

int pastWeather(int ww)
{
    if (ww >= 70) return 7;
    if (ww >= 60) return 6;
    if (ww >= 50) return 5;
    if (ww >= 40) return 4;
    return 2;
}

QString cloudGroup(const Observation& o)
{
    if (o.cloudCover == 0) return {};
    if (o.cloudCover == 9) return QStringLiteral("89///");
    const bool precipitating = o.precipitation != Precipitation::None;
    const int low = precipitating ? 7 : (o.lowCloud > 0 ? 5 : 0);
    const QString middle = precipitating && o.cloudCover == 8 ? QStringLiteral("/")
                           : o.cloudCover > o.lowCloud     ? QStringLiteral("3")
                                                            : QStringLiteral("0");
    const QString high = precipitating && o.cloudCover == 8 ? QStringLiteral("/")
                         : o.cloudCover >= 3                ? QStringLiteral("1")
                                                            : QStringLiteral("0");
    return QStringLiteral("8%1%2%3%4").arg(o.lowCloud).arg(low).arg(middle, high);
}

}  // namespace

QString encodeSynop(const Station& station, const Observation& o, const QDateTime& utc,
                    const WeatherModel& model)
{
    const int hour = utc.time().hour();
    const bool mainHour = hour % 6 == 0;
    const int ww = presentWeather(o);
    // iR: 1 amount in section 1, 3 none fell, 4 not observed at this hour.
    const int iR = !mainHour ? 4 : o.precipitationLast6h > 0 ? 1 : 3;
    const int iX = ww >= 0 ? 1 : 2;
    QStringList groups{station.index};
    groups << QStringLiteral("%1%2%3%4").arg(iR).arg(iX).arg(cloudBaseCode(o.cloudBase, o.cloudCover))
                  .arg(digits(visibilityCode(o.visibility), 2));
    groups << QStringLiteral("%1%2%3").arg(o.cloudCover).arg(digits(o.windDirection / 10, 2))
                  .arg(digits(o.windSpeed, 2));
    groups << QStringLiteral("1") + signedTenths(o.temperature);
    groups << QStringLiteral("2") + signedTenths(std::min(o.dewPoint, o.temperature));
    groups << QStringLiteral("3") + pressureGroup(o.stationPressure);
    groups << QStringLiteral("4") + pressureGroup(o.seaLevelPressure);
    const long change = std::lround(std::fabs(o.tendency) * 10);
    const int characteristic = change == 0 ? 4 : o.tendency > 0 ? 2 : 7;
    groups << QStringLiteral("5%1%2").arg(characteristic).arg(digits(change, 3));
    if (iR == 1) {
        const double mm = o.precipitationLast6h;
        const long code = mm < 1 ? 990 + std::max(1L, std::lround(mm * 10)) : std::lround(mm);
        groups << QStringLiteral("6%1%2").arg(digits(code, 3)).arg(1);  // over 6 hours
    }
    if (iX == 1) groups << QStringLiteral("7%1%2%3").arg(digits(ww, 2)).arg(pastWeather(ww)).arg(o.cloudCover > 4 ? 2 : 1);
    if (const QString clouds = cloudGroup(o); !clouds.isEmpty()) groups << clouds;

    QStringList section3;
    if (hour == 18) section3 << QStringLiteral("1") + signedTenths(model.maximumTemperature(station, utc, 12));
    if (hour == 6) section3 << QStringLiteral("2") + signedTenths(model.minimumTemperature(station, utc, 12));
    if (!section3.isEmpty()) groups << QStringLiteral("333") << section3;
    return groups.join(QLatin1Char(' ')) + QLatin1Char('=');
}

QStringList synopBulletin(int sequence, const QString& country, const QList<Station>& stations,
                          const QDateTime& utc, const WeatherModel& model)
{
    const QString crlf = QStringLiteral("\r\n");
    const int hour = utc.time().hour();
    const QString day = digits(utc.date().day(), 2);
    QStringList lines;
    lines << QStringLiteral("ZCZC %1").arg(digits(sequence % 1000, 3)) + crlf;
    lines << QStringLiteral("%1%2%3 EDZW %4%5")
                     .arg(hour % 6 == 0 ? QStringLiteral("SM") : QStringLiteral("SI"), country,
                          QStringLiteral("01"), day, digits(hour, 2) + QStringLiteral("00"))
                 + crlf;
    lines << QStringLiteral("AAXX %1%2%3").arg(day, digits(hour, 2)).arg(1) + crlf;  // wind in m/s, measured
    for (const Station& station : stations) {
        // A teleprinter line holds 69 characters; longer reports continue
        // on the next line.
        QString report = model.reportMissing(station, utc)
                             ? station.index + QStringLiteral(" NIL=")
                             : encodeSynop(station, model.observe(station, utc), utc, model);
        while (report.size() > 69) {
            const qsizetype cut = report.lastIndexOf(QLatin1Char(' '), 69);
            lines << report.left(cut) + crlf;
            report = QStringLiteral("     ") + report.mid(cut);
        }
        lines << report + crlf;
    }
    lines << crlf << QStringLiteral("NNNN") + crlf;
    return lines;
}

}  // namespace cardserver
