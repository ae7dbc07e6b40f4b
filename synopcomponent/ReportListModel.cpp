#include "ReportListModel.h"

#include "synopdecoder/CodeTables.h"
#include "synoplog/ReportSearch.h"

#include <QBrush>
#include <QColor>

namespace synop {
namespace {

ReportFilter warnedOnly(ReportFilter filter)
{
    filter.onlyWarned = true;
    return filter;
}

QString number(const std::optional<double>& value, const char* unit)
{
    return value ? QString::number(*value, 'f', 1) + QString::fromUtf8(unit) : QString();
}

}  // namespace

QString timeText(const LoggedReport& lr)
{
    // The whole date, so that every row of a wide range reads alike; day and
    // time as the report gives them only when no date fits.
    if (lr.observedUtc.isValid()) return lr.observedUtc.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const DecodedReport& r = lr.report;
    if (!r.day || !r.hour) return {};
    return QStringLiteral("%1 %2:%3")
        .arg(*r.day, 2, 10, QLatin1Char('0'))
        .arg(*r.hour, 2, 10, QLatin1Char('0'))
        .arg(r.minute.value_or(0), 2, 10, QLatin1Char('0'));
}

QString windText(const DecodedReport& r)
{
    if (r.windDirDeg == 0 && r.windSpeed == 0) return QStringLiteral("calm");
    QString text = r.windVariable ? QStringLiteral("VRB") : r.windDirDeg ? QStringLiteral("%1°").arg(*r.windDirDeg) : QString();
    if (r.windSpeed) text += QStringLiteral(" %1 %2").arg(*r.windSpeed).arg(QString::fromStdString(r.windUnit.value_or("")));
    return text.trimmed();
}

QString cloudText(const DecodedReport& r)
{
    QStringList parts;
    if (r.cloudCoverOkta) parts << (*r.cloudCoverOkta == 9 ? QStringLiteral("obscured") : QStringLiteral("%1/8").arg(*r.cloudCoverOkta));
    if (r.lowCloud && *r.lowCloud > 0) parts << QString::fromUtf8(tables::lowCloud(*r.lowCloud).data());
    return parts.join(QStringLiteral(", "));
}

ReportListModel::ReportListModel(QObject* parent) : QAbstractTableModel(parent)
{
    nextSlice_.setSingleShot(true);
    nextSlice_.setInterval(0);
    connect(&nextSlice_, &QTimer::timeout, this, &ReportListModel::countSlice);
}

void ReportListModel::setLog(std::shared_ptr<const ReportLog> log)
{
    log_ = std::move(log);
    reload();
}

void ReportListModel::setFilter(const ReportFilter& filter)
{
    if (filter == filter_) return;
    filter_ = filter;
    reload();
}

ReportFilter ReportListModel::storedFilter() const
{
    ReportFilter f = filter_;
    f.uptoId = lastId_;
    f.withGroupMeanings = false;  // the detail view reads its one report again with them
    return f;
}

void ReportListModel::reload()
{
    beginResetModel();
    pages_.clear();
    nextSlice_.stop();
    counting_ = {};
    lastId_ = log_ && log_->isOpen() ? log_->lastId() : 0;
    if (!filter_.text.isEmpty() && isLong(storedFilter())) {
        storedRows_ = storedWarned_ = 0;
        counting_.active = true;
        counting_.next = filter_.afterId;
        nextSlice_.start();
    } else {
        storedRows_ = lastId_ ? log_->count(storedFilter()) : 0;
        storedWarned_ = storedRows_ ? log_->count(warnedOnly(storedFilter())) : 0;
    }
    endResetModel();
    emit shownReportsChanged();
}

bool ReportListModel::isLong(ReportFilter filter) const
{
    // Without the text, counting as far as a slice reads no more rows than one does.
    filter.text.clear();
    return lastId_ - filter.afterId > countSliceRows_ && log_->count(filter, countSliceRows_ + 1) > countSliceRows_;
}

void ReportListModel::countSlice()
{
    if (!counting_.active) return;
    if (!log_ || !log_->isOpen()) {
        countingDone();
        return;
    }
    ReportFilter slice = storedFilter();
    slice.afterId = counting_.next;
    slice.uptoId = std::min(lastId_, counting_.next + countSliceRows_);
    counting_.rows += log_->count(slice);
    counting_.warned += log_->count(warnedOnly(slice));
    counting_.next = slice.uptoId;
    if (counting_.next >= lastId_) {
        countingDone();
        return;
    }
    nextSlice_.start();
    emit countingProgressed();
}

void ReportListModel::countingDone()
{
    nextSlice_.stop();
    beginResetModel();
    pages_.clear();
    storedRows_ = counting_.rows;
    storedWarned_ = counting_.warned;
    counting_.active = false;
    // The unsaved reports listed alone meanwhile now follow the stored ones.
    endResetModel();
    emit shownReportsChanged();
    refresh();  // what was stored meanwhile
}

void ReportListModel::finishCounting()
{
    while (counting_.active) countSlice();
}

int ReportListModel::countedPercent() const
{
    if (!counting_.active) return 100;
    const int64_t span = std::max<int64_t>(1, lastId_ - filter_.afterId);
    return static_cast<int>(100 * (counting_.next - filter_.afterId) / span);
}

void ReportListModel::refresh(bool rowsReplaced)
{
    if (!log_ || !log_->isOpen()) return;
    if (rowsReplaced) {
        reload();
        return;
    }
    // A count under way takes in what was stored meanwhile when it is done.
    if (counting_.active) return;
    const int64_t newest = log_->lastId();
    if (newest <= lastId_) return;
    ReportFilter added = filter_;
    added.afterId = std::max(filter_.afterId, lastId_);
    added.uptoId = newest;
    const int64_t more = log_->count(added);
    lastId_ = newest;
    if (more == 0) return;
    // Counted over the new rows alone, as the rows are: the status line asks
    // after every batch, and over a long log a count of all is a pause.
    storedWarned_ += log_->count(warnedOnly(added));
    // The last page may have been read short; new rows complete it.
    const int64_t lastPage = storedRows_ / kPageRows;
    pages_.remove_if([&](const auto& p) { return p.first >= lastPage; });
    beginInsertRows({}, static_cast<int>(storedRows_), static_cast<int>(storedRows_ + more - 1));
    storedRows_ += more;
    endInsertRows();
    emit shownReportsChanged();
}

void ReportListModel::setUnsaved(const std::deque<LoggedReport>& unsaved)
{
    std::vector<LoggedReport> selected;
    const size_t first = unsaved.size() > kMaxUnsavedRows ? unsaved.size() - kMaxUnsavedRows : 0;
    for (size_t i = first; i < unsaved.size(); ++i)
        if (matches(unsaved[i], filter_)) selected.push_back(unsaved[i]);
    const int begin = static_cast<int>(storedRows_);
    const size_t kept = unsaved_.size();
    // The usual change is reports added at the end; anything else is shown afresh.
    const bool appended = selected.size() >= kept &&
                          std::equal(unsaved_.begin(), unsaved_.end(), selected.begin(),
                                     [](const LoggedReport& a, const LoggedReport& b) { return a.receivedUtc == b.receivedUtc && a.report.raw == b.report.raw; });
    if (appended && selected.size() == kept) return;
    if (appended) {
        beginInsertRows({}, begin + static_cast<int>(kept), begin + static_cast<int>(selected.size()) - 1);
        unsaved_ = std::move(selected);
        endInsertRows();
    } else {
        beginResetModel();
        unsaved_ = std::move(selected);
        endResetModel();
    }
    unsavedWarned_ = std::count_if(unsaved_.begin(), unsaved_.end(), [](auto& r) { return !r.report.warnings.empty(); });
    emit shownReportsChanged();
}

const std::vector<LoggedReport>& ReportListModel::page(int64_t number) const
{
    for (auto it = pages_.begin(); it != pages_.end(); ++it)
        if (it->first == number) {
            pages_.splice(pages_.begin(), pages_, it);
            return pages_.front().second;
        }
    const int64_t first = number * kPageRows;
    const int64_t fromEnd = storedRows_ - std::min(storedRows_, first + kPageRows);
    pages_.emplace_front(number, first > storedRows_ / 2
                                     ? log_->reportsFromEnd(storedFilter(), fromEnd, static_cast<int>(std::min<int64_t>(kPageRows, storedRows_ - first)))
                                     : log_->reports(storedFilter(), first, kPageRows));
    if (pages_.size() > kCachedPages) pages_.pop_back();
    return pages_.front().second;
}

const LoggedReport* ReportListModel::report(int row) const
{
    if (row < 0) return nullptr;
    if (row < storedRows_) {
        const auto& rows = page(row / kPageRows);
        const size_t at = static_cast<size_t>(row % kPageRows);
        return at < rows.size() ? &rows[at] : nullptr;
    }
    const size_t at = static_cast<size_t>(row - storedRows_);
    return at < unsaved_.size() ? &unsaved_[at] : nullptr;
}

int64_t ReportListModel::withWarnings() const { return storedWarned_ + unsavedWarned_; }

int ReportListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(storedRows_ + static_cast<int64_t>(unsaved_.size()));
}

int ReportListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ReportListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::ForegroundRole) return {};
    const LoggedReport* lr = report(index.row());
    if (!lr) return {};
    const DecodedReport* r = &lr->report;
    if (role == Qt::ForegroundRole) {
        if (index.column() == Warnings && !r->warnings.empty()) return QBrush(QColor(0xb0, 0x40, 0x00));
        return {};
    }
    if (role == Qt::ToolTipRole) return QString::fromStdString(r->raw);
    switch (index.column()) {
    case Time: return timeText(*lr);
    case Station: return QString::fromStdString(r->station);
    case Name: return QString::fromStdString(lr->place.name);
    case Country: return QString::fromStdString(lr->place.country);
    case Wind: return r->nil ? QStringLiteral("NIL") : windText(*r);
    case Temperature: return number(r->airTempC, " °C");
    case DewPoint: return r->relHumidityPct ? QStringLiteral("%1 %").arg(*r->relHumidityPct) : number(r->dewPointC, " °C");
    case Pressure: return r->seaLevelPressureHpa ? number(r->seaLevelPressureHpa, " hPa")
                        : r->geopotentialM ? QStringLiteral("%1 hPa at %2 m").arg(*r->geopotentialHpa).arg(*r->geopotentialM)
                                           : number(r->stationPressureHpa, " hPa (stn)");
    case Weather: return QString::fromStdString(r->presentWeatherText);
    case Clouds: return cloudText(*r);
    case Warnings: {
        QStringList texts;
        for (const std::string& w : r->warnings) texts << QString::fromStdString(w);
        return texts.join(QStringLiteral("; "));
    }
    }
    return {};
}

QVariant ReportListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[ColumnCount] = {"Day/UTC", "Station", "Name", "Country", "Wind", "Temp",
                                                     "Dew pt / RH", "Pressure", "Weather", "Clouds", "Warnings"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

}  // namespace synop
