#pragma once
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QByteArray>
#include <string>
#include <vector>

namespace synop::testing {

// Feeds text in chunks of the given size (0: all at once) and decodes every report.
std::vector<DecodedReport> decodeText(const std::string& text, size_t chunkSize = 0, AssemblerOptions options = {});
// One land report under an AAXX line for day 8, 06 UTC, wind in m/s measured.
DecodedReport decodeLand(const std::string& report, const std::string& dateGroup = "08061");
QByteArray readCorpus(const char* name);
bool hasWarning(const DecodedReport& report, const std::string& part);

}  // namespace synop::testing
