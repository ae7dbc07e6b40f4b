#pragma once
// Draws the station model: cloud cover in the circle, the wind barb,
// temperature upper left, present weather left, dew point lower left,
// sea-level pressure upper right, the pressure tendency right, past
// weather lower right. The model
// keeps its size on the screen at every zoom, as on a plotted chart.
#include "SpriteCache.h"
#include "StationValues.h"

#include <QFont>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace synop::map {

class StationModelPainter {
public:
    StationModelPainter();

    // Where a full model may draw around its station; declutter keeps these apart.
    static QRectF footprint() { return {-42, -30, 84, 60}; }

    void drawModel(QPainter& painter, QPointF at, const StationValues& values, double latitude) const;
    // A crowded station: its cloud circle alone, smaller.
    void drawDot(QPainter& painter, QPointF at, const StationValues& values) const;
    void drawSelection(QPainter& painter, QPointF at) const;

private:
    void drawWeather(QPainter& painter, QPointF centre, const StationValues& values) const;

    QFont font_;
    double ascent_;
    mutable SpriteCache sprites_;
};

// The cloud circle's fill for N oktas (0..8, 9 sky obscured, none: missing).
void drawCloudCover(QPainter& painter, QPointF centre, double radius, std::optional<int> okta);
// The small pictogram of the tendency characteristic a (code table 0200).
void drawTendency(QPainter& painter, QPointF leftMiddle, double size, int a);

}  // namespace synop::map
