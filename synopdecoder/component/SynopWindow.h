#pragma once
// The component's window: decoded reports as they arrive, the selected
// report group by group with what each group means, and saving the list.
#include "ReportListModel.h"
#include "ReportSaver.h"

#include <QSortFilterProxyModel>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTableView;
class QTreeWidget;

namespace synop {

class WeatherTabs;

class SynopWindow : public QWidget {
    Q_OBJECT
public:
    explicit SynopWindow(QWidget* parent = nullptr);

    ReportListModel& model() { return model_; }
    void addReport(DecodedReport report);
    // Rows as listed, after the filter.
    void selectRow(int row);
    void setFilterText(const QString& text);
    int visibleRows() const { return proxy_.rowCount(); }
    // Saves the list; on failure the reason is shown and returned.
    QString save(const QString& path, SaveFormat format);
    QString statusText() const;
    int detailRows() const;
    // The report list is tab 0; further views of the same reports are added here.
    QTabWidget* tabs() const { return tabs_; }
    WeatherTabs* weather() const { return weather_; }

private:
    void showDetail(int row);
    void askAndSave(SaveFormat format);
    void updateStatus();

    ReportListModel model_;
    QSortFilterProxyModel proxy_;
    QLineEdit* filter_;
    QTableView* table_;
    QTreeWidget* detail_;
    QPlainTextEdit* raw_;
    QLabel* status_;
    QTabWidget* tabs_;
    WeatherTabs* weather_;
    bool followNewest_ = true;
};

}  // namespace synop
