#pragma once
// WMO code tables used by the land, ship and buoy report forms, kept as data
// so that the decoder stays a sequence of group rules and the window can
// explain every coded figure in words.
#include <optional>
#include <string_view>

namespace synop::tables {

// Code table 4377: horizontal visibility VV in metres. Open-ended codes
// ("less than 100 m", "50 km or more") give their boundary value.
std::optional<int> visibilityMetres(int vv);

// Code table 2700: total cloud cover N in oktas, 9 = sky obscured.
std::string_view cloudCover(int n);

// Code table 4677: present weather ww reported by a manned station.
std::string_view presentWeather(int ww);
// Code table 4680: present weather wawa reported by an automatic station.
std::string_view presentWeatherAutomatic(int wawa);
// Code table 4561: past weather W1, W2 (manned); 4531 (automatic).
std::string_view pastWeather(int w);
std::string_view pastWeatherAutomatic(int w);

// Code tables 0513, 0515, 0509: low, middle and high cloud genera.
std::string_view lowCloud(int cl);
std::string_view middleCloud(int cm);
std::string_view highCloud(int ch);
// Code table 0500: cloud genus C in 8NsChshs groups.
std::string_view cloudGenus(int c);
// Code table 1600: height of the base of the lowest cloud h.
std::string_view cloudBaseHeight(int h);
// Code table 1677: height hshs of a cloud layer, in metres.
std::optional<int> cloudLayerHeightMetres(int hshs);

// Code table 4019: duration tR of the precipitation period, in hours.
std::optional<int> precipitationPeriodHours(int tr);

// Code table 0200: characteristic a of the pressure tendency.
std::string_view pressureTendency(int a);

// Code table 1819: precipitation indicator iR.
std::string_view precipitationIndicator(int ir);
// Code table 1860: station type and weather indicator ix.
std::string_view weatherIndicator(int ix);
// Code table 1855: wind speed indicator iw.
std::string_view windIndicator(int iw);

// Code tables 0901 and 0975: state of the ground without / with snow.
std::string_view groundState(int e);
std::string_view groundStateSnow(int e);

// Code table 0264: standard isobaric surface a3 of a 4a3hhh group, in hPa.
std::optional<int> isobaricSurfaceHpa(int a3);

// Code table 3850: how the sea surface temperature was taken (sn of 0snTwTwTw).
std::string_view seaTemperatureMethod(int sn);
// Code table 3855: wet-bulb temperature sign and method (sw of 8swTbTbTb).
std::string_view wetBulbMethod(int sw);
// Code table 4451: the ship's average speed vs over the past 3 hours, in knots.
struct KnotRange {
    int min;
    std::optional<int> max;  // none above 40 kt
};
std::optional<KnotRange> shipSpeedKnots(int vs);
// Code table 0700: direction Ds of the ship's movement in degrees; 0 stationary.
std::optional<int> shipDirectionDegrees(int ds);
// Code tables 1751 and 3551: source and rate of ice accretion on ships.
std::string_view iceAccretionSource(int is);
std::string_view iceAccretionRate(int rs);

}  // namespace synop::tables
