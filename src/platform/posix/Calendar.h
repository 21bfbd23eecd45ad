// Proleptic Gregorian dates from day counts and back, shared by the OLE date and the file time
// conversions.
#pragma once

#include <cstdint>

namespace cu::detail {

// Days from 1601-01-01 (the file time epoch) to 1970-01-01: 369 years with 89 leap days.
constexpr std::int64_t kFileTimeEpochDays = 369LL * 365 + 89;

// Days since 1970-01-01 of a date (H. Hinnant's days_from_civil); month 1 to 12.
inline std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// The date of a day count since 1970-01-01 (civil_from_days: 400-year eras from 0000-03-01).
inline void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

// The day of the week of a day count since 1970-01-01, a Thursday: 0 is Sunday.
inline unsigned DayOfWeek(std::int64_t z) { return static_cast<unsigned>(((z % 7) + 11) % 7); }

}  // namespace cu::detail
