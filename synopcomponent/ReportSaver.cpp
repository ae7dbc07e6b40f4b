#include "ReportSaver.h"

#include <QSaveFile>

namespace synop {

SaveResult saveReports(const ReportListModel& model, const QString& path, ExportFormat format)
{
    SaveResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    bool writeFailed = false;
    ReportExporter exporter(format, [&](std::string_view bytes) {
        const auto size = static_cast<qint64>(bytes.size());
        if (!writeFailed && file.write(bytes.data(), size) != size) writeFailed = true;
    });
    exporter.begin();
    bool readFailed = false;
    if (model.log() && model.storedRows() > 0) {
        readFailed = !model.log()->forEach(model.storedFilter(), [&](const LoggedReport& r) {
            exporter.add(r.report, r.place, r.observedMs());
            return !writeFailed;
        });
    }
    for (int row = model.storedRows(); row < model.rowCount() && !writeFailed; ++row)
        if (const LoggedReport* r = model.report(row)) exporter.add(r->report, r->place, r->observedMs());
    exporter.end();
    if (writeFailed || readFailed) {
        result.error = readFailed ? model.log()->lastError() : file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.written = exporter.written();
    result.leftOut = exporter.leftOut();
    return result;
}

}  // namespace synop
