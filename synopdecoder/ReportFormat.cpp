#include "synopdecoder/ReportFormat.h"

#include "synopdecoder/FieldWriters.h"
#include "synopdecoder/ReportFieldsWalk.h"

namespace synop {

void appendJson(std::string& out, const DecodedReport& report)
{
    JsonWriter writer(out);
    writer.beginObject({});
    walkReportFields(report, writer, nullptr);
    writer.endObject();
}

std::string reportToJsonLine(const DecodedReport& report)
{
    std::string line;
    line.reserve(1024);
    appendJson(line, report);
    line += '\n';
    return line;
}

const std::vector<std::string>& firstCsvColumns()
{
    static const std::vector<std::string> columns = {
        "report_type", "station", "day", "hour", "month", "lat", "lon", "wind_unit", "wind_dir_deg", "wind_speed",
        "cloud_cover_okta", "visibility_m", "air_temp_c", "dew_point_c", "rel_humidity_pct", "max_temp_c",
        "min_temp_c", "station_pressure_hpa", "sea_level_pressure_hpa", "geopotential_hpa", "geopotential_m",
        "pressure_tendency", "pressure_change_hpa", "precip_mm", "precip_period_h", "precip_trace",
        "present_weather_code", "past_weather", "sea_surface_temp_c", "nil", "warnings", "raw",
        "header_ttaaii", "header_cccc", "header_yygggg", "header_bbb",
    };
    return columns;
}

const std::vector<std::string>& laterCsvColumns()
{
    static const std::vector<std::string> columns = {
        "precip_section3_mm", "precip_section3_period_h", "precip_section3_trace", "precip_24h_mm", "precip_24h_trace",
        "precip_indicator", "weather_indicator", "weather_code_table",
    };
    return columns;
}

const std::vector<std::string>& csvColumns()
{
    static const std::vector<std::string> columns = [] {
        std::vector<std::string> all = firstCsvColumns();
        all.insert(all.end(), laterCsvColumns().begin(), laterCsvColumns().end());
        return all;
    }();
    return columns;
}

std::string csvHeaderLine(const std::vector<std::string>& columns)
{
    std::string line;
    for (const std::string& column : columns) line.append(line.empty() ? "" : ",").append(column);
    return line + "\r\n";
}

std::string reportToCsvLine(const DecodedReport& report)
{
    CsvRow row(csvColumns());
    walkReportFields(report, row, nullptr);
    std::string line;
    row.appendTo(line);
    return line;
}

}  // namespace synop
