#pragma once
// The window's weather map and station plots tabs. They show what the
// report list shows, through two questions the window answers: the
// reports listed, and one station's history.
#include "synopanalysis/PressureReport.h"
#include "synopcomponent/map/StationValues.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

class QAbstractItemModel;
class QTabWidget;

namespace synop {

namespace map { class AnalysisRunner; class WeatherMapWidget; }
namespace plots { class StationPlotsWidget; }

class WeatherTabs : public QObject {
    Q_OBJECT
public:
    struct Source {
        // The listed reports that have a position.
        std::function<std::vector<map::MapReport>()> listedReports;
        std::function<std::optional<map::MapReport>(qint64 id)> report;
        std::function<std::vector<map::MapReport>(const map::MapReport& station)> stationHistory;
        // Every listed report with a sea-level pressure, for the map's isobars.
        std::function<std::vector<analysis::PressureReport>()> pressureReports;
    };

    WeatherTabs(QTabWidget* tabs, Source source);

    // The list changed; the map follows within half a second, and only when it is shown.
    void reportsChanged();
    // The report selected in the list, or on the map.
    void select(std::optional<qint64> id);

    map::WeatherMapWidget* weatherMap() const { return map_; }
    plots::StationPlotsWidget* stationPlots() const { return plots_; }
    // Brings the views up to date at once (tests, screenshots).
    void refreshNow();

signals:
    void reportClicked(qint64 id);

private:
    void refreshShown();
    void refreshMap();
    void refreshPlots();

    QTabWidget* tabs_;
    Source source_;
    void refreshIsobars();

    map::WeatherMapWidget* map_;
    map::AnalysisRunner* analysisRunner_;
    qint64 analysedSignature_ = 0;
    plots::StationPlotsWidget* plots_;
    QTimer throttle_;
    std::optional<qint64> selected_;
    bool mapStale_ = true;
    bool plotsStale_ = true;
};

class ReportListModel;
// The window's list as a source: ids are the log's report ids; a report
// listed from memory (the log could not take it) has the id -1 - its place
// among those.
WeatherTabs::Source listSource(const ReportListModel& model);
// The list row of a source id, -1 when the list does not show it.
int listRowOf(const ReportListModel& model, qint64 id);
qint64 sourceIdOf(const ReportListModel& model, int row);

}  // namespace synop
