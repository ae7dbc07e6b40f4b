#include "synopdecoder/CodeTables.h"

#include <array>

namespace synop::tables {
namespace {

template <size_t N>
std::string_view pick(const std::array<std::string_view, N>& table, int code)
{
    if (code < 0 || code >= static_cast<int>(N)) return {};
    return table[static_cast<size_t>(code)];
}

constexpr std::array<std::string_view, 100> kPresentWeather = {
    "cloud development not observed", "clouds dissolving", "state of sky unchanged", "clouds forming",
    "visibility reduced by smoke", "haze", "widespread dust in suspension", "dust or sand raised by wind",
    "dust or sand whirls", "duststorm or sandstorm in sight",
    "mist", "patches of shallow fog", "continuous shallow fog", "lightning visible, no thunder",
    "precipitation in sight, not reaching the ground", "precipitation in sight, distant",
    "precipitation in sight, near", "thunderstorm, no precipitation", "squalls", "funnel clouds",
    "drizzle or snow grains in the last hour", "rain in the last hour", "snow in the last hour",
    "rain and snow in the last hour", "freezing drizzle or rain in the last hour",
    "showers of rain in the last hour", "showers of snow in the last hour",
    "showers of hail in the last hour", "fog in the last hour", "thunderstorm in the last hour",
    "slight or moderate duststorm, decreasing", "slight or moderate duststorm, no change",
    "slight or moderate duststorm, increasing", "severe duststorm, decreasing", "severe duststorm, no change",
    "severe duststorm, increasing", "slight or moderate blowing snow, low", "heavy drifting snow, low",
    "slight or moderate blowing snow, high", "heavy blowing snow, high",
    "fog at a distance", "fog in patches", "fog, sky visible, thinning", "fog, sky obscured, thinning",
    "fog, sky visible, no change", "fog, sky obscured, no change", "fog, sky visible, thickening",
    "fog, sky obscured, thickening", "fog depositing rime, sky visible", "fog depositing rime, sky obscured",
    "intermittent slight drizzle", "continuous slight drizzle", "intermittent moderate drizzle",
    "continuous moderate drizzle", "intermittent heavy drizzle", "continuous heavy drizzle",
    "slight freezing drizzle", "moderate or heavy freezing drizzle", "slight drizzle and rain",
    "moderate or heavy drizzle and rain",
    "intermittent slight rain", "continuous slight rain", "intermittent moderate rain",
    "continuous moderate rain", "intermittent heavy rain", "continuous heavy rain", "slight freezing rain",
    "moderate or heavy freezing rain", "slight rain or drizzle and snow", "moderate or heavy rain or drizzle and snow",
    "intermittent slight snow", "continuous slight snow", "intermittent moderate snow",
    "continuous moderate snow", "intermittent heavy snow", "continuous heavy snow", "diamond dust",
    "snow grains", "isolated star-like snow crystals", "ice pellets",
    "slight rain showers", "moderate or heavy rain showers", "violent rain showers",
    "slight showers of rain and snow", "moderate or heavy showers of rain and snow", "slight snow showers",
    "moderate or heavy snow showers", "slight showers of snow pellets or small hail",
    "moderate or heavy showers of snow pellets or small hail", "slight showers of hail",
    "moderate or heavy showers of hail", "slight rain, thunderstorm in the last hour",
    "moderate or heavy rain, thunderstorm in the last hour", "slight snow or hail, thunderstorm in the last hour",
    "moderate or heavy snow or hail, thunderstorm in the last hour", "slight or moderate thunderstorm with rain or snow",
    "slight or moderate thunderstorm with hail", "heavy thunderstorm with rain or snow",
    "thunderstorm with duststorm or sandstorm", "heavy thunderstorm with hail",
};

constexpr std::array<std::string_view, 10> kPastWeather = {
    "cloud covering half or less", "cloud covering more than half for part of the period",
    "cloud covering more than half", "sandstorm, duststorm or blowing snow", "fog, ice fog or thick haze",
    "drizzle", "rain", "snow or rain and snow", "showers", "thunderstorm",
};

constexpr std::array<std::string_view, 10> kPastWeatherAutomatic = {
    "no significant weather", "visibility reduced", "blowing phenomena, visibility reduced", "fog",
    "precipitation", "drizzle", "rain", "snow or ice pellets", "showers or intermittent precipitation",
    "thunderstorm",
};

constexpr std::array<std::string_view, 10> kCloudCover = {
    "sky clear", "1 okta or less", "2 oktas", "3 oktas", "4 oktas", "5 oktas", "6 oktas",
    "7 oktas or more, not 8", "8 oktas", "sky obscured",
};

constexpr std::array<std::string_view, 10> kLowCloud = {
    "no low clouds", "cumulus humilis or fractus", "cumulus mediocris or congestus",
    "cumulonimbus calvus", "stratocumulus from spreading cumulus", "stratocumulus",
    "stratus nebulosus or fractus", "stratus or cumulus fractus of bad weather",
    "cumulus and stratocumulus at different levels", "cumulonimbus capillatus",
};
constexpr std::array<std::string_view, 10> kMiddleCloud = {
    "no middle clouds", "altostratus translucidus", "altostratus opacus or nimbostratus",
    "altocumulus translucidus at one level", "patches of altocumulus translucidus, changing",
    "altocumulus translucidus in bands, spreading", "altocumulus from spreading cumulus",
    "altocumulus with altostratus or nimbostratus", "altocumulus castellanus or floccus",
    "altocumulus of a chaotic sky",
};
constexpr std::array<std::string_view, 10> kHighCloud = {
    "no high clouds", "cirrus fibratus, sometimes uncinus", "cirrus spissatus in patches",
    "cirrus spissatus from cumulonimbus", "cirrus uncinus or fibratus, spreading",
    "cirrus and cirrostratus below 45 degrees", "cirrus and cirrostratus above 45 degrees",
    "cirrostratus covering the whole sky", "cirrostratus not covering the whole sky",
    "cirrocumulus alone or predominant",
};
constexpr std::array<std::string_view, 10> kCloudGenus = {
    "cirrus", "cirrocumulus", "cirrostratus", "altocumulus", "altostratus", "nimbostratus",
    "stratocumulus", "stratus", "cumulus", "cumulonimbus",
};
constexpr std::array<std::string_view, 10> kCloudBase = {
    "0 to 50 m", "50 to 100 m", "100 to 200 m", "200 to 300 m", "300 to 600 m", "600 to 1000 m",
    "1000 to 1500 m", "1500 to 2000 m", "2000 to 2500 m", "2500 m or more, or no cloud",
};
constexpr std::array<std::string_view, 9> kTendency = {
    "increasing, then decreasing", "increasing, then steady", "increasing", "decreasing or steady, then increasing",
    "steady", "decreasing, then increasing", "decreasing, then steady", "decreasing",
    "steady or increasing, then decreasing",
};
constexpr std::array<std::string_view, 5> kPrecipIndicator = {
    "precipitation in sections 1 and 3", "precipitation in section 1", "precipitation in section 3",
    "no precipitation", "precipitation not observed",
};
constexpr std::array<std::string_view, 8> kWeatherIndicator = {
    "", "manned station, weather group included", "manned station, no significant weather",
    "manned station, weather not observed", "automatic station, weather group included",
    "automatic station, no significant weather", "automatic station, weather not observed",
    "automatic station, weather group included (automatic code)",
};
constexpr std::array<std::string_view, 5> kWindIndicator = {
    "wind estimated, m/s", "wind measured, m/s", "", "wind estimated, knots", "wind measured, knots",
};
constexpr std::array<std::string_view, 10> kGround = {
    "surface dry", "surface moist", "surface wet", "flooded", "frozen", "glaze on ground",
    "loose dry dust or sand, not covering", "thin cover of loose dry dust or sand",
    "moderate or thick cover of loose dry dust or sand", "extremely dry with cracks",
};
constexpr std::array<std::string_view, 10> kGroundSnow = {
    "predominantly covered by ice", "compact or wet snow, less than half covered",
    "compact or wet snow, at least half covered", "compact or wet snow, evenly covered",
    "compact or wet snow, unevenly covered", "loose dry snow, less than half covered",
    "loose dry snow, at least half covered", "loose dry snow, evenly covered",
    "loose dry snow, unevenly covered", "snow covering ground completely, deep drifts",
};

}  // namespace

std::optional<int> visibilityMetres(int vv)
{
    if (vv == 0) return 100;
    if (vv >= 1 && vv <= 50) return vv * 100;
    if (vv >= 56 && vv <= 80) return (vv - 50) * 1000;
    if (vv >= 81 && vv <= 88) return ((vv - 80) * 5 + 30) * 1000;
    if (vv == 89) return 70000;
    static constexpr std::array<int, 10> kNinety = {50, 50, 200, 500, 1000, 2000, 4000, 10000, 20000, 50000};
    if (vv >= 90 && vv <= 99) return kNinety[static_cast<size_t>(vv - 90)];
    return std::nullopt;  // 51..55 are not used
}

std::string_view cloudCover(int n) { return pick(kCloudCover, n); }
std::string_view presentWeather(int ww) { return pick(kPresentWeather, ww); }
std::string_view pastWeather(int w) { return pick(kPastWeather, w); }
std::string_view pastWeatherAutomatic(int w) { return pick(kPastWeatherAutomatic, w); }
std::string_view lowCloud(int cl) { return pick(kLowCloud, cl); }
std::string_view middleCloud(int cm) { return pick(kMiddleCloud, cm); }
std::string_view highCloud(int ch) { return pick(kHighCloud, ch); }
std::string_view cloudGenus(int c) { return pick(kCloudGenus, c); }
std::string_view cloudBaseHeight(int h) { return pick(kCloudBase, h); }
std::string_view pressureTendency(int a) { return pick(kTendency, a); }
std::string_view precipitationIndicator(int ir) { return pick(kPrecipIndicator, ir); }
std::string_view weatherIndicator(int ix) { return pick(kWeatherIndicator, ix); }
std::string_view windIndicator(int iw) { return pick(kWindIndicator, iw); }
std::string_view groundState(int e) { return pick(kGround, e); }
std::string_view groundStateSnow(int e) { return pick(kGroundSnow, e); }

std::string_view presentWeatherAutomatic(int wawa)
{
    // The automatic table groups its codes by decade; the decade is what a
    // reader needs at a glance.
    if (wawa < 0 || wawa > 99) return {};
    static constexpr std::array<std::string_view, 10> kDecades = {
        "no significant weather, haze or smoke", "mist, fog or precipitation in the last hour",
        "precipitation, fog or thunderstorm in the last hour", "fog", "fog",
        "drizzle", "rain", "snow", "showers", "thunderstorm",
    };
    if (wawa == 0) return "no significant weather observed";
    return kDecades[static_cast<size_t>(wawa / 10)];
}

std::optional<int> cloudLayerHeightMetres(int hshs)
{
    if (hshs >= 0 && hshs <= 50) return hshs * 30;
    if (hshs >= 56 && hshs <= 80) return (hshs - 50) * 300;
    if (hshs >= 81 && hshs <= 88) return 10500 + (hshs - 81) * 1500;
    if (hshs == 89) return 21000;
    return std::nullopt;
}

std::optional<int> precipitationPeriodHours(int tr)
{
    static constexpr std::array<int, 10> kHours = {0, 6, 12, 18, 24, 1, 2, 3, 9, 15};
    if (tr < 1 || tr > 9) return std::nullopt;  // 0: a period fixed by regional practice
    return kHours[static_cast<size_t>(tr)];
}

std::optional<int> isobaricSurfaceHpa(int a3)
{
    switch (a3) {
    case 1: return 1000;
    case 2: return 925;
    case 5: return 500;
    case 7: return 700;
    case 8: return 850;
    default: return std::nullopt;
    }
}

namespace {

constexpr std::array<std::string_view, 8> kSeaTemperatureMethod = {
    "intake", "intake", "bucket", "bucket", "hull contact sensor", "hull contact sensor", "other", "other",
};
constexpr std::array<std::string_view, 8> kWetBulb = {
    "measured", "measured", "measured, iced bulb", "", "", "computed", "computed", "computed, iced bulb",
};
constexpr std::array<std::string_view, 6> kIceSource = {
    "", "icing from ocean spray", "icing from fog", "icing from spray and fog", "icing from rain",
    "icing from spray and rain",
};
constexpr std::array<std::string_view, 5> kIceRate = {
    "ice not building up", "ice building up slowly", "ice building up rapidly", "ice melting or breaking up slowly",
    "ice melting or breaking up rapidly",
};

}  // namespace

std::string_view seaTemperatureMethod(int sn) { return pick(kSeaTemperatureMethod, sn); }
std::string_view wetBulbMethod(int sw) { return pick(kWetBulb, sw); }
std::string_view iceAccretionSource(int is) { return pick(kIceSource, is); }
std::string_view iceAccretionRate(int rs) { return pick(kIceRate, rs); }

std::optional<KnotRange> shipSpeedKnots(int vs)
{
    if (vs == 0) return KnotRange{0, 0};
    if (vs >= 1 && vs <= 8) return KnotRange{vs * 5 - 4, vs * 5};
    if (vs == 9) return KnotRange{41, std::nullopt};
    return std::nullopt;
}

std::optional<int> shipDirectionDegrees(int ds)
{
    if (ds >= 0 && ds <= 8) return ds * 45;  // 1 NE ... 8 N; 0 stationary
    return std::nullopt;                     // 9: unknown or variable
}

}  // namespace synop::tables
