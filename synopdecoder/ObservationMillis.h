#pragma once
// A report names only the day of the month and the hour (buoys add the
// month): the full UTC date is the latest one that fits those figures and
// is not later than the reception, give or take a station's clock.
#include "synopdecoder/Report.h"

#include <cstdint>
#include <optional>

namespace synop {

// How far ahead of the reception an observation time may lie: reports go
// out a few minutes early, and receiver clocks drift.
inline constexpr int64_t kObservationLeadSeconds = 12 * 3600;

// The observation in ms since 1970 UTC, from the reception in ms. Empty
// when the report gives no day and hour, or figures that fit no date near
// the reception (day 31 received on 1 March).
std::optional<int64_t> observationMillis(const DecodedReport& report, int64_t receivedMs);

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(long long year, int month, int day);
// The date of a day counted from 1970-01-01 (negative before it).
void civilFromDays(long long days, long long& year, int& month, int& day);
int daysInMonth(long long year, int month);

}  // namespace synop
