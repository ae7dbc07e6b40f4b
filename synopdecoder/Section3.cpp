// Section 3: climatological groups, sunshine and radiation, 24-hour values,
// cloud layers and special phenomena.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {
namespace {

void decodeExtremeTemperature(DecodeContext& ctx, const std::string& group, bool maximum)
{
    const char* what = maximum ? "maximum temperature" : "minimum temperature";
    const auto t = signedTenths(group, 1);
    if (!t) {
        if (group.find('/') != std::string::npos) ctx.note(group, [&] { return std::string(std::string(what) + " not reported"); });
        else ctx.drop(group, "sign figure must be 0 or 1");
        return;
    }
    if (ctx.implausible(group, *t < -80 || *t > 60, [&] { return std::string(std::string(what) + " " + formatNumber(*t) + " °C cannot be true"); })) return;
    (maximum ? ctx.out.maxTempC : ctx.out.minTempC) = t;
    if (ctx.options.plausibilityChecks && ctx.out.maxTempC && ctx.out.minTempC && *ctx.out.maxTempC < *ctx.out.minTempC)
        ctx.out.warnings.push_back("maximum temperature below the minimum");
    ctx.note(group, [&] { return std::string(std::string(what) + " " + formatNumber(*t) + " °C"); });
}

std::string snowDepth(int sss)
{
    if (sss >= 1 && sss <= 996) return "snow depth " + std::to_string(sss) + " cm";
    if (sss == 997) return "snow depth less than 0.5 cm";
    if (sss == 998) return "snow cover not continuous";
    if (sss == 999) return "snow depth cannot be measured";
    return "snow depth not reported";
}

constexpr const char* kRadiation[] = {
    "net radiation, positive", "net radiation, negative", "global solar radiation", "diffuse solar radiation",
    "downward long-wave radiation", "upward long-wave radiation", "short-wave radiation",
};

// Radiation groups follow 55SSS and 553SS with their own figures 0 to 6 in
// rising order; they are not the section's groups of the same first figure.
void decodeRadiation(DecodeContext& ctx, const Groups& g, size_t& i, bool hourly)
{
    int last = -1;
    const bool precipitationDue = ctx.precipIndicator == 0 || ctx.precipIndicator == 2;
    while (i + 1 < g.size() && isCodedGroup(g[i + 1], 5)) {
        const std::string& group = g[i + 1];
        const int j = digitsValue(group, 0, 1);
        if (j < 0 || j > 6 || j <= last || (j == 5 && group[1] >= '5')) break;
        // Where section 3 carries 6RRRtR, a single 6 group here is that group;
        // two in a row are the short-wave radiation and then 6RRRtR.
        const bool anotherSixFollows = i + 2 < g.size() && g[i + 2].size() == 5 && g[i + 2][0] == '6';
        if (j == 6 && precipitationDue && !anotherSixFollows) break;
        last = j;
        ++i;
        const int value = digitsValue(group, 1, 4);
        ctx.note(group, [&] { return std::string(std::string(kRadiation[j]) + (hourly ? " in the past hour" : " in 24 hours")
                            + (value >= 0 ? ", " + std::to_string(value) + (hourly ? " kJ/m2" : " J/cm2") : "")); });
    }
}

void decodeFiveGroup(DecodeContext& ctx, const Groups& g, size_t& i)
{
    const std::string& group = g[i];
    const char kind = group[1];
    if (kind == '5') {
        const bool hourly = group[2] == '3';
        const int tenths = digitsValue(group, hourly ? 3 : 2, hourly ? 2 : 3);
        ctx.note(group, [&] {
            const std::string meaning = hourly ? "sunshine in the past hour" : "sunshine on the previous day";
            return std::string(tenths >= 0 ? meaning + " " + formatNumber(tenths / 10.0) + " h" : meaning + " not reported");
        });
        decodeRadiation(ctx, g, i, hourly);
    } else if (kind == '6') {
        ctx.note(group, "direction of cloud drift");
    } else if (kind == '7') {
        ctx.note(group, "direction and elevation of a cloud");
    } else if (kind == '8' || kind == '9') {
        const int ppp = digitsValue(group, 2, 3);
        const double change = (kind == '9' ? -ppp : ppp) / 10.0;
        ctx.note(group, [&] { return std::string(ppp >= 0 ? "pressure change in 24 hours " + formatNumber(ppp == 0 ? 0.0 : change) + " hPa"
                                 : "pressure change in 24 hours not reported"); });
    } else {
        ctx.note(group, "evaporation or evapotranspiration");
    }
}

void decodeCloudLayer(DecodeContext& ctx, const std::string& group)
{
    const int ns = digitsValue(group, 1, 1);
    const int c = digitsValue(group, 2, 1);
    const int hshs = digitsValue(group, 3, 2);
    std::string meaning = "cloud layer";
    if ((ns >= 0) && ctx.describing()) meaning.append(": ").append(tables::cloudCover(ns));
    if ((c >= 0) && ctx.describing()) meaning.append(" ").append(tables::cloudGenus(c));
    if (hshs >= 0) {
        const auto metres = tables::cloudLayerHeightMetres(hshs);
        if (metres && ctx.describing()) meaning += " at " + std::to_string(*metres) + " m";
    }
    ctx.note(group, meaning);
}

}  // namespace

void decodeSection3(DecodeContext& ctx, const Groups& g, size_t& i)
{
    int last = -1;
    for (; i < g.size() && !isSectionMarker(g[i]); ++i) {
        const std::string& group = g[i];
        if (!isCodedGroup(group, 5)) {
            ctx.drop(group, "garbled (not five figures)");
            continue;
        }
        const int id = digitsValue(group, 0, 1);
        if (id < 0) {
            ctx.drop(group, "group indicator missing");
            continue;
        }
        const bool repeatable = id == 5 || id == 8 || id == 9;
        if (id < last || (id == last && !repeatable)) {
            ctx.drop(group, "out of order or repeated");
            continue;
        }
        last = id;
        switch (id) {
        case 0: ctx.note(group, "regional data"); break;
        case 1: decodeExtremeTemperature(ctx, group, true); break;
        case 2: decodeExtremeTemperature(ctx, group, false); break;
        case 3: {
            const int e = digitsValue(group, 1, 1);
            ctx.note(group, [&] { return std::string(e >= 0 ? "ground " + std::string(tables::groundState(e)) : "state of ground not reported"); });
            break;
        }
        case 4: {
            const int e = digitsValue(group, 1, 1);
            const int sss = digitsValue(group, 2, 3);
            std::string meaning = e >= 0 ? "ground " + std::string(tables::groundStateSnow(e)) + "; " : "";
            ctx.note(group, [&] { return std::string(meaning + snowDepth(sss)); });
            break;
        }
        case 5: decodeFiveGroup(ctx, g, i); break;
        case 6: {
            const int ir = ctx.precipIndicator;
            if (ir >= 0 && ir != 0 && ir != 2) {
                ctx.drop(group, "precipitation group present although iR = " + std::to_string(ir) + " leaves it out of section 3");
                break;
            }
            decodePrecipitation(ctx, group, false);
            break;
        }
        case 7: {
            const int tenths = digitsValue(group, 1, 4);
            if (tenths < 0) {
                ctx.note(group, "24-hour precipitation not reported");
            } else if (tenths == 9999) {
                ctx.out.precip24hMm = 0.0;
                ctx.out.precip24hTrace = true;
                ctx.note(group, "trace of precipitation in 24 hours");
            } else {
                ctx.out.precip24hMm = tenths / 10.0;
                ctx.note(group, [&] { return std::string(formatNumber(tenths / 10.0) + " mm of precipitation in 24 hours"); });
            }
            break;
        }
        case 8: decodeCloudLayer(ctx, group); break;
        case 9: ctx.note(group, [&] { return std::string("special phenomenon, code " + group.substr(1, 2)); }); break;
        }
    }
}

}  // namespace synop::detail
