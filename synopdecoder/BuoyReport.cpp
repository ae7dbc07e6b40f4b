// The drifting and moored buoy form (FM 18): identification, time and
// position, meteorological data, sea surface and waves, temperature and
// salinity profiles and currents; the engineering section is kept as received.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {
namespace {

bool isBuoyMarker(const std::string& g, const char* figures)
{
    return g.compare(0, 3, figures) == 0 && (g.size() == 3 || (g.size() == 5 && isCodedGroup(g, 5)));
}
bool endsSection(const std::string& g, int section)
{
    // Sections rise: inside section 3 a depth group 2zzzz of 222x metres is not a marker.
    return (section < 2 && isBuoyMarker(g, "222")) || (section < 3 && isBuoyMarker(g, "333")) || g == "444";
}

std::optional<double> buoyCoordinate(const std::string& group, size_t digits, int limit)
{
    const int thousandths = digitsValue(group, group.size() - digits, digits);
    if (thousandths < 0 || thousandths > limit) return std::nullopt;
    return thousandths / 1000.0;
}

void decodeBuoySection1(DecodeContext& ctx, const Groups& g, size_t& i)
{
    int last = -1;
    for (; i < g.size() && !endsSection(g[i], 1); ++i) {
        const std::string& group = g[i];
        const int id = isCodedGroup(group, 5) ? digitsValue(group, 0, 1) : -1;
        if (id < 0 || id > 5) {
            ctx.drop(group, "not a buoy section 1 group");
            continue;
        }
        if (id <= last) {
            ctx.drop(group, "out of order or repeated");
            continue;
        }
        last = id;
        if (id == 0) {
            // 0ddff has no cloud figure; the land rules read it with N missing.
            std::string noCloud = group;
            noCloud[0] = '/';
            Groups wind{noCloud};
            if (digitsValue(group, 3, 2) == 99 && i + 1 < g.size() && g[i + 1].rfind("00", 0) == 0) wind.push_back(g[++i]);
            size_t at = 0;
            const auto cover = ctx.out.cloudCoverOkta;
            decodeWindGroup(ctx, wind, at);
            ctx.out.cloudCoverOkta = cover;
            if (ctx.describing()) ctx.out.groups.back().group = group;
        } else {
            Groups one{group};  // groups 1 to 5 read as on land
            size_t at = 0;
            decodeSection1(ctx, one, at);
        }
    }
}

void decodeBuoySection2(DecodeContext& ctx, const Groups& g, size_t& i)
{
    // 0snTwTwTw 1PwaPwaHwaHwa 20PwaPwaPwa 21HwaHwaHwa
    for (; i < g.size() && !endsSection(g[i], 2); ++i) {
        const std::string& group = g[i];
        const int id = isCodedGroup(group, 5) ? digitsValue(group, 0, 1) : -1;
        if (id == 0) {
            decodeSeaTemperature(ctx, group);
        } else if (id == 1) {
            WaveTrain w;
            const int period = digitsValue(group, 1, 2);
            const int height = digitsValue(group, 3, 2);
            if (period >= 0 && period != 99) w.periodS = period;
            if (height >= 0) w.heightM = height * 0.5;
            ctx.out.instrumentalWaves = w;
            ctx.note(group, [&] { return std::string("waves measured" + describeWaves(w)); });
        } else if (id == 2 && (group[1] == '0' || group[1] == '1')) {
            // Tenths of a second and of a metre, finer than the 1 group.
            const int tenths = digitsValue(group, 2, 3);
            if (!ctx.out.instrumentalWaves) ctx.out.instrumentalWaves = WaveTrain{};
            if (tenths < 0) {
                ctx.note(group, [&] { return std::string(group[1] == '0' ? "wave period not reported" : "wave height not reported"); });
            } else if (group[1] == '0') {
                ctx.out.instrumentalWaves->periodS = tenths / 10.0;
                ctx.note(group, [&] { return std::string("wave period " + formatNumber(tenths / 10.0) + " s"); });
            } else {
                ctx.out.instrumentalWaves->heightM = tenths / 10.0;
                ctx.note(group, [&] { return std::string("wave height " + formatNumber(tenths / 10.0) + " m"); });
            }
        } else {
            ctx.drop(group, "not a buoy section 2 group");
        }
    }
}

// 3T0T0T0T0 in hundredths of a degree, 5000 added when negative; a solidus
// last when only tenths are known.
std::optional<double> profileTemperature(const std::string& group)
{
    if (group[4] == '/') {
        const int tenths = digitsValue(group, 1, 3);
        if (tenths < 0) return std::nullopt;
        return tenths >= 500 ? -(tenths - 500) / 10.0 : tenths / 10.0;
    }
    const int hundredths = digitsValue(group, 1, 4);
    if (hundredths < 0) return std::nullopt;
    return hundredths >= 5000 ? -(hundredths - 5000) / 100.0 : hundredths / 100.0;
}

void decodeProfile(DecodeContext& ctx, const Groups& g, size_t& i)
{
    // 8887k2, then 2zzzz 3TTTT 4SSSS for each selected depth.
    const int k2 = digitsValue(g[i], 4, 1);
    if (k2 >= 0) ctx.out.salinityMethod = k2;
    ctx.note(g[i++], [&] { return std::string("temperature and salinity profile" + (k2 >= 0 ? ", salinity method " + std::to_string(k2) : std::string())); });
    while (i < g.size() && isCodedGroup(g[i], 5) && g[i][0] == '2') {
        const int depth = digitsValue(g[i], 1, 4);
        if (depth < 0) {
            ctx.drop(g[i++], "depth not reported");
            continue;
        }
        ProfileLevel level;
        level.depthM = depth;
        ctx.note(g[i++], [&] { return std::string("depth " + std::to_string(depth) + " m"); });
        if (i < g.size() && isCodedGroup(g[i], 5) && g[i][0] == '3') {
            const auto t = profileTemperature(g[i]);
            const std::string why = t ? "sea temperature " + formatNumber(*t, 2) + " °C cannot be true" : std::string();
            if (!(t && ctx.implausible(g[i], *t < -3 || *t > 40, [&] { return std::string(why); }))) {
                level.temperatureC = t;
                ctx.note(g[i], [&] { return std::string(t ? "sea temperature " + formatNumber(*t, 2) + " °C" : "sea temperature not reported"); });
            }
            ++i;
        }
        if (i < g.size() && isCodedGroup(g[i], 5) && g[i][0] == '4') {
            const int hundredths = digitsValue(g[i], 1, 4);
            if (!(hundredths >= 0 && ctx.implausible(g[i], hundredths > 5000, "salinity above 50 per mille"))) {
                if (hundredths >= 0) level.salinityPerMille = hundredths / 100.0;
                ctx.note(g[i], [&] { return std::string(hundredths >= 0 ? "salinity " + formatNumber(hundredths / 100.0, 2) + " per mille" : "salinity not reported"); });
            }
            ++i;
        }
        ctx.out.seaProfile.push_back(level);
    }
}

void decodeCurrents(DecodeContext& ctx, const Groups& g, size_t& i)
{
    // 66k69k3, then 2zzzz ddccc for each selected depth.
    const int k6 = digitsValue(g[i], 2, 1);
    const int k3 = digitsValue(g[i], 4, 1);
    if (k6 >= 0) ctx.out.currentMethod = k6;
    if (k3 >= 0) ctx.out.currentDuration = k3;
    ctx.note(g[i++], "current profile");
    while (i + 1 < g.size() && isCodedGroup(g[i], 5) && g[i][0] == '2' && isCodedGroup(g[i + 1], 5)) {
        const int depth = digitsValue(g[i], 1, 4);
        const std::string& flow = g[i + 1];
        const int dd = digitsValue(flow, 0, 2);
        const int speed = digitsValue(flow, 2, 3);
        if (depth < 0 || (dd > 36 && dd != 99)) {
            ctx.drop(g[i] + " " + flow, "not a depth and current");
            i += 2;
            continue;
        }
        CurrentLevel level;
        level.depthM = depth;
        if (dd == 99) level.directionVariable = true;
        else if (dd >= 0) level.directionDeg = dd * 10;
        if (speed >= 0) level.speedCmS = speed;
        ctx.note(g[i], [&] { return std::string("depth " + std::to_string(depth) + " m"); });
        ctx.note(flow, [&] { return std::string(std::string("current") + (level.directionDeg ? " towards " + std::to_string(*level.directionDeg) + " degrees" : "")
                           + (speed >= 0 ? " at " + std::to_string(speed) + " cm/s" : "")); });
        ctx.out.currents.push_back(level);
        i += 2;
    }
}

void decodeBuoySection3(DecodeContext& ctx, const Groups& g, size_t& i)
{
    while (i < g.size() && !endsSection(g[i], 3)) {
        const std::string& group = g[i];
        if (isCodedGroup(group, 5) && group.compare(0, 4, "8887") == 0) {
            decodeProfile(ctx, g, i);
        } else if (isCodedGroup(group, 5) && group.compare(0, 2, "66") == 0 && group[3] == '9') {
            decodeCurrents(ctx, g, i);
        } else {
            ctx.drop(group, "not expected in buoy section 3");
            ++i;
        }
    }
}

bool decodeTimeAndPosition(DecodeContext& ctx, const Groups& g)
{
    // A1bwnbnbnb YYMMJ GGggiw QcLaLaLaLaLa LoLoLoLoLoLo
    if (g.size() < 5) {
        ctx.out.warnings.push_back("report too short for date, time and position");
        return false;
    }
    const int day = digitsValue(g[1], 0, 2);
    const int month = digitsValue(g[1], 2, 2);
    if (isCodedGroup(g[1], 5) && day >= 1 && day <= 31 && month >= 1 && month <= 12) {
        ctx.out.day = day;
        ctx.out.month = month;
        ctx.note(g[1], [&] { return std::string("day " + std::to_string(day) + ", month " + std::to_string(month) + ", year ending in " + g[1].substr(4)); });
    } else {
        ctx.drop(g[1], "not a valid day and month");
    }
    const int hour = digitsValue(g[2], 0, 2);
    const int minute = digitsValue(g[2], 2, 2);
    const int iw = digitsValue(g[2], 4, 1);
    if (isCodedGroup(g[2], 5) && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59) {
        ctx.out.hour = hour;
        ctx.out.minute = minute;
        if (iw == 0 || iw == 1 || iw == 3 || iw == 4) ctx.windIndicator = iw;
        ctx.note(g[2], [&] { return std::string("observed at " + g[2].substr(0, 2) + ":" + g[2].substr(2, 2) + " UTC"
                           + (ctx.windIndicator >= 0 ? ", " + std::string(tables::windIndicator(iw)) : "")); });
    } else {
        ctx.drop(g[2], "not a valid time");
    }
    const int qc = digitsValue(g[3], 0, 1);
    const auto lat = isCodedGroup(g[3], 6) ? buoyCoordinate(g[3], 5, 90000) : std::nullopt;
    const auto lon = isCodedGroup(g[4], 6) ? buoyCoordinate(g[4], 6, 180000) : std::nullopt;
    if ((qc == 1 || qc == 3 || qc == 5 || qc == 7) && lat && lon) {
        const double north = lat.value_or(0), east = lon.value_or(0);
        ctx.out.lat = (qc == 3 || qc == 5) && north != 0 ? -north : north;
        ctx.out.lon = (qc == 5 || qc == 7) && east != 0 ? -east : east;
        ctx.note(g[3], [&] { return std::string("latitude " + formatNumber(*ctx.out.lat, 3) + " degrees"); });
        ctx.note(g[4], [&] { return std::string("longitude " + formatNumber(*ctx.out.lon, 3) + " degrees"); });
    } else {
        ctx.drop(g[3] + " " + g[4], "not a valid position");
    }
    return true;
}

}  // namespace

void decodeBuoy(DecodeContext& ctx, const Groups& g)
{
    ctx.out.station = g[0];
    ctx.note(g[0], "buoy number");
    if (g.size() > 1 && g[1] == "NIL") {
        ctx.out.nil = true;
        ctx.note("NIL", "no report");
        return;
    }
    if (!decodeTimeAndPosition(ctx, g)) return;
    size_t i = 5;
    if (i < g.size() && g[i].size() == 5 && g[i][0] == '6') ctx.note(g[i++], "quality control indicators");
    while (i < g.size()) {
        const std::string& marker = g[i];
        if (isBuoyMarker(marker, "111")) {
            ctx.note(g[i++], "section 1: meteorological data");
            decodeBuoySection1(ctx, g, i);
        } else if (isBuoyMarker(marker, "222")) {
            ctx.note(g[i++], "section 2: sea surface and waves");
            decodeBuoySection2(ctx, g, i);
        } else if (isBuoyMarker(marker, "333")) {
            ctx.note(g[i++], "section 3: temperature, salinity and current at depth");
            decodeBuoySection3(ctx, g, i);
        } else if (marker == "444") {
            std::string kept;
            for (++i; i < g.size(); ++i) kept += " " + g[i];
            ctx.note(marker, [&] { return std::string("section 4: buoy engineering data, kept as received:" + kept); });
        } else {
            ctx.drop(marker, "not a section marker");
            ++i;
        }
    }
}

}  // namespace synop::detail
