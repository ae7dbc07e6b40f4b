#include "rtty/signal/BulletinText.h"

#include <cmath>
#include <cstdio>

namespace rtty {

namespace {

struct Station {
    const char* index;
    int meanTemperatureTenths;
    int pressureTenths;  // mean sea-level pressure, tenths of hPa
};

constexpr Station kStations[] = {
    {"10147", 52, 10142}, {"10381", 38, 10151}, {"10400", 61, 10138}, {"10637", 47, 10146},
    {"10865", 21, 10160}, {"06260", 70, 10131}, {"03772", 84, 10124}, {"07150", 66, 10139},
    {"11035", 18, 10171}, {"06700", 29, 10165}, {"02464", -12, 10102}, {"12375", 5, 10183},
};

std::string format(const char* pattern, int a, int b = 0, int c = 0)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

std::string signedTemperature(int group, int tenths)
{
    return format("%d%d%03d", group, tenths < 0 ? 1 : 0, std::abs(tenths));
}

}  // namespace

int BulletinText::uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(rng_);
}

std::string BulletinText::report(int stationIndex)
{
    const Station& station = kStations[stationIndex];
    const int temperature = station.meanTemperatureTenths + uniform(-40, 40);
    const int dewPoint = temperature - uniform(5, 60);
    const int stationPressure = station.pressureTenths - uniform(5, 40);
    const int seaPressure = station.pressureTenths + uniform(-30, 30);
    const int cloud = uniform(0, 8);
    const int direction = uniform(1, 36);
    const int speed = uniform(0, 25);
    std::string text = station.index;
    text += format(" %d%d%d", 1, 2, uniform(3, 7));
    // Visibility 40..89 without the codes 51..55, which the code table leaves unused.
    int visibility = uniform(40, 84);
    if (visibility >= 51) visibility += 5;
    text += format("%02d", visibility);
    text += format(" %d%02d%02d", cloud, direction, speed);
    text += ' ';
    text += signedTemperature(1, temperature);
    text += ' ';
    text += signedTemperature(2, dewPoint);
    text += format(" 3%04d", stationPressure % 10000);
    text += format(" 4%04d", seaPressure % 10000);
    text += format(" 5%d%03d", uniform(0, 8), uniform(0, 40));
    if (cloud > 0)
        text += format(" 8%d%d", std::min(cloud, 8), uniform(0, 9)) + format("%d%d", uniform(0, 9), uniform(0, 9));
    text += "=\r\n";
    return text;
}

std::string BulletinText::next()
{
    ++bulletinNumber_;
    hour_ = (hour_ + 3) % 24;
    std::string text = format("ZCZC %03d\r\n", bulletinNumber_ % 1000);
    text += format("SMDL01 EDZW 08%02d00\r\n", hour_);
    text += format("AAXX 08%02d1\r\n", hour_);
    const int count = static_cast<int>(std::size(kStations));
    const int first = uniform(0, count - 1);
    for (int i = 0; i < 6; ++i)
        text += report((first + i) % count);
    text += "NNNN\r\n\r\n";
    return text;
}

}  // namespace rtty
