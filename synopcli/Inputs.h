#pragma once
// The two sources pluvane-synop writes from: teletype text decoded now
// (optionally stored in the station log), or the station log itself.
#include "OutputFormat.h"
#include "Selection.h"

#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QStringList>
#include <memory>

namespace synop {
class ReportLog;
}

namespace synop::cli {

struct DecodingRun {
    QStringList files;  // "-" is standard input
    QDateTime receivedUtc;
    DecoderOptions decoder;
    AssemblerOptions assembler;
    Selection selection;
    ReportWriter* writer = nullptr;  // null: store only
    ReportLog* log = nullptr;        // null: do not store
};

// Decodes the files in turn and writes and stores every report; prints the
// counts on standard error. Returns the exit status.
int decodeText(const DecodingRun& run);

// Writes the log's current readings that the selection accepts. Returns the exit status.
int writeFromLog(const ReportLog& log, const Selection& selection, ReportWriter& writer);

}  // namespace synop::cli
