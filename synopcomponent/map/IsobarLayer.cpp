#include "IsobarLayer.h"

#include <QFontMetricsF>
#include <QObject>
#include <QPainter>
#include <cmath>

namespace synop::map {

namespace {

const QColor kIsobar(0x3b, 0x4a, 0x8f);
const QColor kHigh(0x1d, 0x4f, 0xc4);
const QColor kLow(0xc4, 0x25, 0x25);
constexpr double kLabelSpacingPx = 320;
constexpr double kShortestLabelledPx = 90;

double nearLongitude(double lon) { return lon - 360.0 * std::floor((lon + 180.0) / 360.0); }

}  // namespace

void IsobarLayer::setAnalysis(Analysis analysis)
{
    analysis_ = std::move(analysis);
    pending_ = false;
    lines_.clear();
    if (!analysis_) return;
    for (const analysis::Isobar& isobar : analysis_->isobars)
        for (const analysis::IsobarLine& line : isobar.lines) {
            if (line.points.size() < 2) continue;
            // The grid's longitudes run on without a break; the line is
            // drawn in the world copy of its first point.
            const double shift = nearLongitude(line.points.front().lon) - line.points.front().lon;
            QPainterPath path;
            path.moveTo(line.points.front().lon + shift, mercatorY(line.points.front().lat));
            for (size_t i = 1; i < line.points.size(); ++i) path.lineTo(line.points[i].lon + shift, mercatorY(line.points[i].lat));
            if (line.closed) path.closeSubpath();
            lines_.push_back({isobar.pressureHpa, path, line.closed});
        }
}

void IsobarLayer::paint(QPainter& p, const MapView& view) const
{
    labelsDrawn_ = centresDrawn_ = 0;
    if (!visible_ || !analysis_) return;
    const QRectF screen(QPointF(0, 0), view.viewport());
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int shift = view.firstWorldShift(); shift <= view.lastWorldShift(); ++shift) {
        const QTransform t = view.mercatorToScreen(shift);
        QPen pen(kIsobar, 1.3);
        pen.setCosmetic(true);
        p.setTransform(t);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        for (const Line& line : lines_) p.drawPath(line.path);
        p.resetTransform();
        for (const Line& line : lines_) drawLabels(p, line, t, screen);
    }

    QFont big = p.font();
    big.setPixelSize(22);
    big.setBold(true);
    QFont small = p.font();
    small.setPixelSize(11);
    small.setBold(true);
    for (const analysis::PressureCentre& c : analysis_->centres) {
        const QPointF at = view.toScreen({c.place.lat, c.place.lon});
        if (!screen.adjusted(-30, -30, 30, 30).contains(at)) continue;
        const QColor colour = c.kind == 'H' ? kHigh : kLow;
        const QString letter(QLatin1Char(c.kind));
        const QString figures = QString::number(std::lround(c.pressureHpa));
        p.setFont(big);
        const QFontMetricsF mb(big);
        const QPointF letterAt = at + QPointF(-mb.horizontalAdvance(letter) / 2, mb.capHeight() / 2);
        QPainterPath halo;
        halo.addText(letterAt, big, letter);
        p.setPen(QPen(QColor(255, 255, 255, 220), 3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(halo);
        p.setPen(colour);
        p.drawText(letterAt, letter);
        p.setFont(small);
        const QFontMetricsF ms(small);
        const QRectF box(at.x() - ms.horizontalAdvance(figures) / 2 - 2, at.y() + mb.capHeight() / 2 + 3,
                         ms.horizontalAdvance(figures) + 4, ms.height());
        p.fillRect(box, QColor(255, 255, 255, 200));
        p.drawText(box, Qt::AlignCenter, figures);
        ++centresDrawn_;
    }
    p.restore();
}

void IsobarLayer::drawLabels(QPainter& p, const Line& line, const QTransform& t, const QRectF& screen) const
{
    // Along the line itself: a fill polygon would close an open line with a
    // straight piece that is no isobar.
    const QList<QPolygonF> pieces = line.path.toSubpathPolygons(t);
    if (pieces.isEmpty()) return;
    const QPolygonF& polygon = pieces.front();
    if (!polygon.boundingRect().intersects(screen)) return;
    double length = 0;
    for (int i = 1; i < polygon.size(); ++i) length += QLineF(polygon[i - 1], polygon[i]).length();
    if (length < kShortestLabelledPx) return;
    // One label on a short line, about every 320 px on a long one, none at its ends.
    const int count = std::max(1, int(length / kLabelSpacingPx));
    const double every = length / count;
    const QString text = QString::number(std::lround(line.pressureHpa));
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    const QFontMetricsF m(font);
    double travelled = 0, next = every / 2;
    for (int i = 1; i < polygon.size(); ++i) {
        const double piece = QLineF(polygon[i - 1], polygon[i]).length();
        while (piece > 0 && travelled + piece >= next) {
            const double f = (next - travelled) / piece;
            const QPointF at = polygon[i - 1] + f * (polygon[i] - polygon[i - 1]);
            next += every;
            if (!screen.adjusted(12, 12, -12, -12).contains(at)) continue;
            const QRectF box(at.x() - m.horizontalAdvance(text) / 2 - 2, at.y() - m.height() / 2,
                             m.horizontalAdvance(text) + 4, m.height());
            p.fillRect(box, QColor(255, 255, 255, 215));
            p.setPen(kIsobar);
            p.drawText(box, Qt::AlignCenter, text);
            ++labelsDrawn_;
        }
        travelled += piece;
    }
}

QString IsobarLayer::legend() const
{
    if (!visible_) return QObject::tr("Isobars hidden (I shows them)");
    if (pending_ && !analysis_) return QObject::tr("Isobars: analysing…");
    if (!analysis_) return QObject::tr("Isobars: no reports with a sea-level pressure yet");
    if (!analysis_->ok())
        return QObject::tr("Isobars: no analysis (%1)").arg(QString::fromStdString(analysis_->problem));
    const size_t used = analysis_->used.size();
    return QObject::tr("Isobars every 4 hPa, %1: %2 %3 used, %4 rejected%5")
        .arg(analysis_->hour.toString(QStringLiteral("d MMM yyyy HH 'UTC'")))
        .arg(used)
        .arg(used == 1 ? QObject::tr("report") : QObject::tr("reports"))
        .arg(analysis_->rejected.size())
        .arg(pending_ ? QObject::tr(" (updating)") : QString());
}

}  // namespace synop::map
