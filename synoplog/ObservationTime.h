#pragma once
// A report's observation time as a QDateTime, for the log and the window;
// worked out in synopdecoder/ObservationMillis.h.
#include "synopdecoder/ObservationMillis.h"

#include <QDateTime>
#include <optional>

namespace synop {

// Empty when the report gives no day and hour, or figures that fit no date
// near the reception (day 31 received on 1 March).
std::optional<QDateTime> observationTime(const DecodedReport& report, const QDateTime& receivedUtc);

}  // namespace synop
