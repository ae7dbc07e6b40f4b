#pragma once
#include "synopdecoder/StreamAssembler.h"
#include "synopdecoder/SynopDecoder.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <string>
#include <vector>

namespace synop::testing {

// Feeds text in chunks of the given size (0: all at once) and decodes every report.
std::vector<DecodedReport> decodeText(const std::string& text, size_t chunkSize = 0, AssemblerOptions options = {});
// One land report under an AAXX line for day 8, 06 UTC, wind in m/s measured.
DecodedReport decodeLand(const std::string& report, const std::string& dateGroup = "08061");
QByteArray readCorpus(const char* name);
bool hasWarning(const DecodedReport& report, const std::string& part);
// The report's keys and values as a QJsonObject, built by a walk of its own
// over the fields: a second reading to hold the JSON writer's text against.
QJsonObject reportToJson(const DecodedReport& report);
// What an exporter hands on, gathered.
inline auto appendTo(QByteArray& out)
{
    return [&out](std::string_view bytes) { out.append(bytes.data(), static_cast<qsizetype>(bytes.size())); };
}

// A land station from the list, a ship at its reported position, a land
// station not in the list (no position) and one whose text has a control
// character in it.
extern const char kPlacedTraffic[];
// Every key a report's JSON object may have, and what the command line adds
// to each report: where the station is and when it observed.
extern const QSet<QString> kReportKeys;
extern const QSet<QString> kPlaceKeys;
// The structure RFC 7946 asks of a FeatureCollection of Points; fails the
// test on the first fault and gives back the features.
QJsonArray checkedGeoJsonPoints(const QByteArray& text);

}  // namespace synop::testing
