#include "WeatherTabs.h"

#include "ReportListModel.h"

#include "synopcomponent/map/AnalysisRunner.h"
#include "synopcomponent/map/WeatherMapWidget.h"
#include "synopcomponent/plots/StationPlotsWidget.h"

#include <QTabWidget>
#include <algorithm>
#include <map>
#include <memory>
#include <unordered_map>

namespace synop {

WeatherTabs::WeatherTabs(QTabWidget* tabs, Source source)
    : QObject(tabs), tabs_(tabs), source_(std::move(source)), map_(new map::WeatherMapWidget),
      analysisRunner_(new map::AnalysisRunner(this)), plots_(new plots::StationPlotsWidget)
{
    connect(analysisRunner_, &map::AnalysisRunner::finished, map_, [this](std::shared_ptr<const analysis::SurfaceAnalysis> a) {
        map_->isobars().setAnalysis(std::move(a));
        map_->isobars().setPending(analysisRunner_->busy());
        map_->update();
    });
    connect(map_, &map::WeatherMapWidget::isobarsToggled, this, [this](bool visible) {
        if (visible) refreshIsobars();
    });
    connect(map_->isobarControls(), &map::IsobarControls::hourChosen, this, [this] {
        analysedSignature_ = 0;
        refreshIsobars();
    });
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
    // The map may hold only the newest report of the station.
    mapStale_ = true;
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
    std::vector<map::MapReport> reports = source_.listedReports();
    // The map may be handed only the newest report of each station; an older
    // one selected in the list is shown in its place.
    if (selected_ && std::none_of(reports.begin(), reports.end(), [&](const map::MapReport& r) { return r.id == *selected_; }))
        if (std::optional<map::MapReport> r = source_.report(*selected_); r && r->placed) {
            const bool listed = std::any_of(reports.begin(), reports.end(), [&](const map::MapReport& other) {
                return other.form == r->form && other.station == r->station;
            });
            if (listed) reports.push_back(std::move(*r));
        }
    map_->setReports(std::move(reports));
    refreshIsobars();
}

void WeatherTabs::refreshIsobars()
{
    // The analysis runs on a worker thread; the map keeps the last one meanwhile.
    if (!source_.pressureReports || !map_->isobarsVisible()) return;
    std::vector<analysis::PressureReport> reports = source_.pressureReports();
    // A new selection redraws the map, but the same reports need no new analysis.
    qint64 signature = qint64(reports.size());
    for (const analysis::PressureReport& r : reports) signature = signature * 31 + r.observedUtc.toSecsSinceEpoch() + qint64(r.pressureHpa * 10);
    if (signature == analysedSignature_ && map_->isobars().analysis()) return;
    analysedSignature_ = signature;
    std::map<qint64, int> perHour;
    for (const analysis::PressureReport& r : reports) ++perHour[analysis::synopticHour(r.observedUtc).toSecsSinceEpoch()];
    std::vector<std::pair<QDateTime, int>> hours;
    for (const auto& [hour, count] : perHour) hours.emplace_back(QDateTime::fromSecsSinceEpoch(hour, Qt::UTC), count);
    map_->isobarControls()->setHours(hours);
    analysis::AnalysisOptions options;
    options.hour = map_->isobarControls()->chosenHour();
    analysisRunner_->analyse(std::move(reports), options);
    map_->isobars().setPending(true);
    map_->update();
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

namespace {

// What the map needs of the log: the newest report of each station under the
// list's filter. Kept between refreshes, so that a report arriving costs one
// report read rather than the whole time range again (a range of 100,000
// reports takes over a second to read); a new filter starts it afresh.
struct NewestPerStation {
    ReportFilter filter;
    bool filled = false;
    int64_t lastId = 0;
    std::unordered_map<QString, map::MapReport> newest;
    std::vector<analysis::PressureReport> pressures;  // every report read, for the isobars

    void take(map::MapReport&& r)
    {
        const QString key = QLatin1String(reportFormCode(r.form)) + r.station;
        auto it = newest.find(key);
        if (it == newest.end()) newest.emplace(key, std::move(r));
        else if (map::newerReport(r, it->second)) it->second = std::move(r);
    }
};

}  // namespace

WeatherTabs::Source listSource(const ReportListModel& model)
{
    const ReportListModel* list = &model;
    auto cache = std::make_shared<NewestPerStation>();
    WeatherTabs::Source source;
    source.listedReports = [list, cache] {
        auto placed = [](qint64 id, const LoggedReport& r) -> std::optional<map::MapReport> {
            if (r.report.nil) return std::nullopt;  // a NIL report has nothing to plot
            return map::placeReport(id, r.report, r.place, r.observedUtc);
        };
        const ReportFilter filter = list->storedFilter();
        if (!cache->filled || !(cache->filter == filter) || !list->log()) {
            *cache = NewestPerStation{};
            cache->filter = filter;
            cache->filled = true;
        }
        if (list->log() && list->storedRows() > 0) {
            ReportFilter fresh = filter;
            fresh.afterId = std::max(filter.afterId, cache->lastId);
            list->log()->forEach(fresh, [&](const LoggedReport& r) {
                cache->lastId = std::max(cache->lastId, r.id);
                if (auto m = placed(r.id, r)) cache->take(std::move(*m));
                if (auto p = analysis::pressureReport(r.report, r.place, r.observedUtc)) cache->pressures.push_back(std::move(*p));
                return true;
            });
        }
        std::vector<map::MapReport> out;
        out.reserve(cache->newest.size());
        for (const auto& [key, r] : cache->newest) out.push_back(r);
        for (int row = list->storedRows(); row < list->rowCount(); ++row)
            if (const LoggedReport* r = list->report(row))
                if (auto m = placed(sourceIdOf(*list, row), *r)) out.push_back(std::move(*m));
        return out;
    };
    // What listedReports() read last, with the rows the log could not take.
    source.pressureReports = [list, cache] {
        std::vector<analysis::PressureReport> out = cache->pressures;
        for (int row = list->storedRows(); row < list->rowCount(); ++row)
            if (const LoggedReport* r = list->report(row))
                if (auto p = analysis::pressureReport(r->report, r->place, r->observedUtc)) out.push_back(std::move(*p));
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
