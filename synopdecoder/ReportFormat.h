#pragma once
// The fixed output of decoded reports: one JSON object per report with keys
// and units that other tools rely on, or CSV with the same names as columns.
#include "synopdecoder/Report.h"

#include <QByteArray>
#include <QJsonObject>
#include <QStringList>
#include <string>

namespace synop {

QJsonObject reportToJson(const DecodedReport& report);
QByteArray reportToJsonLine(const DecodedReport& report);  // compact, ends with '\n'
// The same object appended to a buffer, without a line end.
void appendJson(std::string& out, const DecodedReport& report);

const QStringList& csvColumns();
// The columns of the first version, which readers may find by position, and
// those added since: exports put their place columns between the two.
const QStringList& firstCsvColumns();
const QStringList& laterCsvColumns();
QByteArray csvHeaderLine();
QByteArray reportToCsvLine(const DecodedReport& report);

}  // namespace synop
