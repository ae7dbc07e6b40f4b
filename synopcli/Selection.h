#pragma once
// --since, --until and --station: which reports pluvane-synop writes, from
// the text it decodes or from the station log.
#include "synopdecoder/Report.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace synop::cli {

struct Selection {
    std::optional<int64_t> sinceMs, untilMs;  // observation time, ms since 1970 UTC, both ends included; none: open
    std::vector<std::string> stations;        // station indices, call signs or buoy numbers; empty: all

    bool accepts(const DecodedReport& report, std::optional<int64_t> observedMs) const
    {
        if ((sinceMs || untilMs) && !observedMs) return false;
        if (sinceMs && *observedMs < *sinceMs) return false;
        if (untilMs && *observedMs > *untilMs) return false;
        return stations.empty() || std::find(stations.begin(), stations.end(), report.station) != stations.end();
    }
};

}  // namespace synop::cli
