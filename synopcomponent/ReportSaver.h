#pragma once
// Writes the reports the list selects to a file in one piece (QSaveFile),
// reading them from the log as it goes: either the whole selection lands,
// or the old file stays and the reason comes back.
#include "ReportListModel.h"
#include "synopdecoder/ReportExport.h"

#include <QString>

namespace synop {

struct SaveResult {
    QString error;      // empty on success
    long written = 0;
    long leftOut = 0;   // without a position, for GeoJSON and KML
};

SaveResult saveReports(const ReportListModel& model, const QString& path, ExportFormat format);

}  // namespace synop
