#include "WeatherTabs.h"

#include "ReportListModel.h"

#include "synopdecoder/log/ObservationTime.h"
#include "synopdecoder/map/WeatherMapWidget.h"
#include "synopdecoder/plots/StationPlotsWidget.h"

#include <QAbstractProxyModel>
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

WeatherTabs::Source listSource(const ReportListModel& model, const QAbstractItemModel& shown)
{
    // The in-memory list keeps no reception times; the reports in it came
    // in during this session, so now stands in for when they were heard.
    const ReportListModel* list = &model;
    const QAbstractItemModel* listed = &shown;
    auto describe = [list](qint64 row) -> std::optional<map::MapReport> {
        const DecodedReport* r = list->report(int(row));
        if (!r) return std::nullopt;
        const QDateTime observed = observationTime(*r, QDateTime::currentDateTimeUtc()).value_or(QDateTime());
        return map::describeReport(row, *r, stationPlace(*r), observed);
    };
    WeatherTabs::Source source;
    source.listedReports = [list, listed] {
        const auto* proxy = qobject_cast<const QAbstractProxyModel*>(listed);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        std::vector<map::MapReport> out;
        for (int row = 0; row < listed->rowCount(); ++row) {
            const int modelRow = proxy ? proxy->mapToSource(listed->index(row, 0)).row() : row;
            const DecodedReport* r = list->report(modelRow);
            if (!r || r->nil) continue;  // a NIL report has nothing to plot
            if (auto placed = map::placeReport(modelRow, *r, stationPlace(*r), observationTime(*r, now).value_or(QDateTime())))
                out.push_back(std::move(*placed));
        }
        return out;
    };
    source.report = describe;
    source.stationHistory = [list, describe](const map::MapReport& of) {
        std::vector<map::MapReport> out;
        for (int row = 0; row < list->rowCount(); ++row) {
            const DecodedReport* r = list->report(row);
            if (r && r->form == of.form && QString::fromStdString(r->station) == of.station)
                if (auto m = describe(row)) out.push_back(std::move(*m));
        }
        return out;
    };
    return source;
}

}  // namespace synop
