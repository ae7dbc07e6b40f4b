#pragma once
// Teletype text decoded now: read from files or standard input, each report
// written as it comes and, with --store, kept in the station log.
#include "OutputFormat.h"
#include "Selection.h"

#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace synop::cli {

// Where --store keeps the reports and the text they came in: the station
// log, which the tool that stores opens. A batch is one transaction.
class ReportStore {
public:
    virtual ~ReportStore() = default;
    virtual bool beginBatch() = 0;
    // False when storing failed; repeat says the log had the report already.
    virtual bool store(const AssembledReport& assembled, const DecodedReport& decoded, bool plausibilityChecks,
                       bool& repeat) = 0;
    virtual bool storeText(std::string_view text, const std::string& source) = 0;
    virtual bool commitBatch() = 0;
    virtual void rollbackBatch() = 0;
    virtual std::string lastError() const = 0;
    virtual std::string path() const = 0;
};

struct DecodingRun {
    std::vector<std::string> files;  // "-" is standard input
    int64_t receivedMs = 0;          // when the text was received, ms since 1970 UTC
    DecoderOptions decoder;
    AssemblerOptions assembler;
    Selection selection;
    ReportWriter* writer = nullptr;  // null: store only
    ReportStore* store = nullptr;    // null: do not store
};

// Decodes the files in turn and writes and stores every report; prints the
// counts on standard error. Returns the exit status.
int decodeText(const DecodingRun& run);

// The output's last bytes written out; a failed write said on standard error.
bool outputWritten();

}  // namespace synop::cli
