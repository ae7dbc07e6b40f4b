#pragma once
// Reports cut from teletype text as the component cuts them, and a log in a
// folder of its own that goes away with the test.
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <string>
#include <utility>
#include <vector>

namespace synop::testing {

using Cut = std::pair<AssembledReport, DecodedReport>;

std::vector<Cut> cutReports(const std::string& text);
QDateTime utcAt(const char* isoText);  // "2026-12-08T06:20:00"

// A land bulletin for one day and hour: station indices 10000 + i, with
// values that vary with i; bbb "CCA" and the like for a correction.
std::string landBulletin(int day, int hour, int stations, const std::string& bbb = {}, int variant = 0);

}  // namespace synop::testing
