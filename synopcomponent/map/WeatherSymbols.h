#pragma once
// Present weather symbols drawn with painter paths, in the colours charts
// give them (precipitation green, snow and ice blue, thunder red, fog and
// haze yellow-grey, dust brown).
#include "WeatherCodes.h"

#include <QPointF>

class QPainter;

namespace synop::map {

// Draws the symbol centred on centre; unit is about a fifth of its width.
void drawWeatherSymbol(QPainter& painter, QPointF centre, double unit, const WeatherSymbol& symbol);

}  // namespace synop::map
