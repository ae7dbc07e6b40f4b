// Section 2 of ship reports (sea surface, waves, ice) and the drifting buoy form.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {
namespace {

// 0snTwTwTw: the sign figure also tells how the temperature was taken;
// odd figures are negative.
void decodeSeaTemperature(DecodeContext& ctx, const std::string& group, size_t signAt)
{
    const int sn = digitsValue(group, signAt, 1);
    const int tenths = digitsValue(group, signAt + 1, 3);
    if (sn < 0 || tenths < 0) {
        if (group.find('/') != std::string::npos) ctx.note(group, "sea surface temperature not reported");
        else ctx.drop(group, "garbled sea surface temperature");
        return;
    }
    if (sn > 7) {
        ctx.drop(group, "sign figure " + std::to_string(sn) + " does not exist");
        return;
    }
    const double t = tenths == 0 ? 0.0 : (sn % 2 ? -tenths : tenths) / 10.0;
    if (ctx.implausible(group, t < -3 || t > 40, "sea surface temperature " + formatNumber(t) + " °C cannot be true")) return;
    ctx.out.seaSurfaceTempC = t;
    ctx.note(group, "sea surface temperature " + formatNumber(t) + " °C");
}

void decodeWaves(DecodeContext& ctx, const std::string& group, const char* what)
{
    const int period = digitsValue(group, 1, 2);
    const int height = digitsValue(group, 3, 2);
    std::string meaning = what;
    if (period >= 0) meaning += ", period " + std::to_string(period) + " s";
    if (height >= 0) meaning += ", height " + formatNumber(height * 0.5) + " m";
    ctx.note(group, meaning);
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
    for (; i < g.size() && g[i].rfind("222", 0) != 0 && g[i].rfind("333", 0) != 0 && g[i].rfind("444", 0) != 0; ++i) {
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
        switch (id) {
        case 0: {
            // 0ddff has no cloud figure; reuse the land rules with N missing.
            std::string noCloud = group;
            noCloud[0] = '/';
            Groups wind{noCloud};
            if (digitsValue(group, 3, 2) == 99 && i + 1 < g.size() && g[i + 1].rfind("00", 0) == 0) wind.push_back(g[++i]);
            size_t at = 0;
            const auto cover = ctx.out.cloudCoverOkta;
            decodeWindGroup(ctx, wind, at);
            ctx.out.cloudCoverOkta = cover;
            ctx.out.groups.back().group = group;
            break;
        }
        default: {
            // Groups 1 to 5 read as on land.
            Groups one{group};
            size_t at = 0;
            decodeSection1(ctx, one, at);
        }
        }
    }
}

}  // namespace

void decodeSeaSection(DecodeContext& ctx, const Groups& g, size_t& i)
{
    ctx.note(g[i], "section 2: sea surface and waves");
    int last = -1;
    for (++i; i < g.size() && !isSectionMarker(g[i]); ++i) {
        const std::string& group = g[i];
        if (group == "ICE") {
            std::string rest;
            while (i + 1 < g.size() && !isSectionMarker(g[i + 1])) rest += (rest.empty() ? "" : " ") + g[++i];
            ctx.note(group, "sea ice: " + rest);
            ++i;  // past the last group taken, as the loop would be
            break;
        }
        const int id = isCodedGroup(group, 5) ? digitsValue(group, 0, 1) : -1;
        if (id < 0 || id == 9 || id < last) {
            ctx.drop(group, id < 0 ? "garbled (not five figures)" : "out of order");
            continue;
        }
        last = id;
        switch (id) {
        case 0: decodeSeaTemperature(ctx, group, 1); break;
        case 1: decodeWaves(ctx, group, "instrumental wave data"); break;
        case 2: decodeWaves(ctx, group, "wind waves"); break;
        case 3: ctx.note(group, "directions of swell"); break;
        case 4: decodeWaves(ctx, group, "first swell"); break;
        case 5: decodeWaves(ctx, group, "second swell"); break;
        case 6: ctx.note(group, "ice accretion on the ship"); break;
        case 7: ctx.note(group, "wave height in tenths of a metre"); break;
        case 8: ctx.note(group, "wet-bulb temperature"); break;
        }
    }
}

void decodeBuoy(DecodeContext& ctx, const Groups& g)
{
    // A1bwnbnbnb YYMMJ GGggiw QcLaLaLaLaLa LoLoLoLoLoLo
    ctx.out.station = g[0];
    ctx.note(g[0], "buoy number");
    if (g.size() > 1 && g[1] == "NIL") {
        ctx.out.nil = true;
        ctx.note("NIL", "no report");
        return;
    }
    if (g.size() < 5) {
        ctx.out.warnings.push_back("report too short for date, time and position");
        return;
    }
    const int day = digitsValue(g[1], 0, 2);
    const int month = digitsValue(g[1], 2, 2);
    if (isCodedGroup(g[1], 5) && day >= 1 && day <= 31 && month >= 1 && month <= 12) {
        ctx.out.day = day;
        ctx.out.month = month;
        ctx.note(g[1], "day " + std::to_string(day) + ", month " + std::to_string(month) + ", year ending in " + g[1].substr(4));
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
        ctx.note(g[2], "observed at " + g[2].substr(0, 2) + ":" + g[2].substr(2, 2) + " UTC"
                           + (ctx.windIndicator >= 0 ? ", " + std::string(tables::windIndicator(iw)) : ""));
    } else {
        ctx.drop(g[2], "not a valid time");
    }
    const int qc = digitsValue(g[3], 0, 1);
    const auto lat = isCodedGroup(g[3], 6) ? buoyCoordinate(g[3], 5, 90000) : std::nullopt;
    const auto lon = isCodedGroup(g[4], 6) ? buoyCoordinate(g[4], 6, 180000) : std::nullopt;
    if ((qc == 1 || qc == 3 || qc == 5 || qc == 7) && lat && lon) {
        ctx.out.lat = (qc == 3 || qc == 5) && *lat != 0 ? -*lat : *lat;
        ctx.out.lon = (qc == 5 || qc == 7) && *lon != 0 ? -*lon : *lon;
        ctx.note(g[3], "latitude " + formatNumber(*ctx.out.lat, 3) + " degrees");
        ctx.note(g[4], "longitude " + formatNumber(*ctx.out.lon, 3) + " degrees");
    } else {
        ctx.drop(g[3] + " " + g[4], "not a valid position");
    }
    size_t i = 5;
    if (i < g.size() && g[i].size() == 5 && g[i][0] == '6') ctx.note(g[i++], "quality control indicators");
    while (i < g.size()) {
        const std::string& marker = g[i];
        if (marker.rfind("111", 0) == 0) {
            ctx.note(g[i++], "section 1: meteorological data");
            decodeBuoySection1(ctx, g, i);
        } else if (marker.rfind("222", 0) == 0) {
            ctx.note(g[i++], "section 2: sea surface and waves");
            for (; i < g.size() && g[i].rfind("333", 0) != 0 && g[i].rfind("444", 0) != 0; ++i) {
                const std::string& group = g[i];
                if (group.rfind("0", 0) == 0) decodeSeaTemperature(ctx, group, 1);
                else if (group.rfind("1", 0) == 0) decodeWaves(ctx, group, "wave data");
                else ctx.note(group, "wave data");
            }
        } else {
            std::string kept;
            const size_t first = i++;
            for (; i < g.size() && g[i].rfind("333", 0) != 0 && g[i].rfind("444", 0) != 0; ++i) kept += " " + g[i];
            ctx.note(g[first], (marker.rfind("333", 0) == 0 ? "section 3: sub-surface data, kept as received:"
                                : marker.rfind("444", 0) == 0 ? "section 4: buoy engineering data, kept as received:"
                                                             : "not a section marker:") + kept);
        }
    }
}

}  // namespace synop::detail
