// The date and time value: COleDateTime and CCommonDateTime.
#include "commonutility/DateTime.h"

#include <cmath>
#include <ctime>

#include "common/DateText.h"
#include "platform/win32.h"

namespace {

// The fields of a valid value, or false when it is not valid or its day count has none.
// Caveats: Windows' conversion gives 1899-12-30 for a NaN and the year 10000 for a day count that
// rounds past 9999-12-31 23:59:59; both are refused here, as the POSIX conversion refuses them.
bool BreakValue(const COleDateTime& value, UDATE& fields) {
    return value.GetStatus() == COleDateTime::valid && std::isfinite(value.m_dt) &&
           SUCCEEDED(VarUdateFromDate(value.m_dt, 0, &fields)) && fields.st.wYear >= 100 &&
           fields.st.wYear <= 9999;
}

int FieldOrMinusOne(const COleDateTime& value, WORD SYSTEMTIME::*field) {
    UDATE fields;
    return BreakValue(value, fields) ? fields.st.*field : -1;
}

}  // namespace

COleDateTime& COleDateTime::operator=(DATE dayCount) {
    m_dt = dayCount;
    m_status = valid;
    return *this;
}

int COleDateTime::GetYear() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wYear); }
int COleDateTime::GetMonth() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wMonth); }
int COleDateTime::GetDay() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wDay); }
int COleDateTime::GetHour() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wHour); }
int COleDateTime::GetMinute() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wMinute); }
int COleDateTime::GetSecond() const { return FieldOrMinusOne(*this, &SYSTEMTIME::wSecond); }

int COleDateTime::GetDayOfWeek() const {
    const int day = FieldOrMinusOne(*this, &SYSTEMTIME::wDayOfWeek);
    return day < 0 ? -1 : day + 1;
}

int COleDateTime::GetDayOfYear() const {
    UDATE fields;
    return BreakValue(*this, fields) ? fields.wDayOfYear : -1;
}

bool COleDateTime::GetAsSystemTime(SYSTEMTIME& fields) const {
    UDATE all;
    if (!BreakValue(*this, all)) return false;
    fields = all.st;
    return true;
}

// The platform conversion rolls a day beyond the month's end over into the next month, so the
// result is converted back and must give the same fields: 30 February does not exist.
int COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME fields = {};
    fields.wYear = static_cast<WORD>(year);
    fields.wMonth = static_cast<WORD>(month);
    fields.wDay = static_cast<WORD>(day);
    fields.wHour = static_cast<WORD>(hour);
    fields.wMinute = static_cast<WORD>(minute);
    fields.wSecond = static_cast<WORD>(second);

    const bool inRange = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                         day <= 31 && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
                         second >= 0 && second <= 59;
    DATE dayCount = 0.0;
    SYSTEMTIME back = {};
    const bool exists = inRange && SystemTimeToVariantTime(&fields, &dayCount) &&
                        VariantTimeToSystemTime(dayCount, &back) && back.wYear == fields.wYear &&
                        back.wMonth == fields.wMonth && back.wDay == fields.wDay &&
                        back.wHour == fields.wHour && back.wMinute == fields.wMinute &&
                        back.wSecond == fields.wSecond;
    m_dt = dayCount;
    m_status = exists ? valid : invalid;
    return exists ? 1 : 0;
}

CCommonDateTime& CCommonDateTime::operator=(double dayCount) {
    COleDateTime::operator=(dayCount);
    return *this;
}

int CCommonDateTime::GetDateTime(long& year, long& month, long& day, long& hour, long& minute,
                                 long& second, long& dayOfWeek) const {
    UDATE fields;
    const bool ok = BreakValue(*this, fields);
    year = ok ? fields.st.wYear : -1;
    month = ok ? fields.st.wMonth : -1;
    day = ok ? fields.st.wDay : -1;
    hour = ok ? fields.st.wHour : -1;
    minute = ok ? fields.st.wMinute : -1;
    second = ok ? fields.st.wSecond : -1;
    if (!ok) return 0;
    dayOfWeek = fields.st.wDayOfWeek;
    return 1;
}

CString CCommonDateTime::GetLocalizedDateString() const {
    if (GetStatus() == null) return CString();
    UDATE fields;
    if (!BreakValue(*this, fields)) return CString(L"Invalid DateTime");

    // Formatted here rather than by wcsftime: its "%Y" gives "999" for the year 999 in glibc, while
    // the text always carries four digits of year.
    CString text;
    text.Format(L"%04d-%02d-%02d", static_cast<int>(fields.st.wYear),
                static_cast<int>(fields.st.wMonth), static_cast<int>(fields.st.wDay));
    return text;
}

CCommonDateTime CCommonDateTime::GetNow() {
    CCommonDateTime now;
    __time64_t seconds = 0;
    _time64(&seconds);
    struct tm local = {};
    if (_localtime64_s(&local, &seconds) != 0) {
        now.SetStatus(invalid);
        return now;
    }
    now.SetDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                    local.tm_min, local.tm_sec);
    return now;
}

int CCommonDateTime::FromString(const CString& text) {
    return cu::detail::ReadDateText(*this, text.GetString(), static_cast<std::size_t>(text.GetLength()));
}
