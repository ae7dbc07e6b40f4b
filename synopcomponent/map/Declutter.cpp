#include "Declutter.h"

#include <cmath>
#include <unordered_map>

namespace synop::map {

namespace {

// Cells as large as a footprint: a footprint can only meet those placed in
// its own cell or the eight around it.
class Grid {
public:
    Grid(QSizeF cell) : cell_(cell) {}
    template <typename Overlaps>
    bool anyNear(QPointF p, Overlaps overlaps) const
    {
        const auto [cx, cy] = cellOf(p);
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy) {
                const auto it = cells_.find(key(cx + dx, cy + dy));
                if (it == cells_.end()) continue;
                for (const QPointF& q : it->second)
                    if (overlaps(q)) return true;
            }
        return false;
    }
    void add(QPointF p)
    {
        const auto [cx, cy] = cellOf(p);
        cells_[key(cx, cy)].push_back(p);
    }

private:
    std::pair<long, long> cellOf(QPointF p) const
    {
        return {long(std::floor(p.x() / cell_.width())), long(std::floor(p.y() / cell_.height()))};
    }
    static long long key(long x, long y) { return (static_cast<long long>(x) << 32) ^ static_cast<unsigned long>(y); }
    QSizeF cell_;
    std::unordered_map<long long, std::vector<QPointF>> cells_;
};

constexpr double kDotSpacing = 5;

}  // namespace

std::vector<Placement> declutter(const std::vector<QPointF>& points, const std::vector<int>& order, QRectF footprint,
                                 QRectF visible)
{
    std::vector<Placement> placed(points.size(), Placement::Hidden);
    const QRectF wide = visible.adjusted(footprint.left(), footprint.top(), footprint.right(), footprint.bottom());
    Grid models(footprint.size());
    Grid dots(QSizeF(kDotSpacing, kDotSpacing));
    for (const int i : order) {
        const QPointF p = points[size_t(i)];
        if (!wide.contains(p)) continue;
        const QRectF mine = footprint.translated(p);
        const bool crowded = models.anyNear(p, [&](QPointF q) { return footprint.translated(q).intersects(mine); });
        if (!crowded) {
            placed[size_t(i)] = Placement::Model;
            models.add(p);
            dots.add(p);
            continue;
        }
        const bool covered = dots.anyNear(p, [&](QPointF q) {
            return std::fabs(q.x() - p.x()) < kDotSpacing && std::fabs(q.y() - p.y()) < kDotSpacing;
        });
        if (!covered) {
            placed[size_t(i)] = Placement::Dot;
            dots.add(p);
        }
    }
    return placed;
}

}  // namespace synop::map
