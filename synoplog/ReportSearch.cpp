#include "ReportSearch.h"

#include "synopdecoder/CodeTables.h"

#include <QString>
#include <algorithm>

namespace synop {

std::string searchText(const DecodedReport& r, const StationPlace& place)
{
    std::string text = searchTextBeforeRaw(r, place);
    std::string raw = r.raw;
    lowerCase(raw);
    return text + raw;
}

std::string searchTextBeforeRaw(const DecodedReport& r, const StationPlace& place)
{
    std::string text = r.station + '\n' + place.name + '\n' + place.country + '\n';
    if (r.heading) text += r.heading->ttaaii + ' ' + r.heading->cccc + ' ' + r.heading->yygggg + ' ' + r.heading->bbb + '\n';
    text += r.presentWeatherText + '\n';
    if (r.lowCloud) text += std::string(tables::lowCloud(*r.lowCloud)) + '\n';
    if (r.middleCloud) text += std::string(tables::middleCloud(*r.middleCloud)) + '\n';
    if (r.highCloud) text += std::string(tables::highCloud(*r.highCloud)) + '\n';
    for (const std::string& w : r.warnings) text += w + '\n';
    if (r.nil) text += "nil\n";
    lowerCase(text);
    return text;
}

void lowerCase(std::string& text)
{
    // Most reports are ASCII through and through: lowered in place, which
    // gives what Qt's Unicode lowering gives them at a fraction of its cost.
    if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return;
    }
    text = QString::fromStdString(text).toLower().toStdString();
}

bool matches(const LoggedReport& r, const ReportFilter& f)
{
    if (!f.withHistory && r.supersededBy != 0) return false;
    if (r.id != 0 && (r.id <= f.afterId || (f.uptoId && r.id > f.uptoId))) return false;
    if (!f.withNil && r.report.nil) return false;
    if (f.onlyWarned && r.report.warnings.empty()) return false;
    if (f.form && r.report.form != *f.form) return false;
    QDateTime first = std::min(r.reportTime(), r.receivedUtc), last = std::max(r.reportTime(), r.receivedUtc);
    if (f.rangeOnObservation) first = last = r.reportTime();
    if (f.fromUtc.isValid() && last < f.fromUtc) return false;
    if (f.toUtc.isValid() && first > f.toUtc) return false;
    if (!f.station.isEmpty() && QString::fromStdString(r.report.station) != f.station) return false;
    if (!f.country.isEmpty() && QString::fromStdString(r.place.country).compare(f.country, Qt::CaseInsensitive) != 0)
        return false;
    if (!f.text.isEmpty() && searchText(r.report, r.place).find(f.text.toLower().toStdString()) == std::string::npos)
        return false;
    return true;
}

}  // namespace synop
