#include "ReportSaver.h"

#include "synopdecoder/ReportFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace synop {

QString saveReports(const std::deque<DecodedReport>& reports, const QString& path, SaveFormat format)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return file.errorString();
    QByteArray content;
    if (format == SaveFormat::Csv) {
        content = csvHeaderLine();
        for (const DecodedReport& r : reports) content += reportToCsvLine(r);
    } else {
        QJsonArray list;
        for (const DecodedReport& r : reports) list.append(reportToJson(r));
        content = QJsonDocument(list).toJson(QJsonDocument::Indented);
    }
    if (file.write(content) != content.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return why;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace synop
