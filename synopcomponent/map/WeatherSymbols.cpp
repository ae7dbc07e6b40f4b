#include "WeatherSymbols.h"

#include <QPainter>
#include <QPainterPath>
#include <vector>

namespace synop::map {

namespace {

using F = WeatherFamily;

const QColor kPrecipitation(0x00, 0x8a, 0x2e);
const QColor kFrozen(0x1f, 0x4f, 0xd0);
const QColor kThunder(0xc8, 0x10, 0x10);
const QColor kObscuring(0x9a, 0x8a, 0x20);
const QColor kDust(0x8b, 0x5a, 0x2b);

struct Pen {
    QPainter& p;
    double u;
    void stroke(const QPainterPath& path, const QColor& colour, double width = 0.28)
    {
        p.setPen(QPen(colour, std::max(1.0, u * width), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
    void fill(const QPainterPath& path, const QColor& colour)
    {
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawPath(path);
    }
};

void dot(Pen& pen, QPointF c, const QColor& colour)
{
    QPainterPath path;
    path.addEllipse(c, pen.u * 0.7, pen.u * 0.7);
    pen.fill(path, colour);
}

void comma(Pen& pen, QPointF c, const QColor& colour)
{
    dot(pen, c, colour);
    QPainterPath tail;
    const double u = pen.u;
    tail.moveTo(c + QPointF(u * 0.5, 0));
    tail.quadTo(c + QPointF(u * 0.5, u * 1.0), c + QPointF(-u * 0.3, u * 1.3));
    pen.stroke(tail, colour, 0.3);
}

void star(Pen& pen, QPointF c, const QColor& colour)
{
    const double r = pen.u * 0.75;
    QPainterPath path;
    for (const QPointF d : {QPointF(0, 1), QPointF(0.87, 0.5), QPointF(0.87, -0.5)}) {
        path.moveTo(c + d * r);
        path.lineTo(c - d * r);
    }
    pen.stroke(path, colour, 0.25);
}

using Glyph = void (*)(Pen&, QPointF, const QColor&);

// The WMO arrangement of dots, commas and stars: intermittent slight one,
// continuous slight two abreast, intermittent moderate two stacked,
// continuous moderate three, intermittent heavy three stacked, continuous heavy four.
std::vector<QPointF> glyphLayout(int intensity, bool continuous)
{
    const int i = std::clamp(intensity, 1, 3);
    if (!continuous) {
        if (i == 1) return {{0, 0}};
        if (i == 2) return {{0, -0.8}, {0, 0.8}};
        return {{0, -1.5}, {0, 0}, {0, 1.5}};
    }
    if (i == 1) return {{-0.8, 0}, {0.8, 0}};
    if (i == 2) return {{0, -0.8}, {-0.9, 0.7}, {0.9, 0.7}};
    return {{0, -1.5}, {-0.9, 0}, {0.9, 0}, {0, 1.5}};
}

void glyphs(Pen& pen, QPointF c, Glyph glyph, const QColor& colour, const WeatherSymbol& s)
{
    for (const QPointF& d : glyphLayout(s.intensity, s.continuous)) glyph(pen, c + d * (pen.u * 1.4), colour);
}

void horizontalLines(Pen& pen, QPointF c, int count, bool broken)
{
    const double u = pen.u;
    QPainterPath path;
    for (int i = 0; i < count; ++i) {
        const double y = c.y() + (i - (count - 1) / 2.0) * u * 0.9;
        if (broken) {
            path.moveTo(c.x() - 2 * u, y);
            path.lineTo(c.x() - 0.4 * u, y);
            path.moveTo(c.x() + 0.4 * u, y);
            path.lineTo(c.x() + 2 * u, y);
        } else {
            path.moveTo(c.x() - 2 * u, y);
            path.lineTo(c.x() + 2 * u, y);
        }
    }
    pen.stroke(path, kObscuring, 0.3);
}

void infinity(Pen& pen, QPointF c, const QColor& colour)
{
    const double u = pen.u;
    QPainterPath path;
    path.moveTo(c);
    path.cubicTo(c + QPointF(u, -1.3 * u), c + QPointF(2.2 * u, -0.6 * u), c + QPointF(2.2 * u, 0));
    path.cubicTo(c + QPointF(2.2 * u, 0.6 * u), c + QPointF(u, 1.3 * u), c);
    path.cubicTo(c + QPointF(-u, -1.3 * u), c + QPointF(-2.2 * u, -0.6 * u), c + QPointF(-2.2 * u, 0));
    path.cubicTo(c + QPointF(-2.2 * u, 0.6 * u), c + QPointF(-u, 1.3 * u), c);
    pen.stroke(path, colour, 0.28);
}

void letterS(Pen& pen, QPointF c, bool storm)
{
    const double u = pen.u;
    QPainterPath path;
    path.moveTo(c + QPointF(1.0 * u, -1.4 * u));
    path.cubicTo(c + QPointF(-1.6 * u, -2.0 * u), c + QPointF(-1.6 * u, 0), c);
    path.cubicTo(c + QPointF(1.6 * u, 0), c + QPointF(1.6 * u, 2.0 * u), c + QPointF(-1.0 * u, 1.4 * u));
    if (storm) {  // the arrow of a storm runs through the letter
        path.moveTo(c + QPointF(-2.2 * u, 0));
        path.lineTo(c + QPointF(2.2 * u, 0));
        path.lineTo(c + QPointF(1.5 * u, -0.6 * u));
        path.moveTo(c + QPointF(2.2 * u, 0));
        path.lineTo(c + QPointF(1.5 * u, 0.6 * u));
    }
    pen.stroke(path, kDust, 0.3);
}

// Downward triangle of a shower with what falls drawn above it.
void shower(Pen& pen, QPointF c, const WeatherSymbol& s)
{
    const double u = pen.u;
    QPainterPath triangle;
    const QPointF top = c + QPointF(0, 0.2 * u);
    triangle.moveTo(top + QPointF(-1.3 * u, 0));
    triangle.lineTo(top + QPointF(1.3 * u, 0));
    triangle.lineTo(top + QPointF(0, 2.2 * u));
    triangle.closeSubpath();
    const QColor colour = s.family == F::RainShower ? kPrecipitation : kFrozen;
    if (s.intensity >= 2) pen.fill(triangle, colour); else pen.stroke(triangle, colour);
    const QPointF above = c + QPointF(0, -1.2 * u);
    if (s.family == F::RainShower) dot(pen, above, kPrecipitation);
    else if (s.family == F::SnowShower) star(pen, above, kFrozen);
    else {
        QPainterPath hail;
        hail.moveTo(above + QPointF(0, -0.9 * u));
        hail.lineTo(above + QPointF(0.9 * u, 0.6 * u));
        hail.lineTo(above + QPointF(-0.9 * u, 0.6 * u));
        hail.closeSubpath();
        pen.fill(hail, kFrozen);
    }
}

// The thunderstorm's bracket with its lightning arrow, and what falls above it.
void thunderstorm(Pen& pen, QPointF c, const WeatherSymbol& s)
{
    const double u = pen.u;
    QPainterPath path;
    path.moveTo(c + QPointF(-1.6 * u, 2.0 * u));
    path.lineTo(c + QPointF(-1.6 * u, -0.8 * u));
    path.lineTo(c + QPointF(1.6 * u, -0.8 * u));
    path.lineTo(c + QPointF(0.4 * u, 0.7 * u));
    path.lineTo(c + QPointF(1.4 * u, 0.7 * u));
    path.lineTo(c + QPointF(0.4 * u, 2.0 * u));
    QPainterPath head;
    head.moveTo(c + QPointF(0.4 * u, 2.2 * u));
    head.lineTo(c + QPointF(0.2 * u, 1.3 * u));
    head.lineTo(c + QPointF(0.95 * u, 1.6 * u));
    head.closeSubpath();
    pen.stroke(path, kThunder, s.intensity >= 3 ? 0.45 : 0.3);
    pen.fill(head, kThunder);
    const QPointF above = c + QPointF(0, -2.0 * u);
    if (s.withHail) {
        QPainterPath hail;
        hail.moveTo(above + QPointF(0, -0.8 * u));
        hail.lineTo(above + QPointF(0.8 * u, 0.5 * u));
        hail.lineTo(above + QPointF(-0.8 * u, 0.5 * u));
        hail.closeSubpath();
        pen.fill(hail, kFrozen);
    } else if (s.intensity > 0) {
        dot(pen, above, kPrecipitation);
    }
}

// The wave of freezing precipitation under its drops.
void freezing(Pen& pen, QPointF c, Glyph glyph, const WeatherSymbol& s)
{
    const double u = pen.u;
    QPainterPath wave;
    wave.moveTo(c + QPointF(-2.2 * u, 0.3 * u));
    wave.cubicTo(c + QPointF(-1.4 * u, -1.8 * u), c + QPointF(-0.4 * u, -1.8 * u), c + QPointF(0, 0.3 * u));
    wave.cubicTo(c + QPointF(0.4 * u, 2.2 * u), c + QPointF(1.4 * u, 2.2 * u), c + QPointF(2.2 * u, 0.3 * u));
    pen.stroke(wave, kFrozen, 0.28);
    glyph(pen, c + QPointF(-1.1 * u, 0.2 * u), kPrecipitation);
    if (s.intensity >= 2) glyph(pen, c + QPointF(1.1 * u, 0.0), kPrecipitation);
}

void stacked(Pen& pen, QPointF c, Glyph upper, const QColor& upperColour, Glyph lower, const QColor& lowerColour)
{
    upper(pen, c + QPointF(0, -0.9 * pen.u), upperColour);
    lower(pen, c + QPointF(0, 0.9 * pen.u), lowerColour);
}

}  // namespace

void drawWeatherSymbol(QPainter& painter, QPointF c, double unit, const WeatherSymbol& s)
{
    Pen pen{painter, unit};
    const double u = unit;
    switch (s.family) {
    case F::None: return;
    case F::Haze: infinity(pen, c, kObscuring); break;
    case F::Smoke: {
        QPainterPath path;
        path.moveTo(c + QPointF(0, 2 * u));
        path.cubicTo(c + QPointF(-1.2 * u, 0.8 * u), c + QPointF(1.2 * u, -0.8 * u), c + QPointF(0, -2 * u));
        pen.stroke(path, kDust, 0.3);
        break;
    }
    case F::DustSand: letterS(pen, c, false); break;
    case F::DustStorm: letterS(pen, c, true); break;
    case F::Mist: horizontalLines(pen, c, 2, false); break;
    case F::ShallowFog: horizontalLines(pen, c, 2, true); break;
    case F::Fog: horizontalLines(pen, c, 3, false); break;
    case F::Lightning: {
        QPainterPath path;
        path.moveTo(c + QPointF(1.2 * u, -2 * u));
        path.lineTo(c + QPointF(-1.0 * u, 0));
        path.lineTo(c + QPointF(1.0 * u, 0));
        path.lineTo(c + QPointF(-1.2 * u, 2 * u));
        pen.stroke(path, kThunder, 0.3);
        break;
    }
    case F::PrecipitationInSight: {
        QPainterPath brackets;
        brackets.moveTo(c + QPointF(-1.0 * u, -1.6 * u));
        brackets.quadTo(c + QPointF(-2.2 * u, 0), c + QPointF(-1.0 * u, 1.6 * u));
        brackets.moveTo(c + QPointF(1.0 * u, -1.6 * u));
        brackets.quadTo(c + QPointF(2.2 * u, 0), c + QPointF(1.0 * u, 1.6 * u));
        pen.stroke(brackets, kPrecipitation, 0.25);
        dot(pen, c, kPrecipitation);
        break;
    }
    case F::Squall: {
        QPainterPath path;
        path.moveTo(c + QPointF(-1.4 * u, -1.8 * u));
        path.lineTo(c + QPointF(0, 1.8 * u));
        path.lineTo(c + QPointF(1.4 * u, -1.8 * u));
        pen.stroke(path, kThunder, 0.35);
        break;
    }
    case F::Funnel: {
        QPainterPath path;
        path.moveTo(c + QPointF(-1.6 * u, -2 * u));
        path.quadTo(c + QPointF(-0.2 * u, 0), c + QPointF(-1.6 * u, 2 * u));
        path.moveTo(c + QPointF(1.6 * u, -2 * u));
        path.quadTo(c + QPointF(0.2 * u, 0), c + QPointF(1.6 * u, 2 * u));
        pen.stroke(path, kThunder, 0.35);
        break;
    }
    case F::Drizzle: glyphs(pen, c, comma, kPrecipitation, s); break;
    case F::Rain: glyphs(pen, c, dot, kPrecipitation, s); break;
    case F::Snow: glyphs(pen, c, star, kFrozen, s); break;
    case F::FreezingDrizzle: freezing(pen, c, comma, s); break;
    case F::FreezingRain: freezing(pen, c, dot, s); break;
    case F::DrizzleAndRain: stacked(pen, c, comma, kPrecipitation, dot, kPrecipitation); break;
    case F::RainAndSnow: stacked(pen, c, dot, kPrecipitation, star, kFrozen); break;
    case F::IcePellets: {
        QPainterPath triangle;
        triangle.moveTo(c + QPointF(0, -1.6 * u));
        triangle.lineTo(c + QPointF(1.5 * u, 1.2 * u));
        triangle.lineTo(c + QPointF(-1.5 * u, 1.2 * u));
        triangle.closeSubpath();
        pen.stroke(triangle, kFrozen);
        dot(pen, c + QPointF(0, 0.3 * u), kFrozen);
        break;
    }
    case F::BlowingSnow: {
        QPainterPath arrow;
        arrow.moveTo(c + QPointF(-2.2 * u, 0.8 * u));
        arrow.lineTo(c + QPointF(2.2 * u, 0.8 * u));
        arrow.lineTo(c + QPointF(1.5 * u, 0.2 * u));
        arrow.moveTo(c + QPointF(2.2 * u, 0.8 * u));
        arrow.lineTo(c + QPointF(1.5 * u, 1.4 * u));
        pen.stroke(arrow, kFrozen, s.intensity >= 3 ? 0.45 : 0.28);
        star(pen, c + QPointF(0, -0.9 * u), kFrozen);
        break;
    }
    case F::RainShower: case F::SnowShower: case F::HailShower: shower(pen, c, s); break;
    case F::Thunderstorm: thunderstorm(pen, c, s); break;
    }
    if (s.recent) {
        // Weather of the past hour stands in a closing bracket.
        QPainterPath bracket;
        bracket.moveTo(c + QPointF(2.4 * u, -2.2 * u));
        bracket.lineTo(c + QPointF(3.0 * u, -2.2 * u));
        bracket.lineTo(c + QPointF(3.0 * u, 2.2 * u));
        bracket.lineTo(c + QPointF(2.4 * u, 2.2 * u));
        pen.stroke(bracket, Qt::black, 0.22);
    }
}

}  // namespace synop::map
