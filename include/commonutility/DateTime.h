// The date and time value: COleDateTime and CCommonDateTime.
#pragma once

#include "commonutility/CString.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

// A local date and time held as an OLE Automation date: days since 1899-12-30 00:00:00, the
// fraction being the time of day. A negative count goes back whole days from 1899-12-30 while its
// fraction still counts forward from midnight: -1.25 is 1899-12-29 06:00:00. Calendar fields
// exist for the years 100 to 9999 and are whole seconds.
class COMMONUTILITY_API COleDateTime {
public:
    enum DateTimeStatus { valid = 0, invalid = 1, null = 2 };

    COleDateTime() = default;  // 1899-12-30 00:00:00, valid
    COleDateTime(const COleDateTime&) = default;
    COleDateTime& operator=(const COleDateTime&) = default;
    virtual ~COleDateTime() = default;

    // The day count becomes the argument and the value valid; no range is checked.
    COleDateTime& operator=(DATE dayCount);

    DateTimeStatus GetStatus() const { return m_status; }
    void SetStatus(DateTimeStatus status) { m_status = status; }

    // Each field on its own; -1 when the value is not valid or its day count has no fields.
    int GetYear() const;
    int GetMonth() const;
    int GetDay() const;
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const;  // 1 = Sunday ... 7 = Saturday
    int GetDayOfYear() const;  // 1 ... 366

    // All fields at once (milliseconds 0); false when the value is not valid or has no fields.
    bool GetAsSystemTime(SYSTEMTIME& fields) const;

    // Sets the value from calendar fields. A date that does not exist in the calendar
    // (30 February) or lies outside the years 100 to 9999 makes the value invalid. Returns 1 when
    // the value is valid afterwards, else 0.
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);

    DATE m_dt = 0.0;
    DateTimeStatus m_status = valid;
};

// The library's date value: an OLE Automation date with parsing, formatting and the current time.
class COMMONUTILITY_API CCommonDateTime : public COleDateTime {
public:
    CCommonDateTime() = default;
    CCommonDateTime(const CCommonDateTime&) = default;
    CCommonDateTime& operator=(const CCommonDateTime&) = default;
    CCommonDateTime& operator=(double dayCount);
    ~CCommonDateTime() override = default;

    // Year, month, day, hour, minute, second and day of week (0 = Sunday). The six fields are
    // always written, -1 where they cannot be had; the day of week only on success (result 1).
    int GetDateTime(long& year, long& month, long& day, long& hour, long& minute, long& second,
                    long& dayOfWeek) const;

    // "YYYY-MM-DD"; "Invalid DateTime" for a value without fields; empty for a null value.
    CString GetLocalizedDateString() const;

    // The current local date and time, to the second.
    static CCommonDateTime GetNow();

    // Reads "YYYY?MM?DD?hh?mm?ss" by position (the separators are not looked at, text after the
    // 19th character is ignored). Returns 0 and keeps the value when the text is too short or a
    // number is out of range; otherwise 1, with status invalid for a date that does not exist.
    int FromString(const CString& text);
};
