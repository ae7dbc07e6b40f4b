#pragma once
// Reports written for other tools, with where each station is: CSV and JSON
// (the keys of ReportFormat plus name, country, position, elevation and the
// full observation time), GeoJSON (RFC 7946: one Point per report, [lon,
// lat]) and KML 2.2 (a placemark per report with its decoded values).
// Written as the reports come, so that no format needs the whole list.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

namespace synop {

class CsvRow;

enum class ExportFormat { Csv, JsonLines, JsonArray, GeoJson, Kml };

// The report's JSON with the place keys: station_name, country, lat, lon
// (land stations from the station list), elevation_m, observed_utc.
QJsonObject exportedJson(const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc = {});
const QStringList& exportedCsvColumns();

class ReportExporter {
public:
    // The bytes handed to the sink are valid for the call only. Reports are
    // handed on in batches of about 128 kB; flush() hands on what is held.
    using Sink = std::function<void(const QByteArray&)>;
    ReportExporter(ExportFormat format, Sink sink, QString title = QStringLiteral("SYNOP reports"));
    ~ReportExporter();

    void begin();
    void add(const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc = {});
    void flush();
    void end();

    long written() const { return written_; }
    // GeoJSON and KML leave out reports without a position.
    long leftOut() const { return leftOut_; }

private:
    static constexpr size_t kBatch = 1 << 17;
    ExportFormat format_;
    Sink sink_;
    QString title_;
    long written_ = 0;
    long leftOut_ = 0;
    std::string buffer_;  // reports not yet handed on
    std::unique_ptr<CsvRow> csv_;
};

}  // namespace synop
