#pragma once
// The component's window: the reports of the station log (the last 24
// hours unless the user widens the range), the selected report group by
// group with what each group means, and saving what is listed.
#include "ReportListModel.h"
#include "ReportSaver.h"

#include <QTimer>
#include <QWidget>

class QComboBox;
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

    static constexpr int kRowsShownAtLeast = 10;
    // On a screen too short for ten rows below the main window, the list
    // gives up rows down to this many before the window covers the main one.
    static constexpr int kRowsShownOnAShortScreen = 4;
    // Sets the list's minimum to this many rows and returns the window's
    // minimum height that follows from it.
    int setRowsShownAtLeast(int rows);

    // Shows the log's reports of the chosen time range; null lists from memory only.
    void setLog(std::shared_ptr<const ReportLog> log);
    const ReportLog* log() const { return model_.log(); }
    ReportListModel& model() { return model_; }
    // What the list shows: time range, text, NIL reports. Other tabs read the same selection.
    const ReportFilter& filter() const { return model_.filter(); }
    void setListNil(bool listNil);

    // Rows as listed, after the filter.
    void selectRow(int row);
    void setFilterText(const QString& text);
    // Hours back from now that the list covers; 0 for everything.
    void setTimeRangeHours(int hours);
    int visibleRows() const { return model_.rowCount(); }
    // Saves what is listed; on failure the reason is shown and returned.
    QString save(const QString& path, ExportFormat format);
    QString statusText() const { return statusText_; }
    // A lasting condition (the log cannot be written) shown before the counts.
    void setLogProblem(const QString& problem);
    // The log took (or could not take) the reports of a batch; those it could
    // not take are listed from memory, which lost the oldest of them past its bound.
    void reportsStored(bool rowsReplaced, const std::deque<LoggedReport>& keptInMemory, int64_t lostFromMemory = 0);
    int detailRows() const;
    // The report list is tab 0; further views of the same reports are added here.
    QTabWidget* tabs() const { return tabs_; }
    WeatherTabs* weather() const { return weather_; }

signals:
    // The user closed the window (not the host hiding it).
    void closedByUser();
    // The listed selection changed: other tabs read it again.
    void shownReportsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void applyFilter();
    void showDetail(int row);
    void askAndSave(ExportFormat format);
    void updateStatus();

    ReportListModel model_;
    QLineEdit* filter_;
    QComboBox* range_;
    QTableView* table_;
    QTreeWidget* detail_;
    QPlainTextEdit* raw_;
    QLabel* status_;
    QTabWidget* tabs_;
    WeatherTabs* weather_;
    QTimer filterDelay_;
    QString logProblem_;
    QString statusText_;
    int64_t lostFromMemory_ = 0;
    bool followNewest_ = true;
    bool listNil_ = true;
    int64_t clearedUpTo_ = 0;
};

}  // namespace synop
