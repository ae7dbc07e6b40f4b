#pragma once
// The weather map: the newest report of each station at its position, as a
// station model over coastlines, with zoom around the cursor (wheel), pan
// (drag) and selection (click); from the keyboard + and - zoom, the arrows
// pan and Home shows all stations again. Crowded stations become dots
// (Declutter.h).
#include "Declutter.h"
#include "IsobarControls.h"
#include "IsobarLayer.h"
#include "MapView.h"
#include "StationModelPainter.h"
#include "StationValues.h"

#include <QWidget>

#include <optional>
#include <vector>

namespace synop::map {

class WeatherMapWidget : public QWidget {
    Q_OBJECT
public:
    explicit WeatherMapWidget(QWidget* parent = nullptr);

    // Replaces the reports shown; each station shows its newest one, or the
    // selected one when that is among them. The view fits them the first
    // time, and after that stays where the user put it.
    void setReports(std::vector<MapReport> reports);
    void setSelectedReport(std::optional<qint64> id);
    std::optional<qint64> selectedReport() const { return selected_; }

    const MapView& view() const { return view_; }
    // Shows the area and keeps it: the map no longer fits new reports.
    void showArea(GeoPoint centre, double pixelsPerDegree);
    void fitToReports();
    // The report whose station is drawn under the point, if any.
    std::optional<qint64> reportAt(QPointF screen) const;
    // What the last paint drew, for the tests and the status line.
    int modelsDrawn() const { return modelsDrawn_; }
    int dotsDrawn() const { return dotsDrawn_; }
    int stationCount() const { return int(shown_.size()); }

    // The surface analysis, drawn under the station models; the Isobars
    // switch (or the I key) shows and hides it, and picks its hour.
    IsobarLayer& isobars() { return isobars_; }
    IsobarControls* isobarControls() const { return isobarControls_; }
    void setIsobarsVisible(bool visible);
    bool isobarsVisible() const { return isobars_.isVisible(); }

signals:
    void reportClicked(qint64 id);
    void isobarsToggled(bool visible);

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    void pickShown();
    void layOut();
    void drawBackground(QPainter& painter);

    MapView view_;
    StationModelPainter modelPainter_;
    IsobarLayer isobars_;
    IsobarControls* isobarControls_;
    std::vector<MapReport> reports_;
    std::vector<size_t> shown_;  // indices into reports_, one per station
    std::vector<QPointF> screen_;
    std::vector<Placement> placement_;
    std::optional<qint64> selected_;
    bool userMoved_ = false;
    bool layoutStale_ = true;
    std::optional<QPointF> pressAt_, lastDrag_;
    int modelsDrawn_ = 0, dotsDrawn_ = 0;
};

}  // namespace synop::map
