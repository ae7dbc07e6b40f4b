#pragma once
// What a report is found by: the same rule for reports in the log (in SQL)
// and for those the window holds in memory while the log cannot be written.
#include "LoggedReport.h"

#include <string>

namespace synop {

// Lower case: station, name, country, bulletin heading, weather, clouds,
// warnings and the raw text.
std::string searchText(const DecodedReport& report, const StationPlace& place);
// The same text up to the raw text, which searchText() ends with.
std::string searchTextBeforeRaw(const DecodedReport& report, const StationPlace& place);

bool matches(const LoggedReport& report, const ReportFilter& filter);

// As the filter compares: ASCII lowered in place, anything else through Qt.
void lowerCase(std::string& text);

}  // namespace synop
