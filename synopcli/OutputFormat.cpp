#include "OutputFormat.h"

#include "synopdecoder/ReportExport.h"

namespace synop::cli {
namespace {

std::vector<OutputFormat>& registered()
{
    static std::vector<OutputFormat> formats;
    return formats;
}

// The exports the window's Save as menu writes too.
class ExportWriter : public ReportWriter {
public:
    ExportWriter(ExportFormat format, OutputSink sink) : exporter_(format, std::move(sink)) {}
    void begin() override { exporter_.begin(); }
    void add(const DecodedReport& report, const StationPlace& place, std::optional<int64_t> observedMs) override
    {
        exporter_.add(report, place, observedMs);
    }
    void flush() override { exporter_.flush(); }
    void end() override { exporter_.end(); }
    std::string summary() const override
    {
        return exporter_.leftOut() ? ", " + std::to_string(exporter_.leftOut()) + " without a position left out" : std::string();
    }

private:
    ReportExporter exporter_;
};

OutputFormat exportFormat(const char* name, const char* description, ExportFormat format)
{
    return {name, description,
            [format](OutputSink sink) { return std::make_unique<ExportWriter>(format, std::move(sink)); }};
}

}  // namespace

OutputFormatRegistration::OutputFormatRegistration(OutputFormat format) { registered().push_back(std::move(format)); }

const std::vector<OutputFormat>& outputFormats()
{
    static const std::vector<OutputFormat> all = [] {
        std::vector<OutputFormat> list = {
            exportFormat("json", "one JSON object a line (the default)", ExportFormat::JsonLines),
            exportFormat("csv", "a header line and one row a report", ExportFormat::Csv),
            exportFormat("geojson", "one FeatureCollection, a Point a report", ExportFormat::GeoJson),
            exportFormat("kml", "KML 2.2, a placemark a report", ExportFormat::Kml),
        };
        for (const OutputFormat& more : registered()) list.push_back(more);
        return list;
    }();
    return all;
}

const OutputFormat* outputFormat(std::string_view name)
{
    for (const OutputFormat& format : outputFormats())
        if (format.name == name) return &format;
    return nullptr;
}

}  // namespace synop::cli
