#include "StationModelPainter.h"

#include "WeatherSymbols.h"
#include "WindBarb.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace synop::map {

namespace {

constexpr double kRadius = 4.5;
const QColor kInk(0x10, 0x10, 0x10);
const QColor kTemperature(0xb0, 0x10, 0x10);
const QColor kDewPoint(0x00, 0x70, 0x20);

QString wholeDegrees(double c)
{
    const long v = std::lround(c);
    return QString::number(v == 0 ? 0L : v);  // never "-0"
}

}  // namespace

StationModelPainter::StationModelPainter() : font_(QStringLiteral("DejaVu Sans"))
{
    font_.setPixelSize(11);
    font_.setStyleHint(QFont::SansSerif);
    ascent_ = QFontMetricsF(font_).ascent();
}

void drawCloudCover(QPainter& p, QPointF c, double r, std::optional<int> okta)
{
    const QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(Qt::white);
    p.drawEllipse(box);
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    auto pie = [&](int startDeg, int spanDeg) { p.drawPie(box, startDeg * 16, spanDeg * 16); };
    auto line = [&](QPointF a, QPointF b) {
        p.setPen(QPen(kInk, 1.1));
        p.drawLine(a, b);
        p.setPen(Qt::NoPen);
    };
    if (!okta) {
        // Missing: the M of plotted charts.
        p.setPen(QPen(kInk, 0.9));
        const double h = r * 0.5;
        p.drawPolyline(QPolygonF{c + QPointF(-h, h), c + QPointF(-h, -h), c + QPointF(0, 0.2 * h), c + QPointF(h, -h),
                                 c + QPointF(h, h)});
        return;
    }
    switch (*okta) {
    case 0: break;
    case 1: line(c + QPointF(0, -r), c + QPointF(0, r)); break;
    case 2: pie(0, 90); break;
    case 3: pie(0, 90); line(c, c + QPointF(0, r)); break;
    case 4: pie(-90, 180); break;
    case 5: pie(-90, 180); line(c, c + QPointF(-r, 0)); break;
    case 6: pie(-180, 270); break;
    case 7:
        pie(0, 360);
        p.setPen(QPen(Qt::white, std::max(1.2, r * 0.35)));
        p.drawLine(c + QPointF(0, -r * 0.85), c + QPointF(0, r * 0.85));
        break;
    case 8: pie(0, 360); break;
    default: {  // 9: sky obscured
        const double d = r * 0.7;
        line(c + QPointF(-d, -d), c + QPointF(d, d));
        line(c + QPointF(-d, d), c + QPointF(d, -d));
        break;
    }
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kInk, 1.1));
    p.drawEllipse(box);
}

void drawTendency(QPainter& p, QPointF at, double s, int a)
{
    // Code table 0200 pictograms, drawn in a box s wide and s high.
    const double h = s / 2;
    auto pt = [&](double x, double y) { return at + QPointF(x * s, -y * h); };  // y in -1..1, up positive
    QPolygonF line;
    switch (a) {
    case 0: line = {pt(0, -0.6), pt(0.4, 0.6), pt(1, -0.2)}; break;   // rising, then falling
    case 1: line = {pt(0, -0.6), pt(0.5, 0.6), pt(1, 0.6)}; break;    // rising, then steady
    case 2: line = {pt(0, -0.8), pt(1, 0.8)}; break;                  // rising
    case 3: line = {pt(0, -0.8), pt(0.5, 0), pt(1, 0.8)}; break;      // falling or steady, then rising
    case 4: line = {pt(0, 0), pt(1, 0)}; break;                       // steady
    case 5: line = {pt(0, 0.6), pt(0.4, -0.6), pt(1, 0.2)}; break;    // falling, then rising
    case 6: line = {pt(0, 0.6), pt(0.5, -0.6), pt(1, -0.6)}; break;   // falling, then steady
    case 7: line = {pt(0, 0.8), pt(1, -0.8)}; break;                  // falling
    case 8: line = {pt(0, 0.8), pt(0.5, 0), pt(1, -0.8)}; break;      // steady or rising, then falling
    default: return;
    }
    p.setPen(QPen(kInk, 1.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(line);
}

void StationModelPainter::drawModel(QPainter& p, QPointF c, const StationValues& v, double latitude) const
{
    // The barb goes under the circle so that the circle's edge stays clean.
    if (v.windKt && v.windFromDeg && !v.windVariable) {
        if (*v.windKt < 0.5 || *v.windFromDeg == 0) {
            p.setPen(QPen(kInk, 1.1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, kRadius + 3, kRadius + 3);  // calm
        } else {
            const BarbPaths barb =
                windBarb(*v.windFromDeg, *v.windKt, latitude < 0 ? Hemisphere::South : Hemisphere::North);
            p.save();
            p.translate(c);
            p.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(barb.lines);
            p.setPen(Qt::NoPen);
            p.setBrush(kInk);
            p.drawPath(barb.pennants);
            p.restore();
        }
    }
    drawCloudCover(p, c, kRadius, v.cloudOkta);

    p.setFont(font_);
    const QFontMetricsF metrics(font_);
    const double left = c.x() - kRadius - 3;
    const double right = c.x() + kRadius + 3;
    const double upper = c.y() - 5;                    // baseline of the upper line
    const double lower = c.y() + 5 + ascent_;          // baseline of the lower line
    const double middle = c.y() + ascent_ / 2 - 1;
    if (v.airTempC) {
        const QString t = wholeDegrees(*v.airTempC);
        p.setPen(kTemperature);
        p.drawText(QPointF(left - metrics.horizontalAdvance(t), upper), t);
    }
    if (v.dewPointC) {
        const QString t = wholeDegrees(*v.dewPointC);
        p.setPen(kDewPoint);
        p.drawText(QPointF(left - metrics.horizontalAdvance(t), lower), t);
    }
    if (v.seaLevelPressureHpa) {
        p.setPen(kInk);
        p.drawText(QPointF(right, upper), pressureFigures(*v.seaLevelPressureHpa));
    }
    if (v.pressureChangeHpa || v.pressureTendency) {
        double x = right;
        if (v.pressureChangeHpa) {
            const QString t = pressureChangeFigures(*v.pressureChangeHpa);
            p.setPen(kInk);
            p.drawText(QPointF(x, middle + 1), t);
            x += metrics.horizontalAdvance(t) + 1.5;
        }
        if (v.pressureTendency) drawTendency(p, QPointF(x, c.y() + 1), 7, *v.pressureTendency);
    }
    if (v.presentWeather) {
        const WeatherSymbol symbol =
            v.automaticWeather ? automaticWeatherSymbol(*v.presentWeather) : mannedWeatherSymbol(*v.presentWeather);
        drawWeatherSymbol(p, QPointF(c.x() - kRadius - 10, c.y()), 1.8, symbol);
    }
}

void StationModelPainter::drawDot(QPainter& p, QPointF c, const StationValues& v) const
{
    drawCloudCover(p, c, 2.8, v.cloudOkta ? std::optional<int>(std::min(*v.cloudOkta, 8)) : std::optional<int>(0));
}

void StationModelPainter::drawSelection(QPainter& p, QPointF c) const
{
    p.setPen(QPen(QColor(0xff, 0x80, 0x00), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, kRadius + 6, kRadius + 6);
}

}  // namespace synop::map
