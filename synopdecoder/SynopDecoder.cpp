#include "synopdecoder/SynopDecoder.h"

#include "synopdecoder/CodeTables.h"
#include "synopdecoder/DecodeContext.h"
#include "synopdecoder/GroupText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace synop {
namespace detail {

std::string formatNumber(double value, int decimals)
{
    if (decimals == 1 && value > -1e6 && value < 1e6) {
        // The common case, without the cost of printf's floating point.
        long tenths = std::lround(value * 10);
        char text[16];
        char* end = text + sizeof text;
        char* p = end;
        const bool negative = tenths < 0;
        tenths = std::labs(tenths);
        *--p = static_cast<char>('0' + tenths % 10);
        *--p = '.';
        long whole = tenths / 10;
        do {
            *--p = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole > 0);
        if (negative) *--p = '-';
        return std::string(p, end);
    }
    // As printf's "%.*f" in the C locale, whatever locale the program runs in.
    char text[400];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return written.ec == std::errc() ? std::string(text, written.ptr) : std::string();
}

}  // namespace detail

namespace {

using namespace detail;

// YYGGiw: day, hour, wind unit indicator.
void decodeDateGroup(DecodeContext& ctx, const std::string& group)
{
    const int day = digitsValue(group, 0, 2);
    const int hour = digitsValue(group, 2, 2);
    const int iw = digitsValue(group, 4, 1);
    if (!isCodedGroup(group, 5) || day < 1 || day > 31 || hour < 0 || hour > 23) {
        ctx.drop(group, "not a valid day and hour");
    } else {
        ctx.out.day = day;
        ctx.out.hour = hour;
        std::string meaning;
        if (ctx.describing()) meaning = "day " + std::to_string(day) + ", " + std::to_string(hour) + ":00 UTC";
        if (iw == 0 || iw == 1 || iw == 3 || iw == 4) {
            ctx.windIndicator = iw;
            if (ctx.describing()) meaning += ", " + std::string(tables::windIndicator(iw));
        } else {
            ctx.out.warnings.push_back("wind unit indicator missing or invalid in " + group);
            if (ctx.describing()) meaning += ", wind unit unknown";
        }
        ctx.note(group, meaning);
    }
}

// 99LaLaLa QcLoLoLoLo: position in tenths of a degree.
void decodeShipPosition(DecodeContext& ctx, const std::string& latGroup, const std::string& lonGroup)
{
    const int la = latGroup.rfind("99", 0) == 0 ? digitsValue(latGroup, 2, 3) : -1;
    const int qc = digitsValue(lonGroup, 0, 1);
    const int lo = digitsValue(lonGroup, 1, 4);
    const bool quadrantOk = qc == 1 || qc == 3 || qc == 5 || qc == 7;
    if (!isCodedGroup(latGroup, 5) || !isCodedGroup(lonGroup, 5) || la < 0 || la > 900 || !quadrantOk || lo < 0
        || lo > 1800) {
        ctx.drop(latGroup + " " + lonGroup, "not a valid position");
        return;
    }
    const double lat = (qc == 3 || qc == 5) ? -la / 10.0 : la / 10.0;
    const double lon = (qc == 5 || qc == 7) ? -lo / 10.0 : lo / 10.0;
    ctx.out.lat = lat == 0 ? 0.0 : lat;
    ctx.out.lon = lon == 0 ? 0.0 : lon;
    ctx.note(latGroup, [&] { return std::string("latitude " + formatNumber(*ctx.out.lat) + " degrees"); });
    ctx.note(lonGroup, [&] { return std::string("longitude " + formatNumber(*ctx.out.lon) + " degrees"); });
}

void keepSectionRaw(DecodeContext& ctx, const Groups& g, size_t& i, const char* what)
{
    std::string kept;
    const size_t first = i++;
    while (i < g.size() && !isSectionMarker(g[i])) {
        if (!kept.empty()) kept += ' ';
        kept += g[i++];
    }
    ctx.note(g[first], [&] { return std::string(std::string(what) + (kept.empty() ? std::string() : ": " + kept)); });
}

void decodeSections(DecodeContext& ctx, const Groups& g, size_t i)
{
    decodeIndicatorAndWind(ctx, g, i);
    decodeSection1(ctx, g, i);
    while (i < g.size()) {
        const std::string& marker = g[i];
        if (marker.rfind("222", 0) == 0) {
            decodeSeaSection(ctx, g, i);
        } else if (marker == "333") {
            ++i;
            ctx.note(marker, "section 3: climatological and regional data");
            decodeSection3(ctx, g, i);
        } else if (marker == "444") {
            keepSectionRaw(ctx, g, i, "section 4: clouds below the station, kept as received");
        } else if (marker == "555") {
            keepSectionRaw(ctx, g, i, "section 5: national data, kept as received");
        } else {
            ctx.drop(marker, "not expected here");
            ++i;
        }
    }
}

bool isIndicatorGroup(const std::string& g)
{
    const int ir = digitsValue(g, 0, 1);
    const int ix = digitsValue(g, 1, 1);
    return isCodedGroup(g, 5) && ir >= 0 && ir <= 4 && ix >= 1 && ix <= 7;
}

bool isWindGroup(const std::string& g)
{
    const int dd = digitsValue(g, 1, 2);
    return isCodedGroup(g, 5) && ((dd >= 0 && dd <= 36) || dd == 99 || g.substr(1, 2) == "//");
}

// A station index lost to noise shifts every group one place: the report
// then starts with a valid iRixhVV followed by a valid Nddff and a section 1
// group, where a station index and an iRixhVV should stand.
bool stationIndexLost(const Groups& g)
{
    if (g.size() < 3 || isIndicatorGroup(g[1]) || !isIndicatorGroup(g[0]) || !isWindGroup(g[1])) return false;
    return isCodedGroup(g[2], 5) && (g[2][0] != '0' || g[2][1] == '0');
}

// "33" or "3333" for the section 3 marker, when the report has none: the
// groups with the marker repaired, or nothing when there is no need.
std::optional<Groups> withSectionMarkerRepaired(DecodeContext& ctx, const Groups& g)
{
    const auto cut = std::find_if(g.begin(), g.end(), [](const std::string& s) {
        // Sizes first: a comparison with a word costs a call, and every group is looked at.
        return (s.size() == 2 || s.size() == 4) && (s == "33" || s == "3333");
    });
    if (cut == g.end() || std::find(g.begin(), g.end(), "333") != g.end()) return std::nullopt;
    ctx.out.warnings.push_back("group " + *cut + " read as the section 3 marker 333");
    Groups repaired = g;
    repaired[static_cast<size_t>(cut - g.begin())] = "333";
    return repaired;
}

void decodeLand(DecodeContext& ctx, const AssembledReport& in)
{
    const std::optional<Groups> repaired = withSectionMarkerRepaired(ctx, in.groups);
    const Groups& g = repaired ? *repaired : in.groups;
    const bool lost = stationIndexLost(g);
    if (lost) {
        ctx.out.warnings.push_back("station index lost: the report starts with its iRixhVV group " + g[0]);
    } else {
        ctx.out.station = g[0];
        if (!isCodedGroup(g[0], 5)) ctx.out.warnings.push_back("station index " + g[0] + " is not five figures");
        ctx.note(g[0], "station index");
    }
    if (in.landDateGroup.empty())
        ctx.out.warnings.push_back("no AAXX YYGGiw line before the report: day, hour and wind unit unknown");
    else
        decodeDateGroup(ctx, in.landDateGroup);
    if (g.size() > 1 && g[1] == "NIL") {
        ctx.out.nil = true;
        ctx.note("NIL", "no report from this station");
        return;
    }
    decodeSections(ctx, g, lost ? 0 : 1);
}

void decodeShip(DecodeContext& ctx, const AssembledReport& in)
{
    const Groups& g = in.groups;
    ctx.seaLevelPressureOnly = true;
    ctx.out.station = g[0];
    ctx.note(g[0], "ship's call sign");
    if (g.size() > 1 && g[1] == "NIL") {
        ctx.out.nil = true;
        ctx.note("NIL", "no report");
        return;
    }
    if (g.size() < 4) {
        // Cut short: what there is still tells who reported and when.
        if (g.size() >= 2) decodeDateGroup(ctx, g[1]);
        ctx.out.warnings.push_back(g.size() < 2 ? "report cut after its identifier: no date or position"
                                                : "report cut after its date group: no position");
        return;
    }
    decodeDateGroup(ctx, g[1]);
    decodeShipPosition(ctx, g[2], g[3]);
    decodeSections(ctx, g, 4);
}

// A main or intermediate synoptic bulletin carries the reports of the hour
// its heading names; a report dated otherwise is misdated in one of the two,
// and a log must not take it for the station's report of either hour
// unseen. Non-standard-hour bulletins (SN) and buoys carry any hour.
// A warning's text kept from a report that was reset, so that the date
// warning, which most reports of a misdated bulletin carry, is written into
// a buffer already made instead of one allocated and freed each time.
std::string& spareWarning()
{
    thread_local std::string spare;
    return spare;
}

void checkDateAgainstHeading(DecodedReport& out)
{
    if (!out.heading || out.form == ReportForm::Buoy || !out.day || !out.hour) return;
    const BulletinHeading& h = *out.heading;
    if (h.ttaaii.size() < 2 || h.ttaaii[1] == 'N') return;
    int day = digitsValue(h.yygggg, 0, 2), hour = digitsValue(h.yygggg, 2, 2);
    const int minute = digitsValue(h.yygggg, 4, 2);
    if (h.yygggg.size() != 6 || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0) return;
    // Bulletins compiled a little before the hour name the hour they are for.
    if (minute >= 30 && ++hour == 24) {
        hour = 0;
        day = day % 31 + 1;  // no month is known here: the 31st runs into the 1st
    }
    if (day == *out.day && hour == *out.hour) return;
    // Built by hand in one piece: printf's machinery, or appending piece by
    // piece, cost as much as decoding the report.
    char text[128];  // the heading's time is six figures: the longest warning is under 100 bytes
    char* at = text;
    auto put = [&at](std::string_view piece) {
        std::memcpy(at, piece.data(), piece.size());
        at += piece.size();
    };
    auto twoDigits = [&at](int value) {
        *at++ = static_cast<char>('0' + value / 10 % 10);
        *at++ = static_cast<char>('0' + value % 10);
    };
    put("date group says day ");
    at = std::to_chars(at, text + sizeof text, *out.day).ptr;
    put(", ");
    twoDigits(*out.hour);
    put(" UTC; the bulletin heading ");
    put(h.yygggg);
    put(" says day ");
    at = std::to_chars(at, text + sizeof text, day).ptr;
    put(", ");
    twoDigits(hour);
    put(" UTC");
    std::string& warning = spareWarning();
    warning.assign(text, static_cast<size_t>(at - text));
    out.warnings.push_back(std::move(warning));
}

}  // namespace

namespace {

void decodeInto(DecodedReport& out, const AssembledReport& report, const DecoderOptions& options)
{
    out.form = report.form;
    if (report.groups.empty()) {
        out.warnings.push_back("empty report");
        return;
    }
    if (options.describeGroups) out.groups.reserve(report.groups.size() + 2);
    DecodeContext ctx{out, options};
    switch (report.form) {
    case ReportForm::Land: decodeLand(ctx, report); break;
    case ReportForm::Ship: decodeShip(ctx, report); break;
    case ReportForm::Buoy:
        ctx.seaLevelPressureOnly = true;
        decodeBuoy(ctx, report.groups);
        break;
    }
    checkDateAgainstHeading(out);
}

}  // namespace

DecodedReport decodeReport(const AssembledReport& report, const DecoderOptions& options)
{
    DecodedReport out;
    out.heading = report.heading;
    out.raw = report.raw;
    out.warnings = report.warnings;
    decodeInto(out, report, options);
    return out;
}

DecodedReport decodeReport(AssembledReport&& report, const DecoderOptions& options)
{
    DecodedReport out;
    out.heading = std::move(report.heading);
    out.raw = std::move(report.raw);
    out.warnings = std::move(report.warnings);
    decodeInto(out, report, options);
    return out;
}

void decodeReport(const AssembledReport& report, DecodedReport& out, const DecoderOptions& options)
{
    // Made afresh, so that every value is reset whatever members the report
    // gains (assigning an empty report tested and copied each of them, which
    // cost a fifth of decoding); the buffers that nearly every report fills
    // again are taken over first and keep their capacity.
    std::string raw = std::move(out.raw), weatherText = std::move(out.presentWeatherText);
    std::vector<std::string> warnings = std::move(out.warnings);
    if (!warnings.empty() && warnings.back().capacity() > spareWarning().capacity())
        spareWarning() = std::move(warnings.back());
    std::vector<GroupMeaning> groups = std::move(out.groups);
    std::destroy_at(&out);
    std::construct_at(&out);
    out.raw = std::move(raw);
    out.presentWeatherText = std::move(weatherText);
    out.presentWeatherText.clear();
    out.warnings = std::move(warnings);
    out.groups = std::move(groups);
    out.groups.clear();
    out.heading = report.heading;
    out.raw = report.raw;
    out.warnings = report.warnings;
    decodeInto(out, report, options);
}

}  // namespace synop
