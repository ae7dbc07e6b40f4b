#include "synopdecoder/RepeatFilter.h"

#include "synopdecoder/GroupText.h"

#include <algorithm>

namespace synop {
namespace {

bool wellFormed(const std::string& g) { return (g.size() == 5 || g.size() == 3) && isCodedGroup(g, g.size()); }

// Every sound group of the later copy stands in the earlier one, in the
// same order: what differs was lost or garbled on the way. The earlier copy
// is its key, the groups joined by spaces.
bool isFadedCopy(const std::vector<std::string>& later, std::string_view earlier)
{
    size_t at = 0;
    for (const std::string& g : later) {
        if (!wellFormed(g)) continue;
        while (true) {
            if (at >= earlier.size()) return false;
            const size_t end = std::min(earlier.find(' ', at), earlier.size());
            const bool same = earlier.substr(at, end - at) == g;
            at = end + 1;
            if (same) break;
        }
    }
    return true;
}

}  // namespace

bool RepeatFilter::isRepeat(const AssembledReport& report)
{
    std::string stationKey = reportFormCode(report.form);
    stationKey += ' ';
    stationKey += report.landDateGroup;
    stationKey += ' ';
    if (!report.groups.empty()) stationKey += report.groups.front();
    std::string wholeKey = stationKey;
    for (size_t i = 1; i < report.groups.size(); ++i) {
        wholeKey += ' ';
        wholeKey += report.groups[i];
    }
    if (seen_.count(wholeKey)) return true;
    // A faded copy is known by its bulletin: the same heading again. Without
    // a heading, two reports of a station may be two observations. A
    // correction (BBB = CCx) may well leave groups out on purpose.
    if (report.heading) {
        const BulletinHeading& h = *report.heading;
        stationKey += ' ' + h.ttaaii + ' ' + h.cccc + ' ' + h.yygggg;
    }
    const bool correction = report.heading && !report.heading->bbb.empty() && report.heading->bbb[0] == 'C';
    const auto earlier = report.heading ? byStation_.find(stationKey) : byStation_.end();
    if (!correction && earlier != byStation_.end() && report.groups.size() > 1
        && isFadedCopy(report.groups, earlier->second))
        return true;

    seen_.insert(wholeKey);
    byStation_[stationKey] = wholeKey;
    order_.emplace_back(std::move(wholeKey), std::move(stationKey));
    if (order_.size() > capacity_) {
        const auto& [oldestWhole, oldestStation] = order_.front();
        seen_.erase(oldestWhole);
        const auto entry = byStation_.find(oldestStation);
        if (entry != byStation_.end() && entry->second == oldestWhole) byStation_.erase(entry);
        order_.pop_front();
    }
    return false;
}

}  // namespace synop
