#include "synopdecoder/ReportExport.h"

#include "synopdecoder/FieldWriters.h"
#include "synopdecoder/ReportFieldsWalk.h"
#include "synopdecoder/ReportFormat.h"

#include <QXmlStreamWriter>
#include <cstdio>

namespace synop {
namespace {

// XML text: the markup characters escaped, and the control characters a
// noisy teletype line can carry (XML 1.0 has no place for them) replaced.
void appendXml(std::string& out, std::string_view text)
{
    size_t run = 0;  // plain bytes, appended in one go
    auto markup = [](uint64_t x) {
        return bytesEqual(x, '&') | bytesEqual(x, '<') | bytesEqual(x, '>') | bytesEqual(x, '"') | controlBytes(x);
    };
    for (size_t i = firstFlagged(text, markup); i < text.size(); i = run + firstFlagged(text.substr(run), markup)) {
        const char c = text[i];
        const char* replacement = nullptr;
        switch (c) {
        case '&': replacement = "&amp;"; break;
        case '<': replacement = "&lt;"; break;
        case '>': replacement = "&gt;"; break;
        case '"': replacement = "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t' && c != '\r') replacement = "\xef\xbf\xbd";
        }
        out.append(text.data() + run, i - run);
        if (replacement) out.append(replacement);
        else out += c;  // a line end or a tab, which XML keeps
        run = i + 1;
    }
    out.append(text.data() + run, text.size() - run);
}

// The values of a placemark as text: one "key: value" line each for the
// description, and the same pairs for ExtendedData. Lists are joined by
// ", " (a figure not reported is "/"), nested objects by "; ".
class KmlValues final : public FieldSink {
public:
    struct Pair {
        std::string key, value;
    };
    std::vector<Pair> pairs;

    void integer(std::string_view key, long long value) override { add(key, std::to_string(value)); }
    void number(std::string_view key, double value) override
    {
        char text[32];
        add(key, std::string(text, writeTenDigits(text, value)));
    }
    void text(std::string_view key, std::string_view utf8) override { add(key, std::string(utf8)); }
    void boolean(std::string_view key, bool value) override { add(key, value ? "true" : "false"); }
    void null(std::string_view key) override { add(key, "/"); }
    void beginObject(std::string_view key) override { open(key, "; "); }
    void endObject() override { close(); }
    void beginArray(std::string_view key) override { open(key, ", "); }
    void endArray() override { close(); }

private:
    struct Open {
        const char* separator;
        bool started = false;
    };
    void add(std::string_view key, std::string value)
    {
        if (stack_.empty()) {
            pairs.push_back({std::string(key), std::move(value)});
            return;
        }
        std::string& into = pairs.back().value;
        if (stack_.back().started) into += stack_.back().separator;
        stack_.back().started = true;
        if (!key.empty() && stack_.back().separator[0] == ';') into.append(key).append(" ");
        into += value;
    }
    void open(std::string_view key, const char* separator)
    {
        if (stack_.empty()) pairs.push_back({std::string(key), {}});
        else add(key, {});
        stack_.push_back({separator});
    }
    void close() { stack_.pop_back(); }
    std::vector<Open> stack_;
};

void appendPlacemark(std::string& out, const DecodedReport& r, const StationPlace& place, const QDateTime& observed)
{
    KmlValues values;
    values.pairs.reserve(48);
    const PlaceFields placed{place, observed};
    writeReportFields(r, values, &placed);
    // The element order of the KML 2.2 schema: name, description, TimeStamp,
    // ExtendedData, then the geometry.
    out.append("  <Placemark>\n    <name>");
    appendXml(out, r.station);
    if (!place.name.empty()) {
        out += ' ';
        appendXml(out, place.name);
    }
    out.append("</name>\n    <description>");
    // Viewers render the description as HTML: one value a line. Escaped
    // piece by piece, which gives what escaping it whole would.
    for (const auto& [key, value] : values.pairs) {
        if (key == "raw" || key == "header" || key == "warnings") continue;
        appendXml(out, key);
        out.append(": ");
        appendXml(out, value);
        out.append("&lt;br/&gt;\n");
    }
    for (const std::string& w : r.warnings) {
        out.append("warning: ");
        appendXml(out, w);
        out.append("&lt;br/&gt;\n");
    }
    appendXml(out, r.raw);
    out.append("</description>\n");
    if (observed.isValid()) {
        out.append("    <TimeStamp><when>");
        appendIsoUtc(out, observed);
        out.append("</when></TimeStamp>\n");
    }
    out.append("    <ExtendedData>\n");
    for (const auto& [key, value] : values.pairs) {
        if (key == "header") continue;
        out.append("      <Data name=\"");
        appendXml(out, key);
        out.append("\"><value>");
        appendXml(out, value);
        out.append("</value></Data>\n");
    }
    out.append("    </ExtendedData>\n    <Point><coordinates>");
    char coordinates[64];
    int length = std::snprintf(coordinates, sizeof coordinates, "%.4f,%.4f", *place.lon, *place.lat);
    if (place.elevationM) length += std::snprintf(coordinates + length, sizeof coordinates - length, ",%d", *place.elevationM);
    out.append(coordinates, static_cast<size_t>(length));
    out.append("</coordinates></Point>\n  </Placemark>\n");
}

}  // namespace

QJsonObject exportedJson(const DecodedReport& r, const StationPlace& place, const QDateTime& observedUtc)
{
    JsonObjectBuilder builder;
    const PlaceFields placed{place, observedUtc};
    writeReportFields(r, builder, &placed);
    return builder.take();
}

const QStringList& exportedCsvColumns()
{
    // The decoder's first columns, then the place, then what came later, so
    // that readers of the older files still find theirs where they were.
    static const QStringList columns = firstCsvColumns() + QStringList{"station_name", "country", "elevation_m", "observed_utc"}
                                       + laterCsvColumns();
    return columns;
}

ReportExporter::ReportExporter(ExportFormat format, Sink sink, QString title)
    : format_(format), sink_(std::move(sink)), title_(std::move(title))
{
}

ReportExporter::~ReportExporter() = default;

void ReportExporter::begin()
{
    switch (format_) {
    case ExportFormat::Csv: sink_(exportedCsvColumns().join(u',').toUtf8() + "\r\n"); break;
    case ExportFormat::JsonLines: break;
    case ExportFormat::JsonArray: sink_("["); break;
    case ExportFormat::GeoJson: sink_("{\"type\":\"FeatureCollection\",\"features\":["); break;
    case ExportFormat::Kml: {
        QByteArray head;
        QXmlStreamWriter xml(&head);
        xml.writeStartDocument();
        xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
        xml.writeStartElement(QStringLiteral("kml"));
        xml.writeStartElement(QStringLiteral("Document"));
        xml.writeTextElement(QStringLiteral("name"), title_);
        sink_(head + '\n');
        break;
    }
    }
}

void ReportExporter::add(const DecodedReport& r, const StationPlace& place, const QDateTime& observedUtc)
{
    const bool geographic = format_ == ExportFormat::GeoJson || format_ == ExportFormat::Kml;
    if (geographic && !place.hasPosition()) {
        ++leftOut_;
        return;
    }
    buffer_.clear();  // keeps its capacity: no allocation per report once warm
    const PlaceFields placed{place, observedUtc};
    switch (format_) {
    case ExportFormat::Csv:
        if (!csv_) csv_ = std::make_unique<CsvRow>(exportedCsvColumns());
        csv_->clear();
        writeReportFields(r, *csv_, &placed);
        csv_->appendTo(buffer_);
        break;
    case ExportFormat::JsonLines:
    case ExportFormat::JsonArray: {
        if (format_ == ExportFormat::JsonArray) buffer_.append(written_ ? ",\n" : "\n");
        JsonWriter json(buffer_);
        json.beginObject({});
        walkReportFields(r, json, &placed);
        json.endObject();
        if (format_ == ExportFormat::JsonLines) buffer_ += '\n';
        break;
    }
    case ExportFormat::GeoJson: {
        buffer_.append(written_ ? ",\n" : "\n");
        buffer_.append("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[");
        JsonWriter::appendNumber(buffer_, *place.lon);
        buffer_ += ',';
        JsonWriter::appendNumber(buffer_, *place.lat);
        buffer_.append("]},\"properties\":");
        JsonWriter json(buffer_);
        json.beginObject({});
        walkReportFields(r, json, &placed);
        json.endObject();
        buffer_ += '}';
        break;
    }
    case ExportFormat::Kml: appendPlacemark(buffer_, r, place, observedUtc); break;
    }
    sink_(QByteArray::fromRawData(buffer_.data(), static_cast<qsizetype>(buffer_.size())));
    ++written_;
}

void ReportExporter::end()
{
    switch (format_) {
    case ExportFormat::Csv:
    case ExportFormat::JsonLines: break;
    case ExportFormat::JsonArray: sink_("\n]\n"); break;
    case ExportFormat::GeoJson: sink_("\n]}\n"); break;
    case ExportFormat::Kml: sink_("</Document>\n</kml>\n"); break;
    }
}

}  // namespace synop
