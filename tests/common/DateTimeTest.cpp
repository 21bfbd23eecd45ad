// Tests of COleDateTime and CCommonDateTime through their public interface.
#include "commonutility/DateTime.h"

#include <gtest/gtest.h>

#include <array>
#include <ctime>
#include <limits>
#include <string>

namespace {

// Year, month, day, hour, minute, second and day of week (0 = Sunday), as GetDateTime gives them.
using Fields = std::array<long, 7>;

// GetDateTime starts from a recognisable day of week, to see whether it was written. On failure
// the six fields are written as -1 and the day of week stays as it was.
constexpr long kUntouched = 42;
constexpr Fields kNoFields = {-1, -1, -1, -1, -1, -1, kUntouched};

Fields GetFields(const CCommonDateTime& value) {
    Fields f = {0, 0, 0, 0, 0, 0, kUntouched};
    const int result = value.GetDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    EXPECT_EQ(f == kNoFields ? 0 : 1, result);
    return f;
}

}  // namespace

TEST(CommonDateTime, DayCountsGiveFieldsAndDateText) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    struct Case { double dayCount; Fields fields; const char* text; };
    const Case cases[] = {
        {0.0, {1899, 12, 30, 0, 0, 0, 6}, "1899-12-30"},
        {-657434.0, {100, 1, 1, 0, 0, 0, 5}, "0100-01-01"},  // always four digits of year
        {2958465.0 + 86399 / 86400.0, {9999, 12, 31, 23, 59, 59, 5}, "9999-12-31"},
        {2958466.0, kNoFields, "Invalid DateTime"},
        {-657435.0, kNoFields, "Invalid DateTime"},
        // Half a second before year 10000 rounds into it; a day count that is not a number has no
        // date at all, whatever the platform's conversion answers.
        {2958465.0 + 86399.6 / 86400.0, kNoFields, "Invalid DateTime"},
        {kNaN, kNoFields, "Invalid DateTime"}, {-kNaN, kNoFields, "Invalid DateTime"},
        {kInfinity, kNoFields, "Invalid DateTime"}, {-kInfinity, kNoFields, "Invalid DateTime"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        CCommonDateTime value;
        value = c.dayCount;
        EXPECT_EQ(c.fields, GetFields(value));
        EXPECT_EQ(c.text, value.GetLocalizedDateString().ToUtf8());
        // The single getters give -1 for no fields and count the day of week from 1 = Sunday.
        Fields single = c.fields;
        single[6] = c.fields == kNoFields ? -1 : c.fields[6] + 1;
        EXPECT_EQ(single, (Fields{value.GetYear(), value.GetMonth(), value.GetDay(),
                                  value.GetHour(), value.GetMinute(), value.GetSecond(),
                                  value.GetDayOfWeek()}));
    }
}

TEST(CommonDateTime, NullAndInvalidValuesHaveNoFields) {
    CCommonDateTime value;
    value.SetStatus(COleDateTime::null);
    EXPECT_EQ(kNoFields, GetFields(value));
    EXPECT_EQ(-1, value.GetDayOfWeek());
    EXPECT_EQ("", value.GetLocalizedDateString().ToUtf8());
    // A rejected text keeps the status, a date that does not exist makes it invalid until the
    // next good text.
    EXPECT_EQ(0, value.FromString(CString(L"2009-13-01 00:00:00")));
    EXPECT_EQ(COleDateTime::null, value.GetStatus());
    ASSERT_EQ(1, value.FromString(CString(L"2009-02-29 00:00:00")));
    EXPECT_EQ(0, value.FromString(CString(L"2009-13-01 00:00:00")));
    EXPECT_EQ(COleDateTime::invalid, value.GetStatus());
    EXPECT_EQ(-1, value.GetYear());
    EXPECT_EQ("Invalid DateTime", value.GetLocalizedDateString().ToUtf8());
    EXPECT_EQ(1, value.FromString(CString(L"2009-03-01 00:00:00")));
    EXPECT_EQ((Fields{2009, 3, 1, 0, 0, 0, 0}), GetFields(value));
    // Any number makes a value valid, whether it has fields or not.
    value.SetStatus(COleDateTime::invalid);
    value = 1e9;
    EXPECT_EQ(COleDateTime::valid, value.GetStatus());
}

TEST(CommonDateTime, FromStringReadsFieldsByPositionAndChecksRanges) {
    // Every case starts from 2009-05-01 06:00:00, which a rejected text leaves as it was.
    const Fields kept = {2009, 5, 1, 6, 0, 0, 5};
    struct Case { const wchar_t* text; int result; Fields fields; };
    const Case cases[] = {
        // Read by position: separators and whatever follows the 19th character are not looked at.
        {L"2009-05-01T10:20:30Z", 1, {2009, 5, 1, 10, 20, 30, 5}},
        {L"2000/02/29 23.59.59.999 and more", 1, {2000, 2, 29, 23, 59, 59, 2}},
        {L"0100-01-01 00:00:00", 1, {100, 1, 1, 0, 0, 0, 5}},
        {L"9999-12-31 23:59:59", 1, {9999, 12, 31, 23, 59, 59, 5}},
        // Each field is read as atoi reads it: blanks, a sign, digits up to the first non-digit;
        // no digits read as 0, which hours, minutes and seconds accept.
        {L" 999-05-01 ab:cd:ef", 1, {999, 5, 1, 0, 0, 0, 3}},
        {L"2009- 5-+1 1x:+2: 3", 1, {2009, 5, 1, 1, 2, 3, 5}},
        // A date that does not exist is read, and makes the value invalid.
        {L"2009-02-29 00:00:00", 1, kNoFields},
        {L"1900-02-29 00:00:00", 1, kNoFields},  // a century year that is not a leap year
        {L"2009-04-31 00:00:00", 1, kNoFields}, {L"2009-06-31 00:00:00", 1, kNoFields},
        {L"2009-09-31 00:00:00", 1, kNoFields}, {L"2009-11-31 00:00:00", 1, kNoFields},
        // Short text and numbers out of range are rejected.
        {L"", 0, kept}, {L"2009-05-01 10:20:3", 0, kept},  // the second is 18 characters
        {L"0099-01-01 00:00:00", 0, kept}, {L"2009-13-01 00:00:00", 0, kept},
        {L"2009-ab-01 00:00:00", 0, kept}, {L"2009-05-32 00:00:00", 0, kept},  // month 0, day 32
        {L"2009-05-01 24:00:00", 0, kept}, {L"2009-05-01 -1:00:00", 0, kept},
        {L"2009-05-01 00:60:00", 0, kept}, {L"2009-05-01 00:00:60", 0, kept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.text).ToUtf8());
        CCommonDateTime value;
        value = 39934.25;
        EXPECT_EQ(c.result, value.FromString(CString(c.text)));
        EXPECT_EQ(c.fields, GetFields(value));
        EXPECT_EQ(c.fields == kNoFields ? COleDateTime::invalid : COleDateTime::valid,
                  value.GetStatus());
    }
}

TEST(CommonDateTime, SetDateTimeRejectsDatesOutsideTheCalendar) {
    COleDateTime value;
    EXPECT_EQ(1, value.SetDateTime(2009, 5, 1, 10, 20, 30));
    EXPECT_EQ(121, value.GetDayOfYear());
    SYSTEMTIME fields = {};
    ASSERT_TRUE(value.GetAsSystemTime(fields));
    EXPECT_EQ(30, fields.wSecond);
    EXPECT_EQ(0, value.SetDateTime(2009, 2, 29, 0, 0, 0));  // not rolled over into March
    EXPECT_EQ(COleDateTime::invalid, value.GetStatus());
    EXPECT_FALSE(value.GetAsSystemTime(fields));
    for (int year : {99, 10000}) EXPECT_EQ(0, value.SetDateTime(year, 1, 1, 0, 0, 0)) << year;
    EXPECT_EQ(0, value.SetDateTime(2009, 1, 1, 24, 0, 0));
}

TEST(CommonDateTime, GetNowIsTheLocalTime) {
    // Compare with the C library's local time of the same second; retry when the clock ticked
    // between the two readings.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::time_t before = std::time(nullptr);
        const CCommonDateTime now = CCommonDateTime::GetNow();
        if (std::time(nullptr) != before) continue;
        const std::tm t = *std::localtime(&before);  // the test runs on one thread
        EXPECT_EQ((Fields{t.tm_year + 1900L, t.tm_mon + 1L, t.tm_mday, t.tm_hour, t.tm_min,
                          t.tm_sec, t.tm_wday}),
                  GetFields(now));
        // Whole seconds: the day count is exactly that of its fields.
        COleDateTime fromFields;
        ASSERT_EQ(1, fromFields.SetDateTime(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                            t.tm_min, t.tm_sec));
        EXPECT_EQ(fromFields.m_dt, now.m_dt);
        return;
    }
    FAIL() << "the clock ticked during every attempt";
}
