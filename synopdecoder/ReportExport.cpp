#include "synopdecoder/ReportExport.h"

#include "synopdecoder/ReportFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QXmlStreamWriter>

namespace synop {
namespace {

QString csvField(const QJsonValue& value)
{
    QString text;
    if (value.isString()) text = value.toString();
    else if (value.isBool()) text = value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    else if (value.isDouble()) text = QString::number(value.toDouble(), 'g', 10);
    else if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& item : value.toArray()) parts << (item.isNull() ? QString() : csvField(item));
        text = parts.join(QStringLiteral("; "));
    }
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r')) {
        text.replace(u'"', QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text;
}

QByteArray csvLine(const QJsonObject& o)
{
    const QJsonObject header = o.value(QStringLiteral("header")).toObject();
    QStringList fields;
    for (const QString& column : exportedCsvColumns()) {
        if (column.startsWith(QStringLiteral("header_"))) fields << csvField(header.value(column.mid(7)));
        else fields << csvField(o.value(column));
    }
    return fields.join(u',').toUtf8() + "\r\n";
}

// XML 1.0 has no place for most control characters, which a noisy
// teletype line can carry.
QString xmlSafe(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\t' && c != u'\r') c = QChar(0xfffd);
    return text;
}

QString valueText(const QJsonValue& value)
{
    if (value.isArray()) {
        QStringList parts;
        for (const QJsonValue& item : value.toArray()) parts << (item.isNull() ? QStringLiteral("/") : valueText(item));
        return parts.join(QStringLiteral(", "));
    }
    if (value.isDouble()) return QString::number(value.toDouble(), 'g', 10);
    if (value.isBool()) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return xmlSafe(value.toString());
}

// A placemark in the element order of the KML 2.2 schema: name,
// description, TimeStamp, ExtendedData, then the geometry.
QByteArray placemark(const QJsonObject& o, const DecodedReport& r, const StationPlace& place, const QDateTime& observed)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartElement(QStringLiteral("Placemark"));
    const QString station = QString::fromStdString(r.station);
    xml.writeTextElement(QStringLiteral("name"),
                         place.name.empty() ? station : station + QStringLiteral(" ") + QString::fromStdString(place.name));
    QStringList lines;
    for (auto it = o.begin(); it != o.end(); ++it)
        if (it.key() != QLatin1String("raw") && it.key() != QLatin1String("header") && it.key() != QLatin1String("warnings"))
            lines << it.key() + QStringLiteral(": ") + valueText(it.value());
    for (const std::string& w : r.warnings) lines << QStringLiteral("warning: ") + xmlSafe(QString::fromStdString(w));
    lines << xmlSafe(QString::fromStdString(r.raw));
    // Viewers render the description as HTML: one value a line.
    xml.writeTextElement(QStringLiteral("description"), lines.join(QStringLiteral("<br/>\n")));
    if (observed.isValid()) {
        xml.writeStartElement(QStringLiteral("TimeStamp"));
        xml.writeTextElement(QStringLiteral("when"), observed.toUTC().toString(Qt::ISODate));
        xml.writeEndElement();
    }
    xml.writeStartElement(QStringLiteral("ExtendedData"));
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (it.key() == QLatin1String("header")) continue;
        xml.writeStartElement(QStringLiteral("Data"));
        xml.writeAttribute(QStringLiteral("name"), it.key());
        xml.writeTextElement(QStringLiteral("value"), valueText(it.value()));
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("Point"));
    QString coordinates = QString::number(*place.lon, 'f', 4) + u',' + QString::number(*place.lat, 'f', 4);
    if (place.elevationM) coordinates += u',' + QString::number(*place.elevationM);
    xml.writeTextElement(QStringLiteral("coordinates"), coordinates);
    xml.writeEndElement();
    xml.writeEndElement();
    return out + '\n';
}

}  // namespace

QJsonObject exportedJson(const DecodedReport& r, const StationPlace& place, const QDateTime& observedUtc)
{
    QJsonObject o = reportToJson(r);
    if (!place.name.empty()) o.insert(QStringLiteral("station_name"), QString::fromStdString(place.name));
    if (!place.country.empty()) o.insert(QStringLiteral("country"), QString::fromStdString(place.country));
    if (place.hasPosition()) {
        o.insert(QStringLiteral("lat"), *place.lat);
        o.insert(QStringLiteral("lon"), *place.lon);
    }
    if (place.elevationM) o.insert(QStringLiteral("elevation_m"), *place.elevationM);
    if (observedUtc.isValid()) o.insert(QStringLiteral("observed_utc"), observedUtc.toUTC().toString(Qt::ISODate));
    return o;
}

const QStringList& exportedCsvColumns()
{
    // The decoder's columns first, so that readers of the older files still
    // find theirs where they were.
    static const QStringList columns = csvColumns() + QStringList{"station_name", "country", "elevation_m", "observed_utc"};
    return columns;
}

ReportExporter::ReportExporter(ExportFormat format, Sink sink, QString title)
    : format_(format), sink_(std::move(sink)), title_(std::move(title))
{
}

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
    const QJsonObject o = exportedJson(r, place, observedUtc);
    const bool geographic = format_ == ExportFormat::GeoJson || format_ == ExportFormat::Kml;
    if (geographic && !place.hasPosition()) {
        ++leftOut_;
        return;
    }
    const QByteArray separator = written_ ? "," : "";
    switch (format_) {
    case ExportFormat::Csv: sink_(csvLine(o)); break;
    case ExportFormat::JsonLines: sink_(QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n'); break;
    case ExportFormat::JsonArray: sink_(separator + "\n" + QJsonDocument(o).toJson(QJsonDocument::Compact)); break;
    case ExportFormat::GeoJson: {
        const QJsonObject feature{
            {QStringLiteral("type"), QStringLiteral("Feature")},
            {QStringLiteral("geometry"), QJsonObject{{QStringLiteral("type"), QStringLiteral("Point")},
                                                      {QStringLiteral("coordinates"), QJsonArray{*place.lon, *place.lat}}}},
            {QStringLiteral("properties"), o}};
        sink_(separator + "\n" + QJsonDocument(feature).toJson(QJsonDocument::Compact));
        break;
    }
    case ExportFormat::Kml: sink_(placemark(o, r, place, observedUtc)); break;
    }
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
