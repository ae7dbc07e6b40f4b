#pragma once
// What storing a text in the station log costs SQLite alone: the rows and
// text of a log that pluvane-synop --store wrote, written again in this
// process into a new file (as the log writes them, and as bare blobs with
// no row per report), beside the JSON run of the same text.
#include <functional>
#include <string>

namespace bench {

// jsonRun runs the tool's JSON run of the same text and answers its CPU seconds.
void storeFloorRows(const std::string& logPath, const std::string& workDir, const std::function<double()>& jsonRun,
                    double librarySeconds);

}  // namespace bench
