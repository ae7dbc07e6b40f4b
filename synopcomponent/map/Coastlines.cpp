#include "Coastlines.h"

#include "MapView.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <vector>

static void initCoastlineResources() { Q_INIT_RESOURCE(coastlines); }

namespace synop::map {

namespace {

constexpr quint8 kLand = 0, kBorder = 2;
constexpr double kTolerances[] = {0, 0.03, 0.12, 0.5};

// Drops each point nearer than the tolerance to the last one kept (the
// ends stay): cheap, and at these tolerances indistinguishable on screen
// from a finer rule.
std::vector<QPointF> simplified(const std::vector<QPointF>& geo, double tolerance)
{
    if (tolerance <= 0 || geo.size() < 3) return geo;
    std::vector<QPointF> out{geo.front()};
    for (size_t i = 1; i + 1 < geo.size(); ++i) {
        const QPointF d = geo[i] - out.back();
        // A jump across the antimeridian is kept whatever its length.
        if (std::fabs(d.x()) > 180 || d.x() * d.x() + d.y() * d.y() > tolerance * tolerance) out.push_back(geo[i]);
    }
    out.push_back(geo.back());
    return out;
}

bool crossesAntimeridian(const QPointF& a, const QPointF& b) { return std::fabs(a.x() - b.x()) > 180; }

bool onSeam(const QPointF& a, const QPointF& b)
{
    // Polygons cut at the antimeridian or closed along the south pole carry
    // edges that are no coast.
    if (crossesAntimeridian(a, b)) return true;
    if (std::fabs(a.x()) > 179.99 && std::fabs(b.x()) > 179.99 && a.x() == b.x()) return true;
    return a.y() < -89.9 && b.y() < -89.9;
}

// A ring that crosses the antimeridian (Chukotka, Fiji) goes on past 180
// degrees rather than jumping back, so that it fills as one piece; the
// neighbouring copy of the world covers the overhang.
QPolygonF unwrappedRing(const std::vector<QPointF>& geo)
{
    QPolygonF ring;
    double offset = 0;
    for (size_t i = 0; i < geo.size(); ++i) {
        if (i > 0 && crossesAntimeridian(geo[i - 1], geo[i])) offset += geo[i - 1].x() > geo[i].x() ? 360 : -360;
        ring << QPointF(geo[i].x() + offset, mercatorY(geo[i].y()));
    }
    return ring;
}

void addPolyline(QPainterPath& path, const std::vector<QPointF>& geo, bool skipSeams)
{
    bool drawing = false;
    for (size_t i = 0; i < geo.size(); ++i) {
        const QPointF p(geo[i].x(), mercatorY(geo[i].y()));
        if (i > 0 && skipSeams && onSeam(geo[i - 1], geo[i])) drawing = false;
        if (!drawing) {
            path.moveTo(p);
            drawing = true;
        } else {
            path.lineTo(p);
        }
    }
}

}  // namespace

Coastlines Coastlines::fromData(const QByteArray& compressed)
{
    Coastlines c;
    const QByteArray data = qUncompress(compressed);
    if (data.size() < 12 || !data.startsWith("PLVCOAST") || qFromLittleEndian<quint32>(data.constData() + 8) != 1) return c;
    const char* at = data.constData() + 12;
    const char* end = data.constData() + data.size();
    std::vector<QPointF> geo;
    std::vector<CoastPaths> levels(std::size(kTolerances));
    for (size_t l = 0; l < levels.size(); ++l) levels[l].toleranceDeg = kTolerances[l];
    while (end - at >= 5) {
        const quint8 kind = quint8(*at);
        const quint32 n = qFromLittleEndian<quint32>(at + 1);
        at += 5;
        if (quint64(end - at) < quint64(n) * 4) return {};
        geo.clear();
        qint16 x = 0, y = 0;
        for (quint32 i = 0; i < n; ++i, at += 4) {
            // Differences wrap in 16 bits, as the converter wrote them.
            x = qint16(quint16(x) + qFromLittleEndian<quint16>(at));
            y = qint16(quint16(y) + qFromLittleEndian<quint16>(at + 2));
            geo.emplace_back(x / 100.0, y / 100.0);
        }
        for (CoastPaths& level : levels) {
            const std::vector<QPointF> line = simplified(geo, level.toleranceDeg);
            if (kind == kLand && line.size() >= 4) {  // an island smaller than the tolerance goes
                level.land.addPolygon(unwrappedRing(line));
                level.land.closeSubpath();
                addPolyline(level.coast, line, true);
            } else if (kind == kBorder) {
                addPolyline(level.borders, line, false);
            }
        }
        c.points += int(n);
    }
    for (CoastPaths& level : levels) level.land.setFillRule(Qt::OddEvenFill);
    c.levels = std::move(levels);
    return c;
}

const CoastPaths& Coastlines::atScale(double pixelsPerDegree) const
{
    static const CoastPaths empty;
    if (levels.empty()) return empty;
    const double allowed = 1.0 / std::max(pixelsPerDegree, 1e-6);
    size_t pick = 0;
    for (size_t l = 0; l < levels.size(); ++l)
        if (levels[l].toleranceDeg <= allowed) pick = l;
    return levels[pick];
}

const Coastlines& Coastlines::builtIn()
{
    static const Coastlines coastlines = [] {
        initCoastlineResources();
        QFile file(QStringLiteral(":/synop/map/coastlines.bin"));
        return file.open(QIODevice::ReadOnly) ? fromData(file.readAll()) : Coastlines{};
    }();
    return coastlines;
}

}  // namespace synop::map
