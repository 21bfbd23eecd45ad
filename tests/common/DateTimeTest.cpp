// Tests of COleDateTime and CCommonDateTime through their public interface.
#include "commonutility/DateTime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <ostream>
#include <string>

// GoogleTest prints a CString as its UTF-8 text (found through argument-dependent lookup).
static void PrintTo(const CString& text, std::ostream* out) {
    *out << '"' << text.ToUtf8() << '"';
}

namespace {

struct Fields {
    long year, month, day, hour, minute, second, dayOfWeek;
};

bool operator==(const Fields& a, const Fields& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.dayOfWeek == b.dayOfWeek;
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << f.year << '-' << f.month << '-' << f.day << ' ' << f.hour << ':' << f.minute
               << ':' << f.second << " dow " << f.dayOfWeek;
}

// GetDateTime with a recognisable day of week in place, to see whether it was written.
constexpr long kUntouched = 42;

Fields GetFields(const CCommonDateTime& value, int& result) {
    Fields f = {0, 0, 0, 0, 0, 0, kUntouched};
    result = value.GetDateTime(f.year, f.month, f.day, f.hour, f.minute, f.second, f.dayOfWeek);
    return f;
}

Fields GetFields(const CCommonDateTime& value) {
    int result = 0;
    Fields f = GetFields(value, result);
    EXPECT_EQ(1, result);
    return f;
}

CCommonDateTime FromDayCount(double dayCount) {
    CCommonDateTime value;
    value = dayCount;
    return value;
}

std::string Show(const CString& text) { return text.ToUtf8(); }

}  // namespace

TEST(CommonDateTime, DefaultIsTheEpochAndValid) {
    const CCommonDateTime value;
    EXPECT_EQ(COleDateTime::valid, value.GetStatus());
    EXPECT_EQ(0.0, value.m_dt);
    EXPECT_EQ((Fields{1899, 12, 30, 0, 0, 0, 6}), GetFields(value));
    EXPECT_EQ(CString(L"1899-12-30"), value.GetLocalizedDateString());
    EXPECT_EQ(7, value.GetDayOfWeek());  // the base counts 1 = Sunday ... 7 = Saturday
    EXPECT_EQ(364, value.GetDayOfYear());
}

TEST(CommonDateTime, CopiesKeepDayCountAndStatus) {
    CCommonDateTime invalid;
    ASSERT_EQ(1, invalid.FromString(CString(L"2009-02-29 00:00:00")));
    const CCommonDateTime copy(invalid);
    EXPECT_EQ(COleDateTime::invalid, copy.GetStatus());

    CCommonDateTime assigned = FromDayCount(39934.5);
    assigned = invalid;
    EXPECT_EQ(COleDateTime::invalid, assigned.GetStatus());
    EXPECT_EQ(invalid.m_dt, assigned.m_dt);

    assigned = FromDayCount(39934.5);
    EXPECT_EQ(COleDateTime::valid, assigned.GetStatus());
    EXPECT_EQ(39934.5, assigned.m_dt);
}

TEST(CommonDateTime, DayCountsBreakIntoFields) {
    struct Case {
        double dayCount;
        Fields expected;
    };
    const Case cases[] = {
        {1.0, {1899, 12, 31, 0, 0, 0, 0}},
        {2.5, {1900, 1, 1, 12, 0, 0, 1}},
        {-1.25, {1899, 12, 29, 6, 0, 0, 5}},  // whole days back, the fraction forwards
        {-0.75, {1899, 12, 30, 18, 0, 0, 6}},
        {36585.0, {2000, 2, 29, 0, 0, 0, 2}},
        {39934.0 + (10 * 3600 + 20 * 60 + 30) / 86400.0, {2009, 5, 1, 10, 20, 30, 5}},
        {-657434.0, {100, 1, 1, 0, 0, 0, 5}},
        {2958465.0 + 86399.0 / 86400.0, {9999, 12, 31, 23, 59, 59, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        const CCommonDateTime value = FromDayCount(c.dayCount);
        EXPECT_EQ(c.expected, GetFields(value));
        EXPECT_EQ(c.expected.year, value.GetYear());
        EXPECT_EQ(c.expected.month, value.GetMonth());
        EXPECT_EQ(c.expected.day, value.GetDay());
        EXPECT_EQ(c.expected.hour, value.GetHour());
        EXPECT_EQ(c.expected.minute, value.GetMinute());
        EXPECT_EQ(c.expected.second, value.GetSecond());
        EXPECT_EQ(c.expected.dayOfWeek + 1, value.GetDayOfWeek());
    }
}

TEST(CommonDateTime, ValuesWithoutFieldsFailGetDateTime) {
    CCommonDateTime nullValue;
    nullValue.SetStatus(COleDateTime::null);
    CCommonDateTime invalidValue;
    invalidValue.SetStatus(COleDateTime::invalid);
    struct Case {
        const char* what;
        CCommonDateTime value;
    };
    const Case cases[] = {
        {"null", nullValue},
        {"invalid", invalidValue},
        {"1e9 days", FromDayCount(1e9)},
        {"before the year 100", FromDayCount(-657435.0)},
        {"after the year 9999", FromDayCount(2958466.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        int result = -7;
        const Fields f = GetFields(c.value, result);
        EXPECT_EQ(0, result);
        // The six fields are written as -1; the day of week stays as it was.
        EXPECT_EQ((Fields{-1, -1, -1, -1, -1, -1, kUntouched}), f);
        EXPECT_EQ(-1, c.value.GetYear());
        EXPECT_EQ(-1, c.value.GetSecond());
        EXPECT_EQ(-1, c.value.GetDayOfWeek());
    }
}

TEST(CommonDateTime, AssigningAnyNumberMakesTheValueValid) {
    CCommonDateTime value;
    value.SetStatus(COleDateTime::invalid);
    value = 1e9;
    EXPECT_EQ(COleDateTime::valid, value.GetStatus());
    EXPECT_EQ(1e9, value.m_dt);
    EXPECT_EQ(CString(L"Invalid DateTime"), value.GetLocalizedDateString());
}

TEST(CommonDateTime, LocalizedDateString) {
    CCommonDateTime nullValue;
    nullValue.SetStatus(COleDateTime::null);
    EXPECT_TRUE(nullValue.GetLocalizedDateString().IsEmpty());

    CCommonDateTime invalidValue;
    invalidValue.SetStatus(COleDateTime::invalid);
    EXPECT_EQ(CString(L"Invalid DateTime"), invalidValue.GetLocalizedDateString());

    struct Case {
        double dayCount;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {39934.75, L"2009-05-01"},
        {-1.25, L"1899-12-29"},
        {36585.0, L"2000-02-29"},
        {-657434.0, L"0100-01-01"},  // always four digits of year
        {-328717.0, L"0999-12-31"},
        {2958465.5, L"9999-12-31"},
        {-657435.0, L"Invalid DateTime"},
        {2958466.0, L"Invalid DateTime"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        const CString text = FromDayCount(c.dayCount).GetLocalizedDateString();
        EXPECT_EQ(CString(c.expected), text);
    }
}

TEST(CommonDateTime, FromStringReadsFieldsByPosition) {
    struct Case {
        const wchar_t* text;
        Fields expected;
    };
    const Case cases[] = {
        {L"2009-05-01T10:20:30Z", {2009, 5, 1, 10, 20, 30, 5}},
        {L"2009:05:01T10:20:30Z", {2009, 5, 1, 10, 20, 30, 5}},
        {L"2009/05/01 10.20.30", {2009, 5, 1, 10, 20, 30, 5}},
        {L"2009-05-01 10:20:30.999 and more", {2009, 5, 1, 10, 20, 30, 5}},
        {L"2008-02-29 00:00:00", {2008, 2, 29, 0, 0, 0, 5}},
        {L"2000-02-29 23:59:59", {2000, 2, 29, 23, 59, 59, 2}},
        {L"0100-01-01 00:00:00", {100, 1, 1, 0, 0, 0, 5}},
        {L"9999-12-31 23:59:59", {9999, 12, 31, 23, 59, 59, 5}},
        // Fields without digits read as 0, which hours, minutes and seconds accept.
        {L"2009-05-01 ab:cd:ef", {2009, 5, 1, 0, 0, 0, 5}},
        // Each field is read as atoi reads it: blanks, a sign, digits up to the first non-digit.
        {L" 999-05-01 00:00:00", {999, 5, 1, 0, 0, 0, 3}},
        {L"2009- 5-+1 1x:+2: 3", {2009, 5, 1, 1, 2, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.text));
        CCommonDateTime value = FromDayCount(12.5);
        EXPECT_EQ(1, value.FromString(CString(c.text)));
        EXPECT_EQ(COleDateTime::valid, value.GetStatus());
        EXPECT_EQ(c.expected, GetFields(value));
    }
    CCommonDateTime year999;
    ASSERT_EQ(1, year999.FromString(CString(L" 999-05-01 00:00:00")));
    EXPECT_EQ(CString(L"0999-05-01"), year999.GetLocalizedDateString());
}

TEST(CommonDateTime, FromStringRejectsShortTextAndFieldsOutOfRange) {
    const wchar_t* const texts[] = {
        L"",
        L"2009-05-01",
        L"2009-05-01 10:20:3",  // 18 characters
        L"2009-13-01 00:00:00",
        L"2009-00-01 00:00:00",
        L"2009-ab-01 00:00:00",  // no digits: month 0
        L"2009-05-00 00:00:00",
        L"2009-05-32 00:00:00",
        L"2009-05-01 24:00:00",
        L"2009-05-01 00:60:00",
        L"2009-05-01 00:00:60",
        L"2009-05-01 -1:00:00",
        L"0099-01-01 00:00:00",
        L"0000-01-01 00:00:00",
        L"-001-05-01 00:00:00",
        L"abcd-05-01 00:00:00",
    };
    for (const wchar_t* text : texts) {
        SCOPED_TRACE(Show(text));
        // The value keeps its day count and its status, whichever they were.
        CCommonDateTime value = FromDayCount(39934.25);
        EXPECT_EQ(0, value.FromString(CString(text)));
        EXPECT_EQ(39934.25, value.m_dt);
        EXPECT_EQ(COleDateTime::valid, value.GetStatus());

        value.SetStatus(COleDateTime::null);
        EXPECT_EQ(0, value.FromString(CString(text)));
        EXPECT_EQ(COleDateTime::null, value.GetStatus());
    }
}

TEST(CommonDateTime, FromStringMarksNonexistentDatesInvalid) {
    const wchar_t* const texts[] = {
        L"2009-02-29 00:00:00",
        L"1900-02-29 00:00:00",  // a century year that is not a leap year
        L"2100-02-29 12:00:00",
        L"2009-02-30 00:00:00",
        L"2009-04-31 00:00:00",
        L"2009-06-31 00:00:00",
        L"2009-09-31 00:00:00",
        L"2009-11-31 00:00:00",
    };
    for (const wchar_t* text : texts) {
        SCOPED_TRACE(Show(text));
        CCommonDateTime value;
        EXPECT_EQ(1, value.FromString(CString(text)));
        EXPECT_EQ(COleDateTime::invalid, value.GetStatus());
        int result = -7;
        EXPECT_EQ((Fields{-1, -1, -1, -1, -1, -1, kUntouched}), GetFields(value, result));
        EXPECT_EQ(0, result);
        EXPECT_EQ(CString(L"Invalid DateTime"), value.GetLocalizedDateString());
    }
}

TEST(CommonDateTime, InvalidStatusLastsUntilTheNextGoodParse) {
    CCommonDateTime value;
    ASSERT_EQ(1, value.FromString(CString(L"2009-02-29 00:00:00")));
    ASSERT_EQ(COleDateTime::invalid, value.GetStatus());
    EXPECT_EQ(0, value.FromString(CString(L"2009-13-01 00:00:00")));
    EXPECT_EQ(COleDateTime::invalid, value.GetStatus());
    EXPECT_EQ(1, value.FromString(CString(L"2009-03-01 00:00:00")));
    EXPECT_EQ(COleDateTime::valid, value.GetStatus());
    EXPECT_EQ((Fields{2009, 3, 1, 0, 0, 0, 0}), GetFields(value));
}

TEST(CommonDateTime, SetDateTimeChecksTheCalendar) {
    COleDateTime value;
    EXPECT_EQ(1, value.SetDateTime(2009, 5, 1, 10, 20, 30));
    EXPECT_EQ(COleDateTime::valid, value.GetStatus());
    SYSTEMTIME fields = {};
    ASSERT_TRUE(value.GetAsSystemTime(fields));
    EXPECT_EQ(2009, fields.wYear);
    EXPECT_EQ(30, fields.wSecond);
    EXPECT_EQ(121, value.GetDayOfYear());

    EXPECT_EQ(0, value.SetDateTime(2009, 2, 29, 0, 0, 0));
    EXPECT_EQ(COleDateTime::invalid, value.GetStatus());
    EXPECT_FALSE(value.GetAsSystemTime(fields));
    EXPECT_EQ(0, value.SetDateTime(99, 1, 1, 0, 0, 0));
    EXPECT_EQ(0, value.SetDateTime(10000, 1, 1, 0, 0, 0));
    EXPECT_EQ(0, value.SetDateTime(2009, 1, 1, 24, 0, 0));
}

TEST(CommonDateTime, GetNowIsTheLocalTime) {
    // Compare with the C library's local time of the same second; retry when the clock ticked
    // between the two readings.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const CCommonDateTime now = CCommonDateTime::GetNow();
        if (std::time(nullptr) != before) continue;

        ASSERT_EQ(COleDateTime::valid, now.GetStatus());
        const std::tm* local = std::localtime(&before);  // the test runs on one thread
        ASSERT_NE(nullptr, local);
        const std::tm expected = *local;
        EXPECT_EQ((Fields{expected.tm_year + 1900L, expected.tm_mon + 1L, expected.tm_mday + 0L,
                          expected.tm_hour + 0L, expected.tm_min + 0L, expected.tm_sec + 0L,
                          expected.tm_wday + 0L}),
                  GetFields(now));
        // Whole seconds: the day count is exactly that of its fields.
        COleDateTime fromFields;
        ASSERT_EQ(1, fromFields.SetDateTime(expected.tm_year + 1900, expected.tm_mon + 1,
                                            expected.tm_mday, expected.tm_hour, expected.tm_min,
                                            expected.tm_sec));
        EXPECT_EQ(fromFields.m_dt, now.m_dt);
        return;
    }
    FAIL() << "the clock ticked during every attempt";
}
