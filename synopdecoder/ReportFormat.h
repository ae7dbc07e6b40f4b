#pragma once
// The fixed output of decoded reports: one JSON object per report with keys
// and units that other tools rely on, or CSV with the same names as columns.
#include "synopdecoder/Report.h"

#include <string>
#include <vector>

namespace synop {

std::string reportToJsonLine(const DecodedReport& report);  // compact, ends with '\n'
// The same object appended to a buffer, without a line end.
void appendJson(std::string& out, const DecodedReport& report);

const std::vector<std::string>& csvColumns();
// The columns of the first version, which readers may find by position, and
// those added since: exports put their place columns between the two.
const std::vector<std::string>& firstCsvColumns();
const std::vector<std::string>& laterCsvColumns();
// The columns joined by commas, CR LF ended.
std::string csvHeaderLine(const std::vector<std::string>& columns = csvColumns());
std::string reportToCsvLine(const DecodedReport& report);

}  // namespace synop
