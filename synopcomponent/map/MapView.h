#pragma once
// The map's projection and view: spherical Mercator, which keeps north up
// and angles true everywhere, so a wind barb's direction reads straight off
// the screen. Longitudes wrap: a station is drawn in the copy of the world
// nearest the view's centre.
#include <QPointF>
#include <QSizeF>
#include <QTransform>

namespace synop::map {

struct GeoPoint {
    double lat = 0, lon = 0;
};

// Mercator ordinate in degrees of longitude: equal to the latitude near the
// equator, growing without bound toward the poles (clamped at 85 degrees).
double mercatorY(double latDeg);
double latitudeOfMercatorY(double y);

class MapView {
public:
    static constexpr double kMaxLatitude = 85.0;

    void setViewport(QSizeF size) { viewport_ = size; }
    QSizeF viewport() const { return viewport_; }
    void setCentre(GeoPoint centre);
    GeoPoint centre() const;
    // Screen pixels per degree of longitude.
    void setScale(double pixelsPerDegree);
    double scale() const { return scale_; }

    QPointF toScreen(GeoPoint p) const;
    GeoPoint toGeo(QPointF screen) const;

    // Keeps the point under the cursor where it is.
    void zoomAround(QPointF screen, double factor);
    void panBy(QPointF screenDelta);
    // Shows the whole box (degrees, west to east may cross the antimeridian).
    void fit(double south, double west, double north, double east);

    // From (longitude, Mercator ordinate) to the screen, for the world copy
    // shifted by worldShift x 360 degrees.
    QTransform mercatorToScreen(int worldShift) const;
    // The world copies that show in the viewport.
    int firstWorldShift() const;
    int lastWorldShift() const;

private:
    void clamp();

    QSizeF viewport_{800, 600};
    double centreLon_ = 0, centreY_ = 0;  // centreY_ in Mercator degrees
    double scale_ = 4;
};

}  // namespace synop::map
