#pragma once
// A station's weather over time: sea-level pressure, temperature with dew
// point, and wind speed with its direction, on one time axis (UTC).
#include "synopcomponent/map/StationValues.h"

#include <QWidget>
#include <vector>

class QChart;
class QChartView;
class QLabel;
class QLineSeries;
class QScatterSeries;
class QDateTimeAxis;
class QValueAxis;

namespace synop::plots {

class StationPlotsWidget : public QWidget {
    Q_OBJECT
public:
    explicit StationPlotsWidget(QWidget* parent = nullptr);

    // The reports of one station, in any order; those without a known
    // observation time are left out.
    void setHistory(const QString& title, std::vector<map::MapReport> history);
    void clear();

    // What the charts hold, for the tests.
    QString title() const;
    int pressurePoints() const;
    int temperaturePoints() const;
    int dewPointPoints() const;
    int windPoints() const;
    // The first and last x of the temperature series, and the time axis's range (axis time, see the .cpp).
    std::pair<qint64, qint64> temperatureSpan() const;
    std::pair<qint64, qint64> timeAxisRange() const;

private:
    struct Chart {
        QChart* chart;
        QChartView* view;
        QDateTimeAxis* time;
        QValueAxis* values;
    };
    Chart makeChart(const QString& unit);
    void fitAxes(Chart& chart, qint64 from, qint64 to, double low, double high, double minimumSpan);

    QLabel* title_;
    Chart pressure_, temperature_, wind_;
    QLineSeries* pressureSeries_;
    QLineSeries* temperatureSeries_;
    QLineSeries* dewPointSeries_;
    QLineSeries* windSeries_;
    QScatterSeries* directionSeries_;
    QValueAxis* directionAxis_;
};

}  // namespace synop::plots
