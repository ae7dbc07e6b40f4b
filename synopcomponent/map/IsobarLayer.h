#pragma once
// The surface analysis on the weather map: isobars with their pressure
// along them, H and L at the highs and lows, drawn under the station
// models; and the line of the legend that says which hour it is and how
// many reports it rests on.
#include "MapView.h"

#include "synopanalysis/SurfaceAnalysis.h"

#include <QPainterPath>
#include <QString>
#include <memory>
#include <vector>

class QPainter;

namespace synop::map {

class IsobarLayer {
public:
    using Analysis = std::shared_ptr<const analysis::SurfaceAnalysis>;

    void setAnalysis(Analysis analysis);
    const Analysis& analysis() const { return analysis_; }
    // Waiting for an analysis that is being computed.
    void setPending(bool pending) { pending_ = pending; }
    void setVisible(bool visible) { visible_ = visible; }
    bool isVisible() const { return visible_; }

    void paint(QPainter& painter, const MapView& view) const;
    QString legend() const;
    // What the last paint drew, for the tests.
    int labelsDrawn() const { return labelsDrawn_; }
    int centresDrawn() const { return centresDrawn_; }

private:
    struct Line {
        double pressureHpa;
        QPainterPath path;  // longitude and Mercator ordinate, as MapView's transform takes them
        bool closed;
    };
    void drawLabels(QPainter& painter, const Line& line, const QTransform& toScreen, const QRectF& screen) const;

    Analysis analysis_;
    std::vector<Line> lines_;
    bool visible_ = true;
    bool pending_ = false;
    mutable int labelsDrawn_ = 0, centresDrawn_ = 0;
};

}  // namespace synop::map
