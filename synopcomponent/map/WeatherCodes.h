#pragma once
// Present weather as the symbol a chart plots for it: the family of the
// phenomenon and what shapes its glyph (intensity, continuity, whether it
// ended within the hour). Manned stations report ww (code table 4677),
// automatic ones wawa (4680); both lead to the same families.
namespace synop::map {

enum class WeatherFamily {
    None,
    Haze, Smoke, DustSand, DustStorm, Mist, ShallowFog, Fog,
    Lightning, PrecipitationInSight, Squall, Funnel,
    Drizzle, FreezingDrizzle, DrizzleAndRain, Rain, FreezingRain, RainAndSnow, Snow, IcePellets, BlowingSnow,
    RainShower, SnowShower, HailShower,
    Thunderstorm,
};

struct WeatherSymbol {
    WeatherFamily family = WeatherFamily::None;
    int intensity = 0;        // 0 not told, 1 slight, 2 moderate, 3 heavy
    bool continuous = true;   // intermittent drizzle, rain and snow are drawn apart
    bool recent = false;      // in the past hour but not at the time of observation (ww 20-29)
    bool withHail = false;    // thunderstorm with hail
    bool operator==(const WeatherSymbol&) const = default;
};

WeatherSymbol mannedWeatherSymbol(int ww);
WeatherSymbol automaticWeatherSymbol(int wawa);
// Past weather W1, W2: code table 4561 (manned) or 4531 (automatic); 0 to 2
// (cloud cover, or nothing significant) have no symbol.
WeatherSymbol pastWeatherSymbol(int w, bool automatic);

const char* weatherFamilyName(WeatherFamily family);

}  // namespace synop::map
