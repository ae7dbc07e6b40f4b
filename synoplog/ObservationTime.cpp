#include "ObservationTime.h"

namespace synop {

std::optional<QDateTime> observationTime(const DecodedReport& r, const QDateTime& receivedUtc)
{
    if (!receivedUtc.isValid()) return std::nullopt;
    const std::optional<qint64> ms = observationMillis(r, receivedUtc.toMSecsSinceEpoch());
    if (!ms) return std::nullopt;
    return QDateTime::fromMSecsSinceEpoch(*ms, Qt::UTC);
}

}  // namespace synop
