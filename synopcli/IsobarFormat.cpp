// --format isobars: the surface analysis of the reports written or read,
// as one GeoJSON FeatureCollection (RFC 7946): a LineString or
// MultiLineString per isobar with its pressure_hpa, a Point per high and
// low with its kind and pressure_hpa, and, as members of the collection,
// the hour analysed, the method's figures and every report the quality
// control rejected with the reason.
#include "OutputFormat.h"

#include "synopanalysis/SurfaceAnalysis.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

namespace synop::cli {
namespace {

double rounded(double v, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(v * scale) / scale;
}

double normalLongitude(double lon) { return lon - 360.0 * std::floor((lon + 180.0) / 360.0); }

QJsonArray position(const analysis::LatLon& p)
{
    return {rounded(normalLongitude(p.lon), 4), rounded(p.lat, 4)};
}

// A line in longitudes from -180 to 180: cut where it crosses the
// antimeridian, as RFC 7946 asks, so that no map draws it round the world.
std::vector<QJsonArray> pieces(const analysis::IsobarLine& line)
{
    std::vector<analysis::LatLon> points = line.points;
    if (line.closed && !points.empty()) points.push_back(points.front());
    std::vector<QJsonArray> out(1);
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0) {
            const double a = normalLongitude(points[i - 1].lon), b = normalLongitude(points[i].lon);
            if (std::fabs(b - a) > 180) {
                const double east = a > b ? 180.0 : -180.0;
                const double span = std::fabs(b - a);
                const double t = (180 - std::fabs(a)) / (360 - span);
                const double lat = points[i - 1].lat + t * (points[i].lat - points[i - 1].lat);
                out.back().append(QJsonArray{east, rounded(lat, 4)});
                out.emplace_back();
                out.back().append(QJsonArray{-east, rounded(lat, 4)});
            }
        }
        out.back().append(position(points[i]));
    }
    return out;
}

QJsonObject feature(const QJsonObject& geometry, const QJsonObject& properties)
{
    return {{QStringLiteral("type"), QStringLiteral("Feature")}, {QStringLiteral("geometry"), geometry},
            {QStringLiteral("properties"), properties}};
}

QJsonObject reportObject(const analysis::PressureReport& r)
{
    return {{QStringLiteral("station"), QString::fromStdString(r.station)},
            {QStringLiteral("form"), QString::fromLatin1(reportFormCode(r.form))},
            {QStringLiteral("observed"), r.observedUtc.toString(Qt::ISODate)},
            {QStringLiteral("coordinates"), position(r.place)},
            {QStringLiteral("pressure_hpa"), r.pressureHpa}};
}

class IsobarWriter : public ReportWriter {
public:
    explicit IsobarWriter(OutputSink sink) : sink_(std::move(sink)) {}

    void add(const DecodedReport& report, const StationPlace& place, std::optional<int64_t> observedMs) override
    {
        const QDateTime observedUtc = observedMs ? QDateTime::fromMSecsSinceEpoch(*observedMs, Qt::UTC) : QDateTime();
        if (auto r = analysis::pressureReport(report, place, observedUtc)) reports_.push_back(std::move(*r));
    }

    void end() override
    {
        analysis_ = analysis::analyseSurface(reports_);
        QJsonArray features;
        for (const analysis::Isobar& isobar : analysis_.isobars) {
            QJsonArray lines;
            for (const analysis::IsobarLine& line : isobar.lines)
                for (QJsonArray& piece : pieces(line))
                    if (piece.size() >= 2) lines.append(piece);
            if (lines.isEmpty()) continue;
            const bool one = lines.size() == 1;
            features.append(feature({{QStringLiteral("type"), one ? QStringLiteral("LineString") : QStringLiteral("MultiLineString")},
                                     {QStringLiteral("coordinates"), one ? lines.first() : QJsonValue(lines)}},
                                    {{QStringLiteral("pressure_hpa"), isobar.pressureHpa}}));
        }
        for (const analysis::PressureCentre& c : analysis_.centres)
            features.append(feature({{QStringLiteral("type"), QStringLiteral("Point")}, {QStringLiteral("coordinates"), position(c.place)}},
                                    {{QStringLiteral("kind"), QString(QLatin1Char(c.kind))},
                                     {QStringLiteral("pressure_hpa"), rounded(c.pressureHpa, 1)}}));
        QJsonArray rejected;
        for (const analysis::RejectedReport& r : analysis_.rejected) {
            QJsonObject o = reportObject(r.report);
            o.insert(QStringLiteral("reason"), QString::fromStdString(r.reason));
            rejected.append(o);
        }
        QJsonObject collection{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                               {QStringLiteral("features"), features},
                               {QStringLiteral("rejected"), rejected}};
        if (analysis_.hour.isValid()) collection.insert(QStringLiteral("hour"), analysis_.hour.toString(Qt::ISODate));
        collection.insert(QStringLiteral("reports_used"), int(analysis_.used.size()));
        collection.insert(QStringLiteral("reports_rejected"), int(analysis_.rejected.size()));
        if (analysis_.ok()) {
            collection.insert(QStringLiteral("method"),
                              QJsonObject{{QStringLiteral("name"), QStringLiteral("two-pass Barnes")},
                                          {QStringLiteral("station_spacing_km"), rounded(analysis_.setup.spacingKm, 1)},
                                          {QStringLiteral("kappa_km2"), rounded(analysis_.setup.kappaKm2, 0)},
                                          {QStringLiteral("gamma"), analysis::BarnesParameters{}.gamma},
                                          {QStringLiteral("search_radius_km"), rounded(analysis_.setup.searchRadiusKm, 1)},
                                          {QStringLiteral("mask_radius_km"), rounded(analysis_.setup.maskRadiusKm, 1)},
                                          {QStringLiteral("grid_step_deg"), analysis_.setup.grid.stepDeg},
                                          {QStringLiteral("fit_rms_hpa"), rounded(analysis_.fitRmsHpa, 2)}});
        } else {
            collection.insert(QStringLiteral("problem"), QString::fromStdString(analysis_.problem));
        }
        const QByteArray text = QJsonDocument(collection).toJson(QJsonDocument::Compact) + '\n';
        sink_(std::string_view(text.constData(), static_cast<size_t>(text.size())));
    }

    std::string summary() const override
    {
        if (!analysis_.ok()) return ", no analysis: " + analysis_.problem;
        return QStringLiteral(", analysis of %1: %2 reports used, %3 rejected, %4 isobars, field at the stations %5 hPa RMS")
            .arg(analysis_.hour.toString(QStringLiteral("yyyy-MM-dd HH 'UTC'")))
            .arg(analysis_.used.size())
            .arg(analysis_.rejected.size())
            .arg(analysis_.isobars.size())
            .arg(analysis_.fitRmsHpa, 0, 'f', 2)
            .toStdString();
    }

private:
    OutputSink sink_;
    std::vector<analysis::PressureReport> reports_;
    analysis::SurfaceAnalysis analysis_;
};

const OutputFormatRegistration kIsobars{
    {"isobars",
     "the surface analysis of the latest hour with enough reports (select one with --until; "
     "the hours before it give each station's tendency): isobars, highs and lows and the "
     "rejected reports as one GeoJSON FeatureCollection",
     [](OutputSink sink) { return std::make_unique<IsobarWriter>(std::move(sink)); }}};

}  // namespace
}  // namespace synop::cli
