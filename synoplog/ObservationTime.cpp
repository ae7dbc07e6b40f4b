#include "ObservationTime.h"

#include <QTimeZone>

namespace synop {
namespace {

std::optional<QDateTime> at(int year, int month, int day, const QTime& time)
{
    const QDate date(year, month, day);  // invalid for 31 April and the like
    if (!date.isValid()) return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

}  // namespace

std::optional<QDateTime> observationTime(const DecodedReport& r, const QDateTime& receivedUtc)
{
    if (!r.day || !r.hour || !receivedUtc.isValid()) return std::nullopt;
    const QTime time(*r.hour, r.minute.value_or(0));
    if (!time.isValid()) return std::nullopt;
    const QDateTime received = receivedUtc.toUTC();
    const QDateTime latest = received.addSecs(kObservationLeadSeconds);
    const QDate today = received.date();

    // Candidates around the reception, newest first: the first one that is
    // not in the future is the observation.
    std::optional<QDateTime> found;
    if (r.month) {
        for (int year = today.year() + 1; year >= today.year() - 1 && !found; --year) {
            auto candidate = at(year, *r.month, *r.day, time);
            if (candidate && *candidate <= latest) found = candidate;
        }
    } else {
        for (int step = 1; step >= -1 && !found; --step) {
            const QDate month = QDate(today.year(), today.month(), 1).addMonths(step);
            auto candidate = at(month.year(), month.month(), *r.day, time);
            if (candidate && *candidate <= latest) found = candidate;
        }
    }
    return found;
}

}  // namespace synop
