// OLE Automation date conversions and the C runtime's 64-bit local time, for POSIX.
//
// A day count is the number of days since 1899-12-30 00:00:00. Its integer part counts whole days
// (backwards when negative) and its fraction, whatever the sign, is the time since midnight of
// that day: -1.25 is 1899-12-29 06:00:00. Calendar fields exist for 0100-01-01 to 9999-12-31.
#include <cerrno>
#include <cmath>
#include <cstdint>

#include "platform/posix/Calendar.h"
#include "platform/posix/Win32Posix.h"

namespace {

using cu::detail::CivilFromDays;
using cu::detail::DaysFromCivil;

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1899-12-30 to 1970-01-01, and the first and last day that have calendar fields.
constexpr std::int64_t kUnixEpochDay = 25569;
constexpr std::int64_t kFirstDay = -657434;  // 0100-01-01
constexpr std::int64_t kLastDay = 2958465;   // 9999-12-31

// Breaks a day count into fields, to the nearest second.
bool BreakDayCount(DATE dayCount, UDATE& out) {
    if (!(dayCount > static_cast<double>(kFirstDay - 1) && dayCount < static_cast<double>(kLastDay + 1)))
        return false;  // also rejects NaN
    const double whole = std::trunc(dayCount);
    auto day = static_cast<std::int64_t>(whole);
    auto seconds = static_cast<std::int64_t>(std::floor(std::fabs(dayCount - whole) * kSecondsPerDay + 0.5));
    if (seconds >= kSecondsPerDay) {  // 23:59:59.5 and later round up to the next midnight
        seconds -= kSecondsPerDay;
        ++day;
    }
    if (day < kFirstDay || day > kLastDay) return false;

    std::int64_t year;
    unsigned month, mday;
    const std::int64_t unixDay = day - kUnixEpochDay;
    CivilFromDays(unixDay, year, month, mday);
    out.st.wYear = static_cast<WORD>(year);
    out.st.wMonth = static_cast<WORD>(month);
    out.st.wDay = static_cast<WORD>(mday);
    out.st.wHour = static_cast<WORD>(seconds / 3600);
    out.st.wMinute = static_cast<WORD>(seconds / 60 % 60);
    out.st.wSecond = static_cast<WORD>(seconds % 60);
    out.st.wMilliseconds = 0;
    out.st.wDayOfWeek = static_cast<WORD>(cu::detail::DayOfWeek(unixDay));
    out.wDayOfYear = static_cast<USHORT>(unixDay - DaysFromCivil(year, 1, 1) + 1);
    return true;
}

}  // namespace

// Caveats: Windows also rolls over hours, minutes and seconds beyond their range and reads the
// years 0 to 99 as two-digit years; here such fields fail. A day beyond the month's last day rolls
// over into the next month as on Windows (30 February is 2 March, or 1 March in a leap year).
// Milliseconds are ignored.
INT SystemTimeToVariantTime(LPSYSTEMTIME fields, DATE* dayCount) {
    if (fields == nullptr || dayCount == nullptr) return FALSE;
    const SYSTEMTIME& st = *fields;
    if (st.wYear < 100 || st.wYear > 9999 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > 31 || st.wHour > 23 || st.wMinute > 59 || st.wSecond > 59)
        return FALSE;
    const std::int64_t day = DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kUnixEpochDay;
    if (day > kLastDay) return FALSE;
    const double fraction =
        static_cast<double>(st.wHour * 3600 + st.wMinute * 60 + st.wSecond) / kSecondsPerDay;
    *dayCount = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
    return TRUE;
}

INT VariantTimeToSystemTime(DATE dayCount, LPSYSTEMTIME fields) {
    UDATE out;
    if (fields == nullptr || !BreakDayCount(dayCount, out)) return FALSE;
    *fields = out.st;
    return TRUE;
}

HRESULT VarUdateFromDate(DATE dayCount, ULONG /*flags*/, UDATE* fields) {
    UDATE out;
    if (fields == nullptr || !BreakDayCount(dayCount, out)) return E_INVALIDARG;
    *fields = out;
    return S_OK;
}

__time64_t _time64(__time64_t* out) {
    const auto now = static_cast<__time64_t>(std::time(nullptr));
    if (out != nullptr) *out = now;
    return now;
}

errno_t _localtime64_s(struct tm* out, const __time64_t* time) {
    if (out == nullptr || time == nullptr || *time < 0) return EINVAL;
    const auto t = static_cast<std::time_t>(*time);
    return localtime_r(&t, out) != nullptr ? 0 : EINVAL;
}
