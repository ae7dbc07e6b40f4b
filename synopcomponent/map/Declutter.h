#pragma once
// Which stations get a full model where the map is crowded: the stations are
// taken in order of priority, and one gets a model only where its footprint
// meets no model already placed; the others become dots, and a dot that
// would sit on another is left out. Positions are compared with each other
// only, so panning keeps the choice and zooming in lets more models in.
#include <QPointF>
#include <QRectF>
#include <vector>

namespace synop::map {

enum class Placement { Model, Dot, Hidden };

// order lists indices into points, the most wanted first; stations outside
// visible (grown by a footprint) are hidden.
std::vector<Placement> declutter(const std::vector<QPointF>& points, const std::vector<int>& order, QRectF footprint,
                                 QRectF visible);

}  // namespace synop::map
