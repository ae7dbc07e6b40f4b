// Section 1 of land and ship reports: groups 1 to 9.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {
namespace {

void decodePressure(DecodeContext& ctx, const std::string& group, bool seaLevel)
{
    const int tenths = digitsValue(group, 1, 4);
    if (tenths < 0) {
        ctx.note(group, [&] { return std::string(seaLevel ? "sea-level pressure not reported" : "station pressure not reported"); });
        return;
    }
    double hpa = tenths / 10.0;
    if (hpa < 100) hpa += 1000;  // the thousands figure is left out
    if (seaLevel) {
        if (ctx.implausible(group, hpa < 850 || hpa > 1090, [&] { return std::string("sea-level pressure " + formatNumber(hpa) + " hPa cannot be true"); }))
            return;
        ctx.out.seaLevelPressureHpa = hpa;
        ctx.note(group, [&] { return std::string("sea-level pressure " + formatNumber(hpa) + " hPa"); });
    } else {
        if (ctx.implausible(group, hpa < 450 || hpa > 1090, [&] { return std::string("station pressure " + formatNumber(hpa) + " hPa cannot be true"); }))
            return;
        ctx.out.stationPressureHpa = hpa;
        ctx.note(group, [&] { return std::string("station pressure " + formatNumber(hpa) + " hPa"); });
    }
}

// 4a3hhh: height of a standard isobaric surface, reported by high stations
// instead of the sea-level pressure. The leading figures left out of hhh are
// restored from the surface's usual height.
void decodeGeopotential(DecodeContext& ctx, const std::string& group, int a3)
{
    const int hpa = *tables::isobaricSurfaceHpa(a3);
    const int hhh = digitsValue(group, 2, 3);
    if (hhh < 0) {
        ctx.note(group, [&] { return std::string("height of the " + std::to_string(hpa) + " hPa surface not reported"); });
        return;
    }
    int metres = hhh;
    switch (hpa) {
    case 1000: metres = hhh >= 500 ? 500 - hhh : hhh; break;  // 500 added to negative heights
    case 925: metres = hhh; break;
    case 850: metres = 1000 + hhh; break;
    case 700: metres = hhh >= 500 ? 2000 + hhh : 3000 + hhh; break;
    case 500: metres = hhh * 10; break;  // decametres
    }
    ctx.out.geopotentialHpa = hpa;
    ctx.out.geopotentialM = metres;
    ctx.note(group, [&] { return std::string(std::to_string(hpa) + " hPa surface at " + std::to_string(metres) + " geopotential metres"); });
}

void decodeTendency(DecodeContext& ctx, const std::string& group)
{
    const int a = digitsValue(group, 1, 1);
    const int ppp = digitsValue(group, 2, 3);
    if (a > 8) {
        ctx.drop(group, "tendency characteristic 9 does not exist");
        return;
    }
    if (a < 0 && ppp < 0) {
        ctx.note(group, "pressure tendency not reported");
        return;
    }
    std::string meaning;
    if (a >= 0) {
        ctx.out.pressureTendency = a;
        if (ctx.describing()) meaning = "pressure " + std::string(tables::pressureTendency(a));
    }
    if (ppp >= 0) {
        if (ctx.implausible(group, ppp > 500, [&] { return std::string("a change of " + formatNumber(ppp / 10.0) + " hPa in 3 hours cannot be true"); })) {
            ctx.out.pressureTendency.reset();
            return;
        }
        double change = ppp / 10.0;
        if (ctx.describing()) meaning += meaning.empty() ? "" : ", ";
        if (a < 0 && ppp != 0) {
            // The characteristic carries the sign; without it only the size is known.
            ctx.note(group, [&] { return std::string(meaning + "change of " + formatNumber(change) + " hPa in 3 hours, sign unknown"); });
            return;
        }
        if (a >= 5 && ppp != 0) change = -change;
        ctx.out.pressureChangeHpa = change;
        if (ctx.describing()) meaning += "change " + formatNumber(change) + " hPa in 3 hours";
    }
    ctx.note(group, meaning);
}

void decodeWeather(DecodeContext& ctx, const std::string& group)
{
    const int ix = ctx.weatherIndicator;
    if (ix >= 0 && ix != 1 && ix != 4 && ix != 7) {
        ctx.drop(group, "weather group present although ix = " + std::to_string(ix) + " says it is left out");
        return;
    }
    const bool automatic = ix == 7;
    const int ww = digitsValue(group, 1, 2);
    const int w1 = digitsValue(group, 3, 1);
    const int w2 = digitsValue(group, 4, 1);
    std::string meaning;
    if (ww >= 0) {
        ctx.out.presentWeatherCode = ww;
        ctx.out.presentWeatherText.assign(automatic ? tables::presentWeatherAutomatic(ww) : tables::presentWeather(ww));
        if (ctx.describing()) meaning = ctx.out.presentWeatherText;
    }
    if (w1 >= 0 || w2 >= 0) {
        ctx.out.pastWeather = std::array<std::optional<int>, 2>{};
        auto pastText = [&](int w) {
            return std::string(automatic ? tables::pastWeatherAutomatic(w) : tables::pastWeather(w));
        };
        if (w1 >= 0) {
            (*ctx.out.pastWeather)[0] = w1;
            if (ctx.describing()) meaning += (meaning.empty() ? "" : "; ") + std::string("past weather ") + pastText(w1);
        }
        if (w2 >= 0) {
            (*ctx.out.pastWeather)[1] = w2;
            if (ctx.describing()) meaning += (w1 >= 0 ? ", " : "; past weather ") + pastText(w2);
        }
    }
    ctx.note(group, [&] { return std::string(meaning.empty() ? "weather not reported" : meaning); });
}

void decodeClouds(DecodeContext& ctx, const std::string& group)
{
    const int nh = digitsValue(group, 1, 1);
    const int cl = digitsValue(group, 2, 1);
    const int cm = digitsValue(group, 3, 1);
    const int ch = digitsValue(group, 4, 1);
    std::string meaning;
    auto add = [&](std::string_view part, std::string_view more = {}) {
        if (!ctx.describing()) return;
        if (!meaning.empty()) meaning += "; ";
        meaning.append(part).append(more);
    };
    if (nh >= 0) add("low or middle cloud ", tables::cloudCover(nh));
    if (cl >= 0) {
        ctx.out.lowCloud = cl;
        add(tables::lowCloud(cl));
    }
    if (cm >= 0) {
        ctx.out.middleCloud = cm;
        add(tables::middleCloud(cm));
    }
    if (ch >= 0) {
        ctx.out.highCloud = ch;
        add(tables::highCloud(ch));
    }
    if (nh >= 0 && nh <= 8 && ctx.out.cloudCoverOkta && *ctx.out.cloudCoverOkta <= 8 && nh > *ctx.out.cloudCoverOkta)
        ctx.out.warnings.push_back("cloud amount " + std::to_string(nh) + " of " + group + " exceeds the total cover");
    ctx.note(group, [&] { return std::string(meaning.empty() ? "clouds not reported" : meaning); });
}

}  // namespace

void decodeSection1(DecodeContext& ctx, const Groups& g, size_t& i)
{
    int last = 0;
    for (; i < g.size() && !isSectionMarker(g[i]); ++i) {
        const std::string& group = g[i];
        if (!isCodedGroup(group, 5)) {
            ctx.drop(group, "garbled (not five figures)");
            continue;
        }
        const int id = digitsValue(group, 0, 1);
        if (id < 1) {
            ctx.drop(group, "no section 1 group starts with " + group.substr(0, 1));
            continue;
        }
        if (id <= last) {
            // A second cloud group, or a 55-59 group after the weather and
            // clouds, can only be section 3's: its 333 was lost.
            if ((id == 8 && last == 8) || (id == 5 && group[1] >= '5' && last >= 6)) {
                ctx.out.warnings.push_back("section 3 marker 333 lost before " + group);
                decodeSection3(ctx, g, i);
                return;
            }
            ctx.drop(group, "out of order or repeated");
            continue;
        }
        last = id;
        switch (id) {
        case 1:
            if (auto t = signedTenths(group, 1)) {
                if (ctx.implausible(group, *t < -80 || *t > 60, [&] { return std::string("air temperature " + formatNumber(*t) + " °C cannot be true"); }))
                    break;
                ctx.out.airTempC = t;
                ctx.note(group, [&] { return std::string("air temperature " + formatNumber(*t) + " °C"); });
            } else if (group.find('/') != std::string::npos) {
                ctx.note(group, "air temperature not reported");
            } else {
                ctx.drop(group, "sign figure must be 0 or 1");
            }
            break;
        case 2:
            if (group[1] == '9') {
                const int u = digitsValue(group, 2, 3);
                if (u < 0) {
                    ctx.note(group, "relative humidity not reported");
                } else if (!ctx.implausible(group, u > 100, "relative humidity above 100 %")) {
                    ctx.out.relHumidityPct = u;
                    ctx.note(group, [&] { return std::string("relative humidity " + std::to_string(u) + " %"); });
                }
            } else if (auto td = signedTenths(group, 1)) {
                const bool aboveAir = ctx.out.airTempC && *td > *ctx.out.airTempC;
                if (ctx.implausible(group, *td < -90 || *td > 40, [&] { return std::string("dew point " + formatNumber(*td) + " °C cannot be true"); })
                    || ctx.implausible(group, aboveAir, "dew point above the air temperature"))
                    break;
                ctx.out.dewPointC = td;
                ctx.note(group, [&] { return std::string("dew point " + formatNumber(*td) + " °C"); });
            } else if (group.find('/') != std::string::npos) {
                ctx.note(group, "dew point not reported");
            } else {
                ctx.drop(group, "sign figure must be 0, 1 or 9");
            }
            break;
        case 3: decodePressure(ctx, group, false); break;
        case 4: {
            const int a3 = digitsValue(group, 1, 1);
            // Ships and buoys have no 4a3hhh: their 4 group is always the sea-level pressure.
            if (ctx.seaLevelPressureOnly || group[1] == '0' || group[1] == '9' || group[1] == '/')
                decodePressure(ctx, group, true);
            else if (tables::isobaricSurfaceHpa(a3)) decodeGeopotential(ctx, group, a3);
            else ctx.drop(group, "neither a sea-level pressure nor a standard surface");
            break;
        }
        case 5: decodeTendency(ctx, group); break;
        case 6: {
            const int ir = ctx.precipIndicator;
            if (ir >= 0 && ir != 0 && ir != 1) {
                ctx.drop(group, "precipitation group present although iR = " + std::to_string(ir) + " leaves it out of section 1");
                break;
            }
            decodePrecipitation(ctx, group, true);
            break;
        }
        case 7: decodeWeather(ctx, group); break;
        case 8: decodeClouds(ctx, group); break;
        case 9: {
            const int gg = digitsValue(group, 1, 2);
            const int mm = digitsValue(group, 3, 2);
            if (gg < 0 || gg > 23 || mm < 0 || mm > 59) {
                ctx.drop(group, "not a valid time of observation");
                break;
            }
            ctx.note(group, [&] { return std::string("observed at " + group.substr(1, 2) + ":" + group.substr(3, 2) + " UTC"); });
            break;
        }
        }
    }
}

void decodePrecipitation(DecodeContext& ctx, const std::string& group, bool sectionOne)
{
    const int rrr = digitsValue(group, 1, 3);
    const int tr = digitsValue(group, 4, 1);
    const auto hours = tr >= 0 ? tables::precipitationPeriodHours(tr) : std::nullopt;
    std::string period = hours ? " in " + std::to_string(*hours) + " hours" : " (period set by regional practice)";
    if (rrr < 0) {
        ctx.note(group, "precipitation not reported");
        return;
    }
    // Section 3 reports its own period (often the last hour or 24 hours),
    // so its amount has keys of its own.
    std::optional<double>& amount = sectionOne ? ctx.out.precipMm : ctx.out.precipSection3Mm;
    std::optional<int>& periodH = sectionOne ? ctx.out.precipPeriodH : ctx.out.precipSection3PeriodH;
    bool& trace = sectionOne ? ctx.out.precipTrace : ctx.out.precipSection3Trace;
    periodH = hours;
    if (rrr == 990) {
        amount = 0.0;
        trace = true;
        ctx.note(group, [&] { return std::string("trace of precipitation" + period); });
        return;
    }
    // 000 is "no precipitation" since the 2003 amendment of code table 3590.
    const double mm = rrr <= 988 ? rrr : rrr == 989 ? 989 : (rrr - 990) / 10.0;
    amount = mm;
    ctx.note(group, [&] { return std::string(std::string(rrr == 989 ? "989 mm or more" : rrr == 0 ? "no" : formatNumber(mm) + " mm") + " of precipitation" + period); });
}

}  // namespace synop::detail
