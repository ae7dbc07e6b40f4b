#pragma once
// The report list as a table over the station log: it counts the reports
// the filter selects and reads them a page at a time as the view scrolls,
// so a log of any size opens at once and the window's memory stays the
// same. Reports that could not be stored (the disk is full or read-only)
// are listed after the stored ones from memory.
#include "synoplog/ReportLog.h"

#include <QAbstractTableModel>
#include <QTimer>
#include <deque>
#include <list>
#include <memory>

namespace synop {

class ReportListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Station, Name, Country, Wind, Temperature, DewPoint, Pressure, Weather, Clouds, Warnings, ColumnCount };
    static constexpr int kPageRows = 200;
    static constexpr size_t kCachedPages = 6;
    static constexpr size_t kMaxUnsavedRows = 5000;

    // A text filter over a range of more stored reports than this is
    // counted a slice of this many row ids at a time between events: its
    // first text decodes every report its stored fields do not answer,
    // seconds over a million rows, and typing, scrolling and arriving text
    // go on meanwhile. The list holds only the unsaved reports until the
    // count is done.
    static constexpr int64_t kCountSliceRows = 10000;
    void setCountSliceRows(int64_t rows) { countSliceRows_ = rows; }
    bool counting() const { return counting_.active; }
    int countedPercent() const;
    // Counts what is left at once (before saving what is listed, say).
    void finishCounting();

    ReportListModel(QObject* parent = nullptr);

    // No log: the list holds only what setUnsaved() gives it.
    void setLog(std::shared_ptr<const ReportLog> log);
    const ReportLog* log() const { return log_.get(); }
    void setFilter(const ReportFilter& filter);
    const ReportFilter& filter() const { return filter_; }
    // Takes in the reports stored since the last look; with rowsReplaced
    // (a correction took a listed report's place) the list is read afresh.
    void refresh(bool rowsReplaced = false);
    // The reports kept in memory because the log could not take them.
    void setUnsaved(const std::deque<LoggedReport>& unsaved);

    const LoggedReport* report(int row) const;
    int storedRows() const { return static_cast<int>(storedRows_); }
    // The stored reports listed: the filter, bounded by the last look at the log.
    ReportFilter storedFilter() const;
    int64_t withWarnings() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The selection of reports changed: new filter, new reports, a refresh.
    void shownReportsChanged();
    // Another slice of a count was done.
    void countingProgressed();

private:
    void reload();
    // More stored reports in the filter's range than a slice holds.
    bool isLong(ReportFilter filter) const;
    void countSlice();
    void countingDone();
    const std::vector<LoggedReport>& page(int64_t number) const;

    std::shared_ptr<const ReportLog> log_;
    ReportFilter filter_;
    int64_t lastId_ = 0;  // the stored rows listed are those up to this one
    int64_t storedRows_ = 0;
    int64_t storedWarned_ = 0;  // of the stored rows listed, those with warnings
    struct Counting {
        bool active = false;
        int64_t next = 0;  // the slice after this row id comes next
        int64_t rows = 0, warned = 0;
    };
    Counting counting_;
    int64_t countSliceRows_ = kCountSliceRows;
    QTimer nextSlice_;
    std::vector<LoggedReport> unsaved_;  // those of the unsaved reports the filter selects
    int64_t unsavedWarned_ = 0;
    mutable std::list<std::pair<int64_t, std::vector<LoggedReport>>> pages_;  // most recently used first
};

// Short texts for the list's columns, shared with the detail view.
QString windText(const DecodedReport& report);
QString cloudText(const DecodedReport& report);
QString timeText(const LoggedReport& report);

}  // namespace synop
