#include "StationPlotsWidget.h"

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLabel>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

namespace synop::plots {

namespace {

// QDateTimeAxis labels in local time; observations are told in UTC, so the
// axis gets the UTC wall-clock time as if it were local.
qint64 axisTime(const QDateTime& utc)
{
    const QDateTime u = utc.toUTC();
    return QDateTime(u.date(), u.time()).toMSecsSinceEpoch();
}

QLineSeries* lineSeries(const QString& name, const QColor& colour)
{
    auto* s = new QLineSeries;
    s->setName(name);
    s->setPointsVisible(true);
    QPen pen(colour, 2);
    s->setPen(pen);
    return s;
}

}  // namespace

StationPlotsWidget::StationPlotsWidget(QWidget* parent) : QWidget(parent), title_(new QLabel)
{
    QFont bold = title_->font();
    bold.setBold(true);
    title_->setFont(bold);
    pressure_ = makeChart(tr("hPa"));
    temperature_ = makeChart(tr("°C"));
    wind_ = makeChart(tr("kt"));

    pressureSeries_ = lineSeries(tr("Sea-level pressure"), QColor(0x20, 0x40, 0xa0));
    temperatureSeries_ = lineSeries(tr("Temperature"), QColor(0xc0, 0x10, 0x10));
    dewPointSeries_ = lineSeries(tr("Dew point"), QColor(0x00, 0x80, 0x20));
    windSeries_ = lineSeries(tr("Wind speed"), QColor(0x30, 0x30, 0x30));
    directionSeries_ = new QScatterSeries;
    directionSeries_->setName(tr("Direction (from)"));
    directionSeries_->setMarkerSize(7);
    directionSeries_->setColor(QColor(0x20, 0x80, 0xc0));
    directionSeries_->setBorderColor(QColor(0x20, 0x80, 0xc0));

    auto attach = [](Chart& c, QAbstractSeries* s) {
        c.chart->addSeries(s);
        s->attachAxis(c.time);
        s->attachAxis(c.values);
    };
    attach(pressure_, pressureSeries_);
    attach(temperature_, temperatureSeries_);
    attach(temperature_, dewPointSeries_);
    attach(wind_, windSeries_);

    // Direction on a compass scale of its own, right of the wind chart.
    auto* compass = new QCategoryAxis;
    compass->setRange(0, 360);
    compass->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    compass->append(tr("N"), 0);
    compass->append(tr("E"), 90);
    compass->append(tr("S"), 180);
    compass->append(tr("W"), 270);
    compass->append(tr("N "), 360);
    directionAxis_ = compass;
    wind_.chart->addAxis(compass, Qt::AlignRight);
    wind_.chart->addSeries(directionSeries_);
    directionSeries_->attachAxis(wind_.time);
    directionSeries_->attachAxis(compass);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(title_);
    layout->addWidget(pressure_.view, 1);
    layout->addWidget(temperature_.view, 1);
    layout->addWidget(wind_.view, 1);
    layout->addStretch(0);
    clear();
}

StationPlotsWidget::Chart StationPlotsWidget::makeChart(const QString& unit)
{
    Chart c;
    c.chart = new QChart;
    c.chart->legend()->setAlignment(Qt::AlignTop);
    c.chart->setMargins(QMargins(2, 0, 2, 0));
    c.chart->layout()->setContentsMargins(0, 0, 0, 0);
    c.time = new QDateTimeAxis;
    c.time->setFormat(QStringLiteral("dd HH:mm"));
    c.time->setTickCount(7);
    c.values = new QValueAxis;
    c.values->setTitleText(unit);
    c.values->setLabelFormat(QStringLiteral("%.0f"));
    c.chart->addAxis(c.time, Qt::AlignBottom);
    c.chart->addAxis(c.values, Qt::AlignLeft);
    c.view = new QChartView(c.chart);
    c.view->setRenderHint(QPainter::Antialiasing);
    c.view->setMinimumHeight(150);
    return c;
}

void StationPlotsWidget::clear()
{
    for (QXYSeries* s : {static_cast<QXYSeries*>(pressureSeries_), static_cast<QXYSeries*>(temperatureSeries_),
                         static_cast<QXYSeries*>(dewPointSeries_), static_cast<QXYSeries*>(windSeries_),
                         static_cast<QXYSeries*>(directionSeries_)})
        s->clear();
    title_->setText(tr("Select a station on the map or a report in the list to plot its weather over time."));
    // Empty axes would only show made-up ranges.
    for (Chart* c : {&pressure_, &temperature_, &wind_}) c->view->hide();
}

void StationPlotsWidget::fitAxes(Chart& c, qint64 from, qint64 to, double low, double high, double minimumSpan)
{
    // Ticks on whole synoptic hours: the step is the smallest of 1, 3, 6, 12
    // hours or whole days that leaves at most eight of them, and the range
    // starts and ends on a step.
    constexpr qint64 hour = 3600 * 1000;
    qint64 step = hour;
    for (const qint64 hours : {1, 3, 6, 12, 24, 48, 96, 168, 336, 720}) {
        step = hours * hour;
        if ((to - from) / step < 8) break;
    }
    const qint64 first = from - ((from % step) + step) % step;
    qint64 last = to + (step - ((to % step) + step) % step) % step;
    if (last == first) last += step;
    c.time->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
    c.time->setTickCount(int((last - first) / step) + 1);
    c.time->setFormat(step >= 24 * hour ? QStringLiteral("dd MMM") : QStringLiteral("dd HH:mm"));
    if (low > high) {
        low = 0;
        high = minimumSpan;
    }
    if (high - low < minimumSpan) {
        const double mid = (low + high) / 2;
        low = mid - minimumSpan / 2;
        high = mid + minimumSpan / 2;
    }
    c.values->setRange(std::floor(low - 0.5), std::ceil(high + 0.5));
    c.values->applyNiceNumbers();
}

void StationPlotsWidget::setHistory(const QString& title, std::vector<map::MapReport> history)
{
    clear();
    history.erase(std::remove_if(history.begin(), history.end(), [](const map::MapReport& r) { return !r.observed.isValid(); }),
                  history.end());
    std::sort(history.begin(), history.end(), [](const map::MapReport& a, const map::MapReport& b) { return a.observed < b.observed; });
    title_->setText(history.size() == 1 ? tr("%1 — one observation, time in UTC").arg(title)
                                        : tr("%1 — %2 observations, times in UTC").arg(title).arg(history.size()));
    if (history.empty()) return;
    for (Chart* c : {&pressure_, &temperature_, &wind_}) c->view->show();

    double pLow = 1e9, pHigh = -1e9, tLow = 1e9, tHigh = -1e9, wHigh = 0;
    for (const map::MapReport& r : history) {
        const qint64 x = axisTime(r.observed);
        const map::StationValues& v = r.values;
        if (v.seaLevelPressureHpa) {
            pressureSeries_->append(x, *v.seaLevelPressureHpa);
            pLow = std::min(pLow, *v.seaLevelPressureHpa);
            pHigh = std::max(pHigh, *v.seaLevelPressureHpa);
        }
        for (auto [value, series] : {std::pair{v.airTempC, temperatureSeries_}, std::pair{v.dewPointC, dewPointSeries_}}) {
            if (!value) continue;
            series->append(x, *value);
            tLow = std::min(tLow, *value);
            tHigh = std::max(tHigh, *value);
        }
        if (v.windKt) {
            windSeries_->append(x, *v.windKt);
            wHigh = std::max(wHigh, *v.windKt);
            if (v.windFromDeg && *v.windFromDeg > 0 && !v.windVariable) directionSeries_->append(x, *v.windFromDeg);
        }
    }
    const qint64 from = axisTime(history.front().observed), to = axisTime(history.back().observed);
    fitAxes(pressure_, from, to, pLow, pHigh, 6);
    fitAxes(temperature_, from, to, tLow, tHigh, 6);
    fitAxes(wind_, from, to, 0, wHigh, 10);
    wind_.values->setMin(0);
}

QString StationPlotsWidget::title() const { return title_->text(); }
int StationPlotsWidget::pressurePoints() const { return int(pressureSeries_->count()); }
int StationPlotsWidget::temperaturePoints() const { return int(temperatureSeries_->count()); }
int StationPlotsWidget::dewPointPoints() const { return int(dewPointSeries_->count()); }
int StationPlotsWidget::windPoints() const { return int(windSeries_->count()); }

}  // namespace synop::plots

namespace synop::plots {

std::pair<qint64, qint64> StationPlotsWidget::temperatureSpan() const
{
    if (temperatureSeries_->count() == 0) return {0, 0};
    return {qint64(temperatureSeries_->at(0).x()), qint64(temperatureSeries_->at(temperatureSeries_->count() - 1).x())};
}

std::pair<qint64, qint64> StationPlotsWidget::timeAxisRange() const
{
    return {temperature_.time->min().toMSecsSinceEpoch(), temperature_.time->max().toMSecsSinceEpoch()};
}

}  // namespace synop::plots
