#include "synopdecoder/ObservationMillis.h"

namespace synop {

// Civil dates in plain arithmetic (H. Hinnant's algorithms): a decoder run
// asks for one per report, and Qt's calendar cost more than decoding it.
long long daysFromCivil(long long year, int month, int day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(long long days, long long& year, int& month, int& day)
{
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2);
}

int daysInMonth(long long year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

namespace {

constexpr int64_t kDayMs = 86400000;

}  // namespace

std::optional<int64_t> observationMillis(const DecodedReport& r, int64_t receivedMs)
{
    if (!r.day || !r.hour) return std::nullopt;
    const int minute = r.minute.value_or(0);
    if (*r.hour < 0 || *r.hour > 23 || minute < 0 || minute > 59 || *r.day < 1) return std::nullopt;
    const int64_t latestMs = receivedMs + kObservationLeadSeconds * 1000;
    const int64_t inDayMs = *r.hour * 3600000LL + minute * 60000LL;
    long long year = 0;
    int month = 0, today = 0;
    civilFromDays(receivedMs >= 0 ? receivedMs / kDayMs : (receivedMs - kDayMs + 1) / kDayMs, year, month, today);

    // Candidates around the reception, newest first: the first one that is
    // not in the future is the observation. A day the month does not have
    // (31 April) is no candidate.
    auto candidate = [&](long long y, int m) -> std::optional<int64_t> {
        if (m < 1 || m > 12 || *r.day > daysInMonth(y, m)) return std::nullopt;
        const int64_t ms = daysFromCivil(y, m, *r.day) * kDayMs + inDayMs;
        if (ms > latestMs) return std::nullopt;
        return ms;
    };
    std::optional<int64_t> found;
    if (r.month) {
        for (long long y = year + 1; y >= year - 1 && !found; --y) found = candidate(y, *r.month);
    } else {
        for (int step = 1; step >= -1 && !found; --step) {
            const int index = month - 1 + step;  // -1 to 12
            found = candidate(year + (index < 0 ? -1 : index > 11 ? 1 : 0), (index + 12) % 12 + 1);
        }
    }
    return found;
}

}  // namespace synop
