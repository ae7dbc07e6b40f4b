#pragma once
// A report names only the day of the month and the hour (buoys add the
// month): the full UTC date is the latest one that fits those figures and
// is not later than the reception, give or take a station's clock.
#include "synopdecoder/Report.h"

#include <QDateTime>
#include <optional>

namespace synop {

// How far ahead of the reception an observation time may lie: reports go
// out a few minutes early, and receiver clocks drift.
inline constexpr qint64 kObservationLeadSeconds = 12 * 3600;

// Empty when the report gives no day and hour, or figures that fit no date
// near the reception (day 31 received on 1 March).
std::optional<QDateTime> observationTime(const DecodedReport& report, const QDateTime& receivedUtc);
// The same in ms since 1970 UTC, from the reception in ms: what the log
// stores, without a QDateTime made and read back for every report.
std::optional<qint64> observationMillis(const DecodedReport& report, qint64 receivedMs);

}  // namespace synop
