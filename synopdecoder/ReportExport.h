#pragma once
// Reports written for other tools, with where each station is: CSV and JSON
// (the keys of ReportFormat plus name, country, position, elevation and the
// full observation time), GeoJSON (RFC 7946: one Point per report, [lon,
// lat]) and KML 2.2 (a placemark per report with its decoded values).
// Written as the reports come, so that no format needs the whole list.
#include "synopdecoder/Report.h"
#include "synopdecoder/StationPlace.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace synop {

class CsvRow;

enum class ExportFormat { Csv, JsonLines, JsonArray, GeoJson, Kml };

// The CSV columns: the report's, with the place's station_name, country,
// elevation_m and observed_utc (and lat, lon for land stations from the
// station list). JSON carries the same keys.
const std::vector<std::string>& exportedCsvColumns();

class ReportExporter {
public:
    // The bytes handed to the sink are valid for the call only. Reports are
    // handed on in batches of about 128 kB; flush() hands on what is held.
    using Sink = std::function<void(std::string_view)>;
    ReportExporter(ExportFormat format, Sink sink, std::string title = "SYNOP reports");
    ~ReportExporter();

    void begin();
    // observedMs: ms since 1970 UTC, none when unknown.
    void add(const DecodedReport& report, const StationPlace& place, std::optional<int64_t> observedMs = std::nullopt);
    void flush();
    void end();

    long written() const { return written_; }
    // GeoJSON and KML leave out reports without a position.
    long leftOut() const { return leftOut_; }

private:
    static constexpr size_t kBatch = 1 << 17;
    ExportFormat format_;
    Sink sink_;
    std::string title_;
    long written_ = 0;
    long leftOut_ = 0;
    std::string buffer_;  // reports not yet handed on
    std::unique_ptr<CsvRow> csv_;
};

}  // namespace synop
