#pragma once
// Writes the report list to a file in one piece (QSaveFile): either the
// whole list lands, or the old file stays and the reason comes back.
#include "synopdecoder/Report.h"

#include <QString>
#include <deque>

namespace synop {

enum class SaveFormat { Csv, Json };

// Empty on success, otherwise why the file could not be written.
QString saveReports(const std::deque<DecodedReport>& reports, const QString& path, SaveFormat format);

}  // namespace synop
