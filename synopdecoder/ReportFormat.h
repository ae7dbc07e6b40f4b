#pragma once
// The fixed output of decoded reports: one JSON object per report with keys
// and units that other tools rely on, or CSV with the same names as columns.
#include "synopdecoder/Report.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>

namespace synop {

QJsonObject reportToJson(const DecodedReport& report);
QByteArray reportToJsonLine(const DecodedReport& report);  // compact, ends with '\n'

const QStringList& csvColumns();
QByteArray csvHeaderLine();
QByteArray reportToCsvLine(const DecodedReport& report);

}  // namespace synop
