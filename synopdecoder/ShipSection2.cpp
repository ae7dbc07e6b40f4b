// Section 2 of ship reports (FM 13): the ship's movement, sea surface
// temperature, waves and swell, ice accretion, wet-bulb temperature, sea ice.
#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

namespace synop::detail {

void decodeSeaTemperature(DecodeContext& ctx, const std::string& group)
{
    // 0snTwTwTw: sn tells the sign (odd negative) and how it was taken.
    const int sn = digitsValue(group, 1, 1);
    const int tenths = digitsValue(group, 2, 3);
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
    if (ctx.implausible(group, t < -3 || t > 40, [&] { return std::string("sea surface temperature " + formatNumber(t) + " °C cannot be true"); })) return;
    ctx.out.seaSurfaceTempC = t;
    ctx.out.seaSurfaceTempMethod = std::string(tables::seaTemperatureMethod(sn));
    ctx.note(group, [&] { return std::string("sea surface temperature " + formatNumber(t) + " °C (" + ctx.out.seaSurfaceTempMethod + ")"); });
}

std::string describeWaves(const WaveTrain& w)
{
    std::string text;
    if (w.directionDeg) text += *w.directionDeg == 0 ? ", calm" : ", from " + std::to_string(*w.directionDeg) + " degrees";
    if (w.periodS) text += ", period " + formatNumber(*w.periodS, *w.periodS == static_cast<int>(*w.periodS) ? 0 : 1) + " s";
    if (w.heightM) text += ", height " + formatNumber(*w.heightM) + " m";
    return text.empty() ? " not reported" : text;
}

namespace {

// PP HH: period in seconds (99 a confused sea), height in half metres.
WaveTrain wavesFromGroup(const std::string& group)
{
    WaveTrain w;
    const int period = digitsValue(group, 1, 2);
    const int height = digitsValue(group, 3, 2);
    if (period >= 0 && period != 99) w.periodS = period;
    if (height >= 0) w.heightM = height * 0.5;
    return w;
}

// Code table 0877: direction in tens of degrees, 00 calm; 99 or more than 36 unknown.
std::optional<int> swellDirection(const std::string& group, size_t at)
{
    const int dd = digitsValue(group, at, 2);
    if (dd < 0 || dd > 36) return std::nullopt;
    return dd * 10;
}

void decodeMovement(DecodeContext& ctx, const std::string& marker)
{
    // 222Dsvs: the ship's course and speed over the past 3 hours.
    const auto course = tables::shipDirectionDegrees(digitsValue(marker, 3, 1));
    const auto speed = tables::shipSpeedKnots(digitsValue(marker, 4, 1));
    if (course) ctx.out.shipCourseDeg = course;
    const bool moving = speed && !(course && *course == 0);
    if (moving) {
        ctx.out.shipSpeedKtMin = speed->min;
        ctx.out.shipSpeedKtMax = speed->max;
    }
    ctx.note(marker, [&] {
        std::string meaning = "section 2: sea surface and waves";
        if (course) meaning += *course == 0 ? "; ship stationary" : "; ship heading " + std::to_string(*course) + " degrees";
        if (moving)
            meaning += speed->max ? " at " + std::to_string(speed->min) + "-" + std::to_string(*speed->max) + " kt"
                                  : " at more than 40 kt";
        return meaning;
    });
}

void decodeIceAccretion(DecodeContext& ctx, const std::string& group)
{
    // 6IsEsEsRs
    IceAccretion ice;
    const int is = digitsValue(group, 1, 1);
    const int es = digitsValue(group, 2, 2);
    const int rs = digitsValue(group, 4, 1);
    if (is >= 1 && is <= 5) ice.source = is;
    if (es >= 0) ice.thicknessCm = es;
    if (rs >= 0 && rs <= 4) ice.rate = rs;
    if (!ice.source && !ice.thicknessCm && !ice.rate) {
        ctx.note(group, "ice accretion not reported");
        return;
    }
    std::string meaning = "ice accretion";
    if (ice.source) meaning.append(": ").append(tables::iceAccretionSource(*ice.source));
    if (ice.thicknessCm) meaning += ", " + std::to_string(*ice.thicknessCm) + " cm";
    if (ice.rate) meaning.append(", ").append(tables::iceAccretionRate(*ice.rate));
    ctx.out.iceAccretion = ice;
    ctx.note(group, meaning);
}

void decodeWetBulb(DecodeContext& ctx, const std::string& group)
{
    // 8swTbTbTb: sw 1 and 6 negative, 2 and 7 an iced bulb (so below zero).
    const int sw = digitsValue(group, 1, 1);
    const int tenths = digitsValue(group, 2, 3);
    const std::string_view method = tables::wetBulbMethod(sw);
    if (tenths < 0 || method.empty()) {
        if (group.find('/') != std::string::npos) ctx.note(group, "wet-bulb temperature not reported");
        else ctx.drop(group, "not a wet-bulb temperature");
        return;
    }
    const bool negative = sw == 1 || sw == 2 || sw == 6 || sw == 7;
    const double t = tenths == 0 ? 0.0 : (negative ? -tenths : tenths) / 10.0;
    if (ctx.implausible(group, t < -60 || t > 45, [&] { return std::string("wet-bulb temperature " + formatNumber(t) + " °C cannot be true"); })) return;
    ctx.out.wetBulbTempC = t;
    ctx.out.wetBulbMethod = std::string(method);
    ctx.note(group, [&] { return std::string("wet-bulb temperature " + formatNumber(t) + " °C (" + ctx.out.wetBulbMethod + ")"); });
}

// ICE followed by ciSibiDizi, or by words up to the end of the section.
void decodeSeaIce(DecodeContext& ctx, const Groups& g, size_t& i)
{
    SeaIce ice;
    std::string meaning = "sea ice";
    const std::string* coded = i + 1 < g.size() && isCodedGroup(g[i + 1], 5) ? &g[i + 1] : nullptr;
    if (coded) {
        auto figure = [&](size_t at) -> std::optional<int> {
            const int v = digitsValue(*coded, at, 1);
            return v >= 0 ? std::optional<int>(v) : std::nullopt;
        };
        ice.concentration = figure(0);
        ice.development = figure(1);
        ice.landOrigin = figure(2);
        ice.bearing = figure(3);
        ice.situation = figure(4);
        ctx.note(g[i], meaning);
        ctx.note(*coded, [&] { return std::string("ice concentration, development, land ice, bearing, situation (code tables 0639, 3739, 0439, "
                         "0739, 5239)"); });
        i += 2;
    } else {
        const size_t first = i++;
        for (; i < g.size() && !isSectionMarker(g[i]); ++i) {
            if (g[i].find_first_not_of('/') == std::string::npos) continue;  // solidi: nothing reported
            ice.plainText += (ice.plainText.empty() ? "" : " ") + g[i];
        }
        ctx.note(g[first], [&] { return std::string(ice.plainText.empty() ? meaning : meaning + ": " + ice.plainText); });
    }
    if (ice != SeaIce{}) ctx.out.seaIce = ice;
}

}  // namespace

void decodeSeaSection(DecodeContext& ctx, const Groups& g, size_t& i)
{
    decodeMovement(ctx, g[i++]);
    int last = -1;
    std::optional<int> firstSwellFrom, secondSwellFrom;
    while (i < g.size() && !isSectionMarker(g[i])) {
        const std::string& group = g[i];
        if (group == "ICE") {
            decodeSeaIce(ctx, g, i);
            continue;
        }
        const int id = isCodedGroup(group, 5) ? digitsValue(group, 0, 1) : -1;
        if (id < 0 || id == 9 || id <= last) {
            ctx.drop(group, id < 0 ? "garbled (not five figures)" : id == 9 ? "no section 2 group starts with 9" : "out of order or repeated");
            ++i;
            continue;
        }
        last = id;
        ++i;
        switch (id) {
        case 0: decodeSeaTemperature(ctx, group); break;
        case 1:
            ctx.out.instrumentalWaves = wavesFromGroup(group);
            ctx.note(group, [&] { return std::string("waves measured" + describeWaves(*ctx.out.instrumentalWaves)); });
            break;
        case 2:
            ctx.out.windWaves = wavesFromGroup(group);
            ctx.note(group, [&] { return std::string("wind waves" + describeWaves(*ctx.out.windWaves)); });
            break;
        case 3:
            firstSwellFrom = swellDirection(group, 1);
            secondSwellFrom = swellDirection(group, 3);
            ctx.note(group, "directions of the swells");
            break;
        case 4:
        case 5: {
            WaveTrain swell = wavesFromGroup(group);
            swell.directionDeg = id == 4 ? firstSwellFrom : secondSwellFrom;
            ctx.note(group, [&] { return std::string(std::string(id == 4 ? "first" : "second") + " swell" + describeWaves(swell)); });
            if (swell == WaveTrain{}) break;
            if (id == 5 && ctx.out.swells.empty()) ctx.out.swells.emplace_back();  // the first swell not reported
            ctx.out.swells.push_back(swell);
            break;
        }
        case 6: decodeIceAccretion(ctx, group); break;
        case 7: {
            // 70HwaHwaHwa: the measured height in tenths of a metre.
            const int tenths = group[1] == '0' ? digitsValue(group, 2, 3) : -1;
            if (group[1] != '0') {
                ctx.drop(group, "not a 70HwaHwaHwa group");
            } else if (tenths < 0) {
                ctx.note(group, "measured wave height not reported");
            } else {
                if (!ctx.out.instrumentalWaves) ctx.out.instrumentalWaves = WaveTrain{};
                ctx.out.instrumentalWaves->heightM = tenths / 10.0;
                ctx.note(group, [&] { return std::string("measured wave height " + formatNumber(tenths / 10.0) + " m"); });
            }
            break;
        }
        case 8: decodeWetBulb(ctx, group); break;
        }
    }
}

}  // namespace synop::detail
