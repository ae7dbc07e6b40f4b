#include "ReportListModel.h"

#include "synopdecoder/CodeTables.h"
#include "synopdecoder/StationCatalog.h"

#include <QBrush>
#include <QColor>

namespace synop {
namespace {

QString number(const std::optional<double>& value, const char* unit)
{
    return value ? QString::number(*value, 'f', 1) + QString::fromUtf8(unit) : QString();
}

const StationInfo* stationInfo(const DecodedReport& r)
{
    const StationCatalog& catalog = StationCatalog::builtIn();
    return r.form == ReportForm::Land ? catalog.landStation(r.station) : catalog.buoy(r.station);
}

}  // namespace

QString timeText(const DecodedReport& r)
{
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
    if (r.windSpeed) text += QStringLiteral(" %1 %2").arg(*r.windSpeed).arg(QString::fromStdString(*r.windUnit));
    return text.trimmed();
}

QString cloudText(const DecodedReport& r)
{
    QStringList parts;
    if (r.cloudCoverOkta) parts << (*r.cloudCoverOkta == 9 ? QStringLiteral("obscured") : QStringLiteral("%1/8").arg(*r.cloudCoverOkta));
    if (r.lowCloud && *r.lowCloud > 0) parts << QString::fromUtf8(tables::lowCloud(*r.lowCloud).data());
    return parts.join(QStringLiteral(", "));
}

void ReportListModel::append(DecodedReport report)
{
    if (reports_.size() >= kMaxRows) {
        beginRemoveRows({}, 0, 0);
        reports_.pop_front();
        endRemoveRows();
    }
    const int row = static_cast<int>(reports_.size());
    beginInsertRows({}, row, row);
    reports_.push_back(std::move(report));
    endInsertRows();
}

void ReportListModel::clear()
{
    beginResetModel();
    reports_.clear();
    endResetModel();
}

const DecodedReport* ReportListModel::report(int row) const
{
    return row >= 0 && row < static_cast<int>(reports_.size()) ? &reports_[static_cast<size_t>(row)] : nullptr;
}

int ReportListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(reports_.size());
}

int ReportListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ReportListModel::data(const QModelIndex& index, int role) const
{
    const DecodedReport* r = report(index.row());
    if (!r) return {};
    if (role == Qt::ForegroundRole && index.column() == Warnings && !r->warnings.empty())
        return QBrush(QColor(0xb0, 0x40, 0x00));
    if (role == Qt::ToolTipRole) return QString::fromStdString(r->raw);
    if (role != Qt::DisplayRole) return {};
    const StationInfo* info = index.column() == Name || index.column() == Country ? stationInfo(*r) : nullptr;
    switch (index.column()) {
    case Time: return timeText(*r);
    case Station: return QString::fromStdString(r->station);
    case Name: return info ? QString::fromStdString(info->name) : QString();
    case Country: return info ? QString::fromStdString(info->country) : QString();
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
