#pragma once
// What storing a text in the station log costs SQLite alone: the rows and
// text of a log that pluvane-synop --store wrote, written again in this
// process into a new file (as the log writes them, and as bare blobs with
// no row per report), beside the JSON run of the same text.
#include <string>

namespace bench {

void storeFloorRows(const std::string& logPath, const std::string& workDir, double jsonSeconds, double librarySeconds);

}  // namespace bench
