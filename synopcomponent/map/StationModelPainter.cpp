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

void StationModelPainter::drawModel(QPainter& p, QPointF at, const StationValues& v, double latitude) const
{
    // Whole pixels, so that the barb meets the circle copied from the sprites.
    const QPointF c(std::round(at.x()), std::round(at.y()));
    const double r = kRadius;
    // The barb goes under the circle so that the circle's edge stays clean.
    if (v.windKt && v.windFromDeg && !v.windVariable) {
        if (*v.windKt < 0.5 || *v.windFromDeg == 0) {
            sprites_.draw(p, c, QStringLiteral("calm"), QRectF(-r - 5, -r - 5, 2 * r + 10, 2 * r + 10), [](QPainter& q) {
                q.setPen(QPen(kInk, 1.1));
                q.setBrush(Qt::NoBrush);
                q.drawEllipse(QPointF(0, 0), kRadius + 3, kRadius + 3);
            });
        } else {
            // Directions come in whole degrees (tens, mostly) and speeds in feathers: few barbs repeat often.
            const Hemisphere side = latitude < 0 ? Hemisphere::South : Hemisphere::North;
            const BarbFeathers f = barbFeathers(*v.windKt);
            const QString key = QStringLiteral("B%1/%2.%3.%4/%5")
                                    .arg(*v.windFromDeg).arg(f.pennants).arg(f.barbs).arg(f.halfBarbs)
                                    .arg(side == Hemisphere::South ? 'S' : 'N');
            if (!sprites_.drawKnown(p, c, key)) {
                const BarbPaths barb = windBarb(*v.windFromDeg, *v.windKt, side);
                const QRectF bounds = (barb.lines.boundingRect() | barb.pennants.boundingRect()).adjusted(-2, -2, 2, 2);
                sprites_.draw(p, c, key, bounds, [&barb](QPainter& q) {
                    q.setPen(QPen(kInk, 1.2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
                    q.setBrush(Qt::NoBrush);
                    q.drawPath(barb.lines);
                    q.setPen(Qt::NoPen);
                    q.setBrush(kInk);
                    q.drawPath(barb.pennants);
                });
            }
        }
    }
    const QString okta = v.cloudOkta ? QString::number(*v.cloudOkta) : QStringLiteral("M");
    sprites_.draw(p, c, QLatin1Char('N') + okta, QRectF(-r - 1.5, -r - 1.5, 2 * r + 3, 2 * r + 3),
                  [okta = v.cloudOkta](QPainter& q) { drawCloudCover(q, QPointF(0, 0), kRadius, okta); });

    const double left = -r - 3, right = r + 3;
    const double upper = -5;              // baseline of the upper line
    const double lower = 5 + ascent_;     // baseline of the lower line
    const double middle = ascent_ / 2;
    // Figures: each a sprite of its own text at its own place around the circle.
    auto figure = [&](QChar place, const QString& text, const QColor& colour, double baseline, bool alignRight) {
        const QString key = place + text;
        if (sprites_.drawKnown(p, c, key)) return;
        const QFontMetricsF m(font_);
        const double width = m.horizontalAdvance(text);
        const double x = alignRight ? left - width : right;
        const QRectF bounds(x - 1, baseline - m.ascent() - 1, width + 2, m.ascent() + m.descent() + 2);
        sprites_.draw(p, c, key, bounds, [&](QPainter& q) {
            q.setFont(font_);
            q.setPen(colour);
            q.drawText(QPointF(x, baseline), text);
        });
    };
    if (v.airTempC) figure(QLatin1Char('T'), wholeDegrees(*v.airTempC), kTemperature, upper, true);
    if (v.dewPointC) figure(QLatin1Char('D'), wholeDegrees(*v.dewPointC), kDewPoint, lower, true);
    if (v.seaLevelPressureHpa) figure(QLatin1Char('P'), pressureFigures(*v.seaLevelPressureHpa), kInk, upper, false);
    if (v.pressureChangeHpa || v.pressureTendency) {
        const QString change = v.pressureChangeHpa ? pressureChangeFigures(*v.pressureChangeHpa) : QString();
        const int a = v.pressureTendency.value_or(-1);
        const QString key = QStringLiteral("A%1/%2").arg(change).arg(a);
        if (!sprites_.drawKnown(p, c, key)) {
            const QFontMetricsF m(font_);
            const double width = change.isEmpty() ? 0 : m.horizontalAdvance(change) + 1.5;
            const QRectF bounds(right - 1, middle - m.ascent(), width + 11, m.ascent() + m.descent() + 2);
            sprites_.draw(p, c, key, bounds, [&](QPainter& q) {
                q.setFont(font_);
                q.setPen(kInk);
                if (!change.isEmpty()) q.drawText(QPointF(right, middle + 1), change);
                if (a >= 0) drawTendency(q, QPointF(right + width, 1), 8, a);
            });
        }
    }
    drawWeather(p, c, v);
}

void StationModelPainter::drawWeather(QPainter& p, QPointF c, const StationValues& v) const
{
    const double r = kRadius;
    // Past weather, lower right: W1, then W2 when it says something else.
    double pastX = r + 7;
    for (const std::optional<int> w : {v.pastWeather1, v.pastWeather2 != v.pastWeather1 ? v.pastWeather2 : std::nullopt}) {
        if (!w) continue;
        const WeatherSymbol symbol = pastWeatherSymbol(*w, v.automaticWeather);
        if (symbol.family == WeatherFamily::None) continue;
        const QPointF centre(pastX, 15);
        const double u = 1.6;
        sprites_.draw(p, c, QStringLiteral("V%1.%2.%3").arg(*w).arg(int(v.automaticWeather)).arg(pastX),
                      QRectF(centre.x() - 3.6 * u, centre.y() - 3.6 * u, 7.2 * u, 7.2 * u),
                      [&](QPainter& q) { drawWeatherSymbol(q, centre, u, symbol); });
        pastX += 10;
    }
    if (v.presentWeather) {
        const WeatherSymbol symbol =
            v.automaticWeather ? automaticWeatherSymbol(*v.presentWeather) : mannedWeatherSymbol(*v.presentWeather);
        if (symbol.family != WeatherFamily::None) {
            const QPointF centre(-r - 13, 0);
            const double u = 2.3;
            const QString key = QStringLiteral("W%1.%2.%3.%4.%5")
                                    .arg(int(symbol.family))
                                    .arg(symbol.intensity)
                                    .arg(int(symbol.continuous))
                                    .arg(int(symbol.recent))
                                    .arg(int(symbol.withHail));
            sprites_.draw(p, c, key, QRectF(centre.x() - 3.6 * u, -3.6 * u, 7.2 * u, 7.2 * u),
                          [&](QPainter& q) { drawWeatherSymbol(q, centre, u, symbol); });
        }
    }
}

void StationModelPainter::drawDot(QPainter& p, QPointF c, const StationValues& v) const
{
    const std::optional<int> okta = v.cloudOkta ? std::optional<int>(std::min(*v.cloudOkta, 8)) : std::optional<int>(0);
    sprites_.draw(p, c, QStringLiteral("o%1").arg(*okta), QRectF(-4.5, -4.5, 9, 9),
                  [okta](QPainter& q) { drawCloudCover(q, QPointF(0, 0), 2.8, okta); });
}

void StationModelPainter::drawSelection(QPainter& p, QPointF c) const
{
    p.setPen(QPen(QColor(0xff, 0x80, 0x00), 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, kRadius + 6, kRadius + 6);
}

}  // namespace synop::map
