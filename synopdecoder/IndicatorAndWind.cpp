// The iRixhVV and Nddff (00fff) groups that open section 1 of land and ship
// reports, and the check that section 1 proper starts where they end.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {
namespace {
void decodeIndicators(DecodeContext& ctx, const std::string& group)
{
    if (!isCodedGroup(group, 5)) {
        ctx.drop(group, "not an iRixhVV group");
        return;
    }
    const int ir = digitsValue(group, 0, 1);
    const int ix = digitsValue(group, 1, 1);
    const int h = digitsValue(group, 2, 1);
    const int vv = digitsValue(group, 3, 2);
    std::string meaning;
    if (ir >= 0 && ir <= 4) {
        ctx.precipIndicator = ir;
        ctx.out.precipIndicator = ir;
        if (ctx.describing()) meaning = std::string(tables::precipitationIndicator(ir));
    } else {
        ctx.out.warnings.push_back("precipitation indicator iR invalid in " + group);
        if (ctx.describing()) meaning = "precipitation indicator invalid";
    }
    if (ix >= 1 && ix <= 7) {
        ctx.weatherIndicator = ix;
        ctx.out.weatherIndicator = ix;
        if (ctx.describing()) meaning += "; " + std::string(tables::weatherIndicator(ix));
    } else {
        ctx.out.warnings.push_back("weather indicator ix invalid in " + group);
    }
    if ((h >= 0) && ctx.describing()) meaning += "; lowest cloud base " + std::string(tables::cloudBaseHeight(h));
    if (vv >= 0) {
        if (const auto metres = tables::visibilityMetres(vv)) {
            ctx.out.visibilityM = metres;
            if (ctx.describing()) meaning += "; visibility " + std::to_string(*metres) + " m";
        } else {
            ctx.out.warnings.push_back("visibility code " + group.substr(3) + " is not used");
        }
    }
    ctx.note(group, meaning);
}

void decodeWind(DecodeContext& ctx, const std::string& group, const std::string* extendedSpeed)
{
    const int n = digitsValue(group, 0, 1);
    const int dd = digitsValue(group, 1, 2);
    int ff = digitsValue(group, 3, 2);
    std::string meaning;
    if (n >= 0) {
        ctx.out.cloudCoverOkta = n;
        if (ctx.describing()) meaning = "cloud cover " + std::string(tables::cloudCover(n));
    }
    if (ff == 99 && extendedSpeed) ff = digitsValue(*extendedSpeed, 2, 3);
    // A direction that was not observed leaves the speed standing.
    const bool directionMissing = dd < 0 && group.substr(1, 2) == "//";
    if ((dd >= 0 || directionMissing) && ff >= 0) {
        const bool validDirection = directionMissing || dd <= 36 || dd == 99;
        const bool calmWithSpeed = dd == 0 && ff != 0;
        const int limit = (ctx.windIndicator >= 3) ? 250 : 130;
        if (!validDirection) {
            ctx.out.warnings.push_back("wind direction " + group.substr(1, 2) + " invalid in " + group + ", wind dropped");
        } else if (calmWithSpeed) {
            ctx.out.warnings.push_back("calm reported with a speed in " + group + ", wind dropped");
        } else if (ctx.options.plausibilityChecks && ff > limit) {
            ctx.out.warnings.push_back("wind speed " + std::to_string(ff) + " in " + group + " cannot be true, wind dropped");
        } else {
            if (dd == 99) ctx.out.windVariable = true;
            else if (dd >= 0) ctx.out.windDirDeg = dd * 10;
            if (ctx.describing()) meaning += meaning.empty() ? "" : "; ";
            if (ctx.describing())
                meaning += directionMissing ? "wind direction not reported"
                           : dd == 99       ? "wind variable"
                           : dd == 0        ? "calm"
                                            : "wind from " + std::to_string(dd * 10) + " degrees";
            if (ctx.windIndicator >= 0) {
                ctx.out.windSpeed = ff;
                ctx.out.windUnit = ctx.windIndicator >= 3 ? "kt" : "m/s";
                if (ctx.describing()) meaning += " at " + std::to_string(ff) + " " + *ctx.out.windUnit;
            } else {
                ctx.out.warnings.push_back("wind speed " + std::to_string(ff) + " given without a unit, dropped");
            }
        }
    }
    ctx.note(group, [&] { return std::string(meaning.empty() ? "cloud cover and wind not reported" : meaning); });
}

bool validIndicators(const std::string& g)
{
    const int vv = digitsValue(g, 3, 2);
    return isCodedGroup(g, 5) && (g[0] == '/' || (g[0] >= '0' && g[0] <= '4')) && g[1] >= '1' && g[1] <= '7'
        && (vv < 0 || tables::visibilityMetres(vv));
}

bool validWind(const std::string& g)
{
    const int dd = digitsValue(g, 1, 2);
    const int ff = digitsValue(g, 3, 2);
    const bool direction = (dd >= 0 && dd <= 36) || dd == 99 || (g[1] == '/' && g[2] == '/');
    return isCodedGroup(g, 5) && direction && !(dd == 0 && ff > 0);
}

// Section 1 proper opens with 1snTTT and its group indicators rise: three
// groups in that order leave little doubt about where it starts.
bool section1StartsAt(const Groups& g, size_t k)
{
    if (k + 2 >= g.size()) return false;
    const std::string& t = g[k];
    if (!isCodedGroup(t, 5) || t[0] != '1' || (t[1] != '0' && t[1] != '1')) return false;
    int last = 1;
    for (size_t j = k + 1; j <= k + 2; ++j) {
        const int id = isCodedGroup(g[j], 5) ? digitsValue(g[j], 0, 1) : -1;
        if (id <= last) return false;
        last = id;
    }
    return true;
}

// Section 1 seems to start right after g[i]; but with valid indicators and
// a valid wind in place, the report may simply lack its air temperature.
// The in-place reading holds when the shifted one would put the dew point
// above the air temperature.
bool inPlaceReadingHolds(const Groups& g, size_t i)
{
    if (!validIndicators(g[i]) || !validWind(g[i + 1])) return false;
    const auto air = signedTenths(g[i + 1], 1);
    const std::string& next = g[i + 2];
    const auto dew = next[0] == '2' && next[1] != '9' ? signedTenths(next, 1) : std::nullopt;
    return air && dew && *dew > *air;
}

bool hasExtendedSpeed(const Groups& g, size_t wind)
{
    return wind + 1 < g.size() && digitsValue(g[wind], 3, 2) == 99 && g[wind + 1].rfind("00", 0) == 0;
}

}  // namespace

void decodeIndicatorAndWind(DecodeContext& ctx, const Groups& g, size_t& i)
{
    // A group lost or repeated before section 1 shifts every later group:
    // read in place, a temperature becomes a wind of 91 kt. Where section 1
    // visibly starts one group early or late, say so and read by the groups'
    // own indicators instead.
    const size_t expected = i + 2 + (hasExtendedSpeed(g, i + 1) ? 1 : 0);
    if (i + 1 < g.size() && !section1StartsAt(g, expected)) {
        if (section1StartsAt(g, i + 1) && !inPlaceReadingHolds(g, i)) {
            const std::string& only = g[i];
            if (validIndicators(only)) {
                ctx.out.warnings.push_back("Nddff group missing before section 1; cloud cover and wind unknown");
                decodeIndicators(ctx, g[i++]);
            } else if (validWind(only)) {
                ctx.out.warnings.push_back("iRixhVV group missing before section 1; " + only + " read as the Nddff group");
                decodeWindGroup(ctx, g, i);
            } else {
                ctx.drop(only, "a group is missing before section 1 and this one is neither iRixhVV nor Nddff");
                ++i;
            }
            return;
        }
        if (section1StartsAt(g, expected + 1) && g[expected][0] != '1') {
            if (i > 0 && g[i] == g[i - 1]) {
                ctx.drop(g[i++], "station index repeated");
                decodeIndicators(ctx, g[i++]);
            } else {
                decodeIndicators(ctx, g[i]);
                ctx.drop(g[i + 1], "one group too many before section 1");
                i += 2;
            }
            decodeWindGroup(ctx, g, i);
            return;
        }
    }
    if (i < g.size()) decodeIndicators(ctx, g[i++]);
    decodeWindGroup(ctx, g, i);
}

void decodeWindGroup(DecodeContext& ctx, const Groups& g, size_t& i)
{
    if (i >= g.size()) return;
    const std::string& wind = g[i++];
    if (!isCodedGroup(wind, 5)) {
        ctx.drop(wind, "not an Nddff group");
        return;
    }
    const std::string* extended = nullptr;
    if (digitsValue(wind, 3, 2) == 99) {
        if (i < g.size() && isCodedGroup(g[i], 5) && g[i].rfind("00", 0) == 0 && digitsValue(g[i], 2, 3) >= 0) {
            extended = &g[i];
        } else {
            ctx.out.warnings.push_back("wind speed 99 or more without its 00fff group, speed unknown");
        }
    }
    if (digitsValue(wind, 3, 2) == 99 && !extended) {
        // Keep the cloud cover; the wind itself is unknown.
        const int n = digitsValue(wind, 0, 1);
        if (n >= 0) ctx.out.cloudCoverOkta = n;
        ctx.note(wind, [&] { return std::string(n >= 0 ? "cloud cover " + std::string(tables::cloudCover(n)) + "; wind speed unknown" : "wind speed unknown"); });
        return;
    }
    decodeWind(ctx, wind, extended);
    if (extended) ctx.note(g[i++], [&] { return std::string("wind speed " + std::to_string(digitsValue(*extended, 2, 3))); });
}


}  // namespace synop::detail
