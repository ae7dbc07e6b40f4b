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
    void add(const DecodedReport& report, const StationPlace& place, const QDateTime& observedUtc) override
    {
        exporter_.add(report, place, observedUtc);
    }
    void flush() override { exporter_.flush(); }
    void end() override { exporter_.end(); }
    QString summary() const override
    {
        return exporter_.leftOut() ? QStringLiteral(", %1 without a position left out").arg(exporter_.leftOut()) : QString();
    }

private:
    ReportExporter exporter_;
};

OutputFormat exportFormat(const char* name, const char* description, ExportFormat format)
{
    return {QString::fromLatin1(name), QString::fromLatin1(description),
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

const OutputFormat* outputFormat(const QString& name)
{
    for (const OutputFormat& format : outputFormats())
        if (format.name == name) return &format;
    return nullptr;
}

}  // namespace synop::cli
