#pragma once
// The decoded reports as a table, newest last, with a ceiling on the rows
// kept so that a window left open for days does not grow without end.
#include "synopdecoder/Report.h"

#include <QAbstractTableModel>
#include <deque>

namespace synop {

class ReportListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Station, Name, Country, Wind, Temperature, DewPoint, Pressure, Weather, Clouds, Warnings, ColumnCount };
    static constexpr size_t kMaxRows = 5000;

    using QAbstractTableModel::QAbstractTableModel;

    void append(DecodedReport report);
    void clear();
    const DecodedReport* report(int row) const;
    const std::deque<DecodedReport>& reports() const { return reports_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::deque<DecodedReport> reports_;
};

// Short texts for the list's columns, shared with the detail view.
QString windText(const DecodedReport& report);
QString cloudText(const DecodedReport& report);
QString timeText(const DecodedReport& report);

}  // namespace synop
