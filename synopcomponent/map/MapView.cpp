#include "MapView.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace synop::map {

namespace {
constexpr double kDeg = std::numbers::pi / 180.0;
constexpr double kMinScale = 0.5, kMaxScale = 400;

double wrapLongitude(double lon) { return lon - 360.0 * std::floor((lon + 180.0) / 360.0); }
}  // namespace

double mercatorY(double latDeg)
{
    const double lat = std::clamp(latDeg, -MapView::kMaxLatitude, MapView::kMaxLatitude) * kDeg;
    return std::log(std::tan(std::numbers::pi / 4 + lat / 2)) / kDeg;
}

double latitudeOfMercatorY(double y) { return (2 * std::atan(std::exp(y * kDeg)) - std::numbers::pi / 2) / kDeg; }

void MapView::setCentre(GeoPoint c)
{
    centreLon_ = wrapLongitude(c.lon);
    centreY_ = mercatorY(c.lat);
    clamp();
}

GeoPoint MapView::centre() const { return {latitudeOfMercatorY(centreY_), centreLon_}; }

void MapView::setScale(double pixelsPerDegree)
{
    scale_ = std::clamp(pixelsPerDegree, kMinScale, kMaxScale);
    clamp();
}

QPointF MapView::toScreen(GeoPoint p) const
{
    const double dLon = wrapLongitude(p.lon - centreLon_);
    return {viewport_.width() / 2 + dLon * scale_, viewport_.height() / 2 - (mercatorY(p.lat) - centreY_) * scale_};
}

GeoPoint MapView::toGeo(QPointF s) const
{
    const double lon = centreLon_ + (s.x() - viewport_.width() / 2) / scale_;
    const double y = centreY_ - (s.y() - viewport_.height() / 2) / scale_;
    return {latitudeOfMercatorY(y), wrapLongitude(lon)};
}

void MapView::zoomAround(QPointF s, double factor)
{
    // The Mercator plane is linear in the screen, so the point under the
    // cursor stays put when the centre moves by the same proportion.
    const double x = centreLon_ + (s.x() - viewport_.width() / 2) / scale_;
    const double y = centreY_ - (s.y() - viewport_.height() / 2) / scale_;
    const double old = scale_;
    scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
    const double k = old / scale_;
    centreLon_ = wrapLongitude(x + (centreLon_ - x) * k);
    centreY_ = y + (centreY_ - y) * k;
    clamp();
}

void MapView::panBy(QPointF d)
{
    centreLon_ = wrapLongitude(centreLon_ - d.x() / scale_);
    centreY_ += d.y() / scale_;
    clamp();
}

void MapView::fit(double south, double west, double north, double east)
{
    if (east < west) east += 360;
    const double width = std::max(east - west, 0.5);
    const double height = std::max(mercatorY(north) - mercatorY(south), 0.5);
    scale_ = std::clamp(std::min(viewport_.width() / width, viewport_.height() / height), kMinScale, kMaxScale);
    centreLon_ = wrapLongitude((west + east) / 2);
    centreY_ = (mercatorY(north) + mercatorY(south)) / 2;
    clamp();
}

void MapView::clamp()
{
    // Neither pole's edge comes further in than the middle of the screen.
    const double limit = mercatorY(kMaxLatitude);
    centreY_ = std::clamp(centreY_, -limit, limit);
}

QTransform MapView::mercatorToScreen(int worldShift) const
{
    QTransform t;
    t.translate(viewport_.width() / 2, viewport_.height() / 2);
    t.scale(scale_, -scale_);
    t.translate(-centreLon_ + 360.0 * worldShift, -centreY_);
    return t;
}

int MapView::firstWorldShift() const
{
    // Land that crosses the antimeridian reaches about 10 degrees into the next copy.
    const double westEdge = centreLon_ - viewport_.width() / 2 / scale_ - 12;
    return int(std::floor((westEdge + 180.0) / 360.0));
}

int MapView::lastWorldShift() const
{
    const double eastEdge = centreLon_ + viewport_.width() / 2 / scale_;
    return int(std::floor((eastEdge + 180.0) / 360.0));
}

}  // namespace synop::map
