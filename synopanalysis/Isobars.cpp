#include "synopanalysis/Isobars.h"

#include <algorithm>
#include <array>
#include <limits>

namespace synop::analysis {

namespace {

struct GridPoint {
    double x = 0, y = 0;
};

// Which cell edges a level crosses, for each case of corners at or above
// it (bit 0 south-west, 1 south-east, 2 north-east, 3 north-west). Edges:
// 0 south, 1 east, 2 north, 3 west. Saddles (5, 10) are split by the value
// at the cell's centre.
constexpr int kNone = -1;
constexpr std::array<std::array<int, 4>, 16> kSegments{{
    {kNone, kNone, kNone, kNone}, {3, 0, kNone, kNone}, {0, 1, kNone, kNone}, {3, 1, kNone, kNone},
    {1, 2, kNone, kNone},         {3, 0, 1, 2},         {0, 2, kNone, kNone}, {3, 2, kNone, kNone},
    {2, 3, kNone, kNone},         {0, 2, kNone, kNone}, {0, 1, 2, 3},         {1, 2, kNone, kNone},
    {3, 1, kNone, kNone},         {0, 1, kNone, kNone}, {3, 0, kNone, kNone}, {kNone, kNone, kNone, kNone},
}};

class LevelTracer {
public:
    explicit LevelTracer(const FieldGrid& field) : f_(field), cols_(field.grid.columns)
    {
        links_.assign(2 * field.grid.size(), {-1, -1});
    }

    std::vector<std::pair<std::vector<GridPoint>, bool>> trace(double level)
    {
        segments_.clear();
        for (const int e : touched_) links_[size_t(e)] = {-1, -1};
        touched_.clear();
        for (int r = 0; r + 1 < f_.grid.rows; ++r)
            for (int c = 0; c + 1 < cols_; ++c) addCell(c, r, level);
        return join(level);
    }

private:
    // Edge keys: the south edge of cell (c, r) is 2 (r cols + c), its west edge that + 1.
    int edgeKey(int c, int r, int edge) const
    {
        switch (edge) {
        case 0: return 2 * (r * cols_ + c);
        case 1: return 2 * (r * cols_ + c + 1) + 1;
        case 2: return 2 * ((r + 1) * cols_ + c);
        default: return 2 * (r * cols_ + c) + 1;
        }
    }

    void addCell(int c, int r, double level)
    {
        const double v[4] = {f_.at(c, r), f_.at(c + 1, r), f_.at(c + 1, r + 1), f_.at(c, r + 1)};
        if (std::isnan(v[0]) || std::isnan(v[1]) || std::isnan(v[2]) || std::isnan(v[3])) return;
        int index = 0;
        for (int k = 0; k < 4; ++k)
            if (v[k] >= level) index |= 1 << k;
        if (index == 0 || index == 15) return;
        std::array<int, 4> pairs = kSegments[size_t(index)];
        const bool centreAbove = (v[0] + v[1] + v[2] + v[3]) / 4 >= level;
        if (index == 5 && centreAbove) pairs = {0, 1, 2, 3};
        if (index == 10 && centreAbove) pairs = {3, 0, 1, 2};
        for (int k = 0; k < 4 && pairs[size_t(k)] != kNone; k += 2) link(edgeKey(c, r, pairs[size_t(k)]), edgeKey(c, r, pairs[size_t(k) + 1]));
    }

    void link(int a, int b)
    {
        const int id = int(segments_.size());
        segments_.push_back({a, b});
        for (const int e : {a, b}) {
            auto& slot = links_[size_t(e)];
            if (slot[0] < 0 && slot[1] < 0) touched_.push_back(e);
            (slot[0] < 0 ? slot[0] : slot[1]) = id;
        }
    }

    GridPoint crossing(int key, double level) const
    {
        const int cell = key / 2;
        const int c = cell % cols_, r = cell / cols_;
        const bool west = key % 2 == 1;  // a vertical edge from (c, r) to (c, r + 1)
        const double v0 = f_.at(c, r), v1 = west ? f_.at(c, r + 1) : f_.at(c + 1, r);
        const double t = v1 == v0 ? 0.5 : std::clamp((level - v0) / (v1 - v0), 0.0, 1.0);
        return west ? GridPoint{double(c), r + t} : GridPoint{c + t, double(r)};
    }

    std::vector<std::pair<std::vector<GridPoint>, bool>> join(double level)
    {
        std::vector<std::pair<std::vector<GridPoint>, bool>> lines;
        std::vector<char> used(segments_.size(), 0);
        auto other = [&](int edge, int segment) {
            const auto& slot = links_[size_t(edge)];
            return slot[0] == segment ? slot[1] : slot[0];
        };
        auto walk = [&](int segment, int fromEdge) {
            std::vector<GridPoint> points{crossing(fromEdge, level)};
            int edge = fromEdge;
            while (segment >= 0 && !used[size_t(segment)]) {
                used[size_t(segment)] = 1;
                const auto& s = segments_[size_t(segment)];
                edge = s[0] == edge ? s[1] : s[0];
                points.push_back(crossing(edge, level));
                segment = other(edge, segment);
            }
            return std::make_pair(points, false);
        };
        // Open lines start at an edge only one piece uses: the mask or the grid's border.
        for (const int e : touched_) {
            const auto& slot = links_[size_t(e)];
            const bool end = (slot[0] < 0) != (slot[1] < 0);
            const int s = slot[0] >= 0 ? slot[0] : slot[1];
            if (end && !used[size_t(s)]) {
                auto line = walk(s, e);
                line.second = false;
                lines.push_back(std::move(line));
            }
        }
        for (size_t s = 0; s < segments_.size(); ++s)
            if (!used[s]) {
                auto line = walk(int(s), segments_[s][0]);
                line.second = true;
                if (line.first.size() > 1) line.first.pop_back();  // the ring's first point again
                lines.push_back(std::move(line));
            }
        return lines;
    }

    const FieldGrid& f_;
    int cols_;
    std::vector<std::array<int, 2>> links_;  // the pieces meeting at each edge
    std::vector<int> touched_;
    std::vector<std::array<int, 2>> segments_;
};

std::vector<GridPoint> cutCorners(const std::vector<GridPoint>& in, bool closed)
{
    if (in.size() < 3) return in;
    std::vector<GridPoint> out;
    out.reserve(in.size() * 2);
    if (!closed) out.push_back(in.front());
    const size_t n = in.size(), pieces = closed ? n : n - 1;
    for (size_t i = 0; i < pieces; ++i) {
        const GridPoint a = in[i], b = in[(i + 1) % n];
        out.push_back({0.75 * a.x + 0.25 * b.x, 0.75 * a.y + 0.25 * b.y});
        out.push_back({0.25 * a.x + 0.75 * b.x, 0.25 * a.y + 0.75 * b.y});
    }
    if (!closed) {
        out.erase(out.begin() + 1);  // the ends stay where the line meets the mask
        out.pop_back();
        out.push_back(in.back());
    }
    return out;
}

}  // namespace

std::vector<Isobar> contourIsobars(const FieldGrid& field, const ContourOptions& options)
{
    std::vector<Isobar> out;
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const double v : field.values)
        if (!std::isnan(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    if (!(low <= high) || field.grid.columns < 2 || field.grid.rows < 2 || options.intervalHpa <= 0) return out;
    LevelTracer tracer(field);
    for (double level = std::ceil(low / options.intervalHpa) * options.intervalHpa; level <= high; level += options.intervalHpa) {
        Isobar isobar{level, {}};
        for (auto& [points, closed] : tracer.trace(level)) {
            if (!closed && int(points.size()) <= options.shortestSegments) continue;
            if (closed && points.size() < 3) continue;
            for (int pass = 0; pass < options.smoothingPasses; ++pass) points = cutCorners(points, closed);
            IsobarLine line;
            line.closed = closed;
            line.points.reserve(points.size());
            for (const GridPoint& p : points) line.points.push_back(field.grid.pointAt(p.x, p.y));
            isobar.lines.push_back(std::move(line));
        }
        if (!isobar.lines.empty()) out.push_back(std::move(isobar));
    }
    return out;
}

}  // namespace synop::analysis
