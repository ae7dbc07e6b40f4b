#include "WeatherCodes.h"

namespace synop::map {

namespace {

using F = WeatherFamily;

WeatherSymbol of(F family, int intensity = 0, bool continuous = true)
{
    WeatherSymbol s;
    s.family = family;
    s.intensity = intensity;
    s.continuous = continuous;
    return s;
}

// 50-55, 60-65, 70-75: intermittent and continuous in pairs, slight to heavy.
WeatherSymbol paired(F family, int offset) { return of(family, offset / 2 + 1, offset % 2 == 1); }

WeatherSymbol recent(F family)
{
    WeatherSymbol s = of(family);
    s.recent = true;
    return s;
}

WeatherSymbol thunderstorm(int intensity, bool hail)
{
    WeatherSymbol s = of(F::Thunderstorm, intensity);
    s.withHail = hail;
    return s;
}

}  // namespace

WeatherSymbol mannedWeatherSymbol(int ww)
{
    if (ww < 0 || ww > 99) return {};
    if (ww <= 3) return {};
    switch (ww) {
    case 4: return of(F::Smoke);
    case 5: return of(F::Haze);
    case 6: case 7: case 8: return of(F::DustSand);
    case 9: return of(F::DustStorm);
    case 10: return of(F::Mist);
    case 11: case 12: return of(F::ShallowFog);
    case 13: return of(F::Lightning);
    case 14: case 15: case 16: return of(F::PrecipitationInSight);
    case 17: return thunderstorm(0, false);
    case 18: return of(F::Squall);
    case 19: return of(F::Funnel);
    case 20: return recent(F::Drizzle);
    case 21: return recent(F::Rain);
    case 22: return recent(F::Snow);
    case 23: return recent(F::RainAndSnow);
    case 24: return recent(F::FreezingRain);
    case 25: return recent(F::RainShower);
    case 26: return recent(F::SnowShower);
    case 27: return recent(F::HailShower);
    case 28: return recent(F::Fog);
    case 29: return recent(F::Thunderstorm);
    default: break;
    }
    if (ww <= 35) return of(F::DustStorm, ww <= 32 ? 1 : 3);
    if (ww <= 39) return of(F::BlowingSnow, ww % 2 == 0 ? 1 : 3);
    if (ww <= 49) return of(F::Fog);
    if (ww <= 55) return paired(F::Drizzle, ww - 50);
    if (ww <= 57) return of(F::FreezingDrizzle, ww - 55);
    if (ww <= 59) return of(F::DrizzleAndRain, ww - 57);
    if (ww <= 65) return paired(F::Rain, ww - 60);
    if (ww <= 67) return of(F::FreezingRain, ww - 65);
    if (ww <= 69) return of(F::RainAndSnow, ww - 67);
    if (ww <= 75) return paired(F::Snow, ww - 70);
    if (ww <= 78) return of(F::Snow, 1);  // diamond dust, snow grains, star-like crystals
    if (ww == 79) return of(F::IcePellets);
    if (ww <= 82) return of(F::RainShower, ww - 79);
    if (ww <= 84) return of(F::SnowShower, ww - 82);  // rain and snow mixed, drawn as the snow shower
    if (ww <= 86) return of(F::SnowShower, ww - 84);
    if (ww <= 90) return of(F::HailShower, ww % 2 == 1 ? 1 : 2);
    if (ww <= 94) return thunderstorm(ww % 2 == 1 ? 1 : 2, false);  // thunder in the past hour, precipitation now
    switch (ww) {
    case 95: return thunderstorm(2, false);
    case 96: return thunderstorm(2, true);
    case 97: return thunderstorm(3, false);
    case 98: return thunderstorm(2, false);
    default: return thunderstorm(3, true);
    }
}

WeatherSymbol automaticWeatherSymbol(int wawa)
{
    if (wawa < 0 || wawa > 99) return {};
    switch (wawa) {
    case 4: case 5: return of(F::Haze);
    case 10: return of(F::Mist);
    case 11: return of(F::Snow, 1);  // diamond dust
    case 12: return of(F::Lightning);
    case 18: return of(F::Squall);
    case 20: return recent(F::Fog);
    case 21: case 23: return recent(F::Rain);
    case 22: return recent(F::Drizzle);
    case 24: return recent(F::Snow);
    case 25: return recent(F::FreezingRain);
    case 26: return recent(F::Thunderstorm);
    case 27: case 28: return of(F::BlowingSnow);
    case 29: return of(F::DustStorm);
    case 90: return thunderstorm(0, false);
    case 96: case 99: return wawa == 99 ? of(F::Funnel) : thunderstorm(3, true);
    default: break;
    }
    const int slightToHeavy = wawa % 10;  // x1 slight, x2 moderate, x3 heavy within most decades
    if (wawa >= 30 && wawa <= 35) return of(F::Fog);
    if (wawa >= 40 && wawa <= 44) return of(F::Rain, wawa <= 42 ? wawa - 40 : wawa - 42);
    if (wawa >= 45 && wawa <= 46) return of(F::Snow, wawa - 44);
    if (wawa >= 47 && wawa <= 48) return of(F::FreezingRain, wawa - 46);
    if (wawa >= 50 && wawa <= 53) return of(F::Drizzle, slightToHeavy);
    if (wawa >= 54 && wawa <= 56) return of(F::FreezingDrizzle, wawa - 53);
    if (wawa >= 57 && wawa <= 58) return of(F::DrizzleAndRain, wawa - 56);
    if (wawa >= 60 && wawa <= 63) return of(F::Rain, slightToHeavy);
    if (wawa >= 64 && wawa <= 66) return of(F::FreezingRain, wawa - 63);
    if (wawa >= 67 && wawa <= 68) return of(F::RainAndSnow, wawa - 66);
    if (wawa >= 70 && wawa <= 73) return of(F::Snow, slightToHeavy);
    if (wawa >= 74 && wawa <= 76) return of(F::IcePellets, wawa - 73);
    if (wawa >= 77 && wawa <= 78) return of(F::Snow, 1);
    if (wawa >= 80 && wawa <= 84) return of(F::RainShower, wawa == 84 ? 3 : slightToHeavy);
    if (wawa >= 85 && wawa <= 87) return of(F::SnowShower, wawa - 84);
    if (wawa == 89) return of(F::HailShower, 2);
    if (wawa >= 91 && wawa <= 93) return thunderstorm(2, false);
    if (wawa >= 94 && wawa <= 95) return thunderstorm(3, false);
    return {};
}

WeatherSymbol pastWeatherSymbol(int w, bool automatic)
{
    switch (w) {
    case 3: return automatic ? of(F::Fog) : of(F::DustStorm);  // manned: sand, dust or blowing snow
    case 4: return automatic ? of(F::Rain) : of(F::Fog);       // automatic: precipitation
    // One glyph each: past weather tells the kind, not how much.
    case 5: return of(F::Drizzle, 1, false);
    case 6: return of(F::Rain, 1, false);
    case 7: return of(F::Snow, 1, false);
    case 8: return of(F::RainShower, 1);
    case 9: return thunderstorm(0, false);
    default: return {};
    }
}

const char* weatherFamilyName(WeatherFamily family)
{
    switch (family) {
    case F::None: return "none";
    case F::Haze: return "haze";
    case F::Smoke: return "smoke";
    case F::DustSand: return "dust or sand";
    case F::DustStorm: return "duststorm or sandstorm";
    case F::Mist: return "mist";
    case F::ShallowFog: return "shallow fog";
    case F::Fog: return "fog";
    case F::Lightning: return "lightning";
    case F::PrecipitationInSight: return "precipitation in sight";
    case F::Squall: return "squall";
    case F::Funnel: return "funnel cloud";
    case F::Drizzle: return "drizzle";
    case F::FreezingDrizzle: return "freezing drizzle";
    case F::DrizzleAndRain: return "drizzle and rain";
    case F::Rain: return "rain";
    case F::FreezingRain: return "freezing rain";
    case F::RainAndSnow: return "rain and snow";
    case F::Snow: return "snow";
    case F::IcePellets: return "ice pellets";
    case F::BlowingSnow: return "blowing snow";
    case F::RainShower: return "rain shower";
    case F::SnowShower: return "snow shower";
    case F::HailShower: return "hail shower";
    case F::Thunderstorm: return "thunderstorm";
    }
    return "";
}

}  // namespace synop::map
