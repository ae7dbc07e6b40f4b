#include "WeatherTabs.h"

#include "ReportListModel.h"

#include "synopdecoder/map/WeatherMapWidget.h"
#include "synopdecoder/plots/StationPlotsWidget.h"

#include <QTabWidget>

namespace synop {

WeatherTabs::WeatherTabs(QTabWidget* tabs, Source source)
    : QObject(tabs), tabs_(tabs), source_(std::move(source)), map_(new map::WeatherMapWidget),
      plots_(new plots::StationPlotsWidget)
{
    tabs_->addTab(map_, tr("&Map"));
    tabs_->addTab(plots_, tr("Station &plots"));
    // Reports can arrive many a second; the map redraws at most twice a second.
    throttle_.setSingleShot(true);
    throttle_.setInterval(500);
    connect(&throttle_, &QTimer::timeout, this, &WeatherTabs::refreshShown);
    connect(tabs_, &QTabWidget::currentChanged, this, &WeatherTabs::refreshShown);
    connect(map_, &map::WeatherMapWidget::reportClicked, this, [this](qint64 id) {
        select(id);
        emit reportClicked(id);
    });
}

void WeatherTabs::reportsChanged()
{
    mapStale_ = true;
    // The selected station's history may have grown as well.
    plotsStale_ = true;
    if (!throttle_.isActive()) throttle_.start();
}

void WeatherTabs::select(std::optional<qint64> id)
{
    if (id == selected_) return;
    selected_ = id;
    map_->setSelectedReport(id);
    plotsStale_ = true;
    refreshShown();
}

void WeatherTabs::refreshShown()
{
    QWidget* current = tabs_->currentWidget();
    if (current == map_ && mapStale_) refreshMap();
    if (current == plots_ && plotsStale_) refreshPlots();
}

void WeatherTabs::refreshNow()
{
    refreshMap();
    refreshPlots();
}

void WeatherTabs::refreshMap()
{
    mapStale_ = false;
    map_->setReports(source_.listedReports());
}

void WeatherTabs::refreshPlots()
{
    plotsStale_ = false;
    if (!selected_) {
        plots_->clear();
        return;
    }
    const std::optional<map::MapReport> selected = source_.report(*selected_);
    if (!selected) {
        plots_->clear();
        return;
    }
    const map::MapReport& r = *selected;
    const QString title = r.name.isEmpty() ? r.station : r.station + QStringLiteral(" ") + r.name;
    plots_->setHistory(title, source_.stationHistory(r));
}

qint64 sourceIdOf(const ReportListModel& model, int row)
{
    if (row < 0 || row >= model.rowCount()) return 0;
    if (row < model.storedRows()) {
        const LoggedReport* r = model.report(row);
        return r ? r->id : 0;
    }
    return -1 - (row - model.storedRows());
}

int listRowOf(const ReportListModel& model, qint64 id)
{
    if (id < 0) {
        const qint64 row = model.storedRows() + (-1 - id);
        return row < model.rowCount() ? int(row) : -1;
    }
    if (!model.log() || id == 0) return -1;
    const qint64 row = model.log()->position(model.storedFilter(), id);
    const LoggedReport* there = row < model.storedRows() ? model.report(int(row)) : nullptr;
    return there && there->id == id ? int(row) : -1;
}

WeatherTabs::Source listSource(const ReportListModel& model)
{
    const ReportListModel* list = &model;
    WeatherTabs::Source source;
    source.listedReports = [list] {
        std::vector<map::MapReport> out;
        auto take = [&](qint64 id, const LoggedReport& r) {
            if (r.report.nil) return;  // a NIL report has nothing to plot
            if (auto placed = map::placeReport(id, r.report, r.place, r.observedUtc)) out.push_back(std::move(*placed));
        };
        if (list->log() && list->storedRows() > 0)
            list->log()->forEach(list->storedFilter(), [&](const LoggedReport& r) {
                take(r.id, r);
                return true;
            });
        for (int row = list->storedRows(); row < list->rowCount(); ++row)
            if (const LoggedReport* r = list->report(row)) take(sourceIdOf(*list, row), *r);
        return out;
    };
    source.report = [list](qint64 id) -> std::optional<map::MapReport> {
        std::optional<LoggedReport> found;
        if (id > 0 && list->log()) found = list->log()->report(id);
        else if (const int row = listRowOf(*list, id); row >= 0) found = *list->report(row);
        if (!found) return std::nullopt;
        return map::describeReport(id, found->report, found->place, found->observedUtc);
    };
    source.stationHistory = [list](const map::MapReport& of) {
        // Over the list's time range, whatever the text filter hides.
        std::vector<map::MapReport> out;
        const ReportFilter& shown = list->filter();
        if (list->log())
            for (const LoggedReport& r : list->log()->stationHistory(of.form, of.station.toStdString(), shown.fromUtc, shown.toUtc))
                out.push_back(map::describeReport(r.id, r.report, r.place, r.observedUtc));
        for (int row = list->storedRows(); row < list->rowCount(); ++row) {
            const LoggedReport* r = list->report(row);
            if (r && r->report.form == of.form && QString::fromStdString(r->report.station) == of.station)
                out.push_back(map::describeReport(sourceIdOf(*list, row), r->report, r->place, r->observedUtc));
        }
        return out;
    };
    return source;
}

}  // namespace synop
