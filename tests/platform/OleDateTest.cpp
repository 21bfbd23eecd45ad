// Tests of the OLE Automation date conversions of the platform layer.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

// The fields of a SYSTEMTIME without milliseconds; day of week 0 = Sunday.
struct Civil {
    int year, month, day, hour, minute, second, dayOfWeek;
};

bool operator==(const Civil& a, const Civil& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.dayOfWeek == b.dayOfWeek;
}

std::ostream& operator<<(std::ostream& out, const Civil& c) {
    return out << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour << ':' << c.minute
               << ':' << c.second << " dow " << c.dayOfWeek;
}

Civil FromSystemTime(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek};
}

SYSTEMTIME MakeSystemTime(int year, int month, int day, int hour = 0, int minute = 0,
                          int second = 0, int milliseconds = 0) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    st.wMilliseconds = static_cast<WORD>(milliseconds);
    return st;
}

constexpr double kSecond = 1.0 / 86400.0;
// A day count is not exact for most times of day; this is far below half a second.
constexpr double kTolerance = 1e-8;

// Dates that exist, with their day counts; each converts both ways.
struct Known {
    Civil civil;
    double dayCount;
};
const Known kKnown[] = {
    {{1899, 12, 30, 0, 0, 0, 6}, 0.0},
    {{1899, 12, 31, 0, 0, 0, 0}, 1.0},
    {{1900, 1, 1, 12, 0, 0, 1}, 2.5},
    {{1899, 12, 29, 6, 0, 0, 5}, -1.25},
    {{1899, 12, 28, 23, 59, 59, 4}, -2.0 - 86399 * kSecond},
    {{1900, 2, 28, 0, 0, 0, 3}, 60.0},
    {{1900, 3, 1, 0, 0, 0, 4}, 61.0},
    {{1970, 1, 1, 0, 0, 0, 4}, 25569.0},
    {{2000, 2, 29, 18, 30, 15, 2}, 36585.0 + (18 * 3600 + 30 * 60 + 15) * kSecond},
    {{2000, 3, 1, 0, 0, 0, 3}, 36586.0},
    {{2009, 5, 1, 10, 20, 30, 5}, 39934.0 + (10 * 3600 + 20 * 60 + 30) * kSecond},
    {{100, 1, 1, 0, 0, 0, 5}, -657434.0},
    {{100, 1, 1, 12, 0, 0, 5}, -657434.5},
    {{9999, 12, 31, 0, 0, 0, 5}, 2958465.0},
    {{9999, 12, 31, 23, 59, 59, 5}, 2958465.0 + 86399 * kSecond},
};

}  // namespace

TEST(OleDate, SystemTimeToVariantTime) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.civil);
        const Civil& c = k.civil;
        SYSTEMTIME st = MakeSystemTime(c.year, c.month, c.day, c.hour, c.minute, c.second);
        st.wDayOfWeek = 3;  // the day of week given is ignored
        DATE dayCount = 12345.0;
        ASSERT_TRUE(SystemTimeToVariantTime(&st, &dayCount));
        EXPECT_NEAR(k.dayCount, dayCount, kTolerance);
    }
}

TEST(OleDate, VariantTimeToSystemTime) {
    for (const Known& k : kKnown) {
        SCOPED_TRACE(k.dayCount);
        SYSTEMTIME st = MakeSystemTime(1, 1, 1, 1, 1, 1, 777);
        ASSERT_TRUE(VariantTimeToSystemTime(k.dayCount, &st));
        EXPECT_EQ(k.civil, FromSystemTime(st));
        EXPECT_EQ(0, st.wMilliseconds);
    }
}

TEST(OleDate, VarUdateFromDateGivesDayOfYear) {
    struct Case {
        double dayCount;
        Civil civil;
        int dayOfYear;
    };
    const Case cases[] = {
        {0.0, {1899, 12, 30, 0, 0, 0, 6}, 364},
        {2.75, {1900, 1, 1, 18, 0, 0, 1}, 1},
        {61.0, {1900, 3, 1, 0, 0, 0, 4}, 60},         // 1900 is not a leap year
        {36585.0, {2000, 2, 29, 0, 0, 0, 2}, 60},
        {36586.0, {2000, 3, 1, 0, 0, 0, 3}, 61},      // 2000 is one
        {36891.0, {2000, 12, 31, 0, 0, 0, 0}, 366},
        {-1.25, {1899, 12, 29, 6, 0, 0, 5}, 363},
        {-657434.0, {100, 1, 1, 0, 0, 0, 5}, 1},
        {2958465.0, {9999, 12, 31, 0, 0, 0, 5}, 365},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        UDATE fields = {};
        ASSERT_EQ(S_OK, VarUdateFromDate(c.dayCount, 0, &fields));
        EXPECT_EQ(c.civil, FromSystemTime(fields.st));
        EXPECT_EQ(c.dayOfYear, fields.wDayOfYear);
        EXPECT_EQ(0, fields.st.wMilliseconds);
    }
}

TEST(OleDate, DayCountsBeyondTheSupportedYearsFail) {
    const double dayCounts[] = {-657435.0, -657435.5, -700000.0, 2958466.0, 2958466.5, 1e9, -1e9};
    for (double dayCount : dayCounts) {
        SCOPED_TRACE(dayCount);
        SYSTEMTIME st = MakeSystemTime(2001, 2, 3, 4, 5, 6);
        EXPECT_FALSE(VariantTimeToSystemTime(dayCount, &st));
        UDATE fields = {};
        EXPECT_TRUE(FAILED(VarUdateFromDate(dayCount, 0, &fields)));
    }
}

TEST(OleDate, FieldsOutOfRangeFail) {
    const SYSTEMTIME cases[] = {
        MakeSystemTime(2009, 13, 1),
        MakeSystemTime(2009, 5, 32),
        MakeSystemTime(10000, 1, 1),
        MakeSystemTime(65535, 1, 1),
    };
    for (const SYSTEMTIME& fields : cases) {
        SCOPED_TRACE(FromSystemTime(fields));
        SYSTEMTIME st = fields;
        DATE dayCount = 0.0;
        EXPECT_FALSE(SystemTimeToVariantTime(&st, &dayCount));
    }
}

TEST(OleDate, DaysBeyondTheMonthRollOver) {
    struct Case {
        SYSTEMTIME fields;
        Civil rolled;
    };
    const Case cases[] = {
        {MakeSystemTime(1900, 2, 29), {1900, 3, 1, 0, 0, 0, 4}},
        {MakeSystemTime(2009, 2, 29, 12), {2009, 3, 1, 12, 0, 0, 0}},
        {MakeSystemTime(2009, 2, 30), {2009, 3, 2, 0, 0, 0, 1}},
        {MakeSystemTime(2008, 2, 30), {2008, 3, 1, 0, 0, 0, 6}},
        {MakeSystemTime(2009, 4, 31), {2009, 5, 1, 0, 0, 0, 5}},
        {MakeSystemTime(9999, 4, 31), {9999, 5, 1, 0, 0, 0, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(FromSystemTime(c.fields));
        SYSTEMTIME st = c.fields;
        DATE dayCount = 0.0;
        ASSERT_TRUE(SystemTimeToVariantTime(&st, &dayCount));
        SYSTEMTIME back = {};
        ASSERT_TRUE(VariantTimeToSystemTime(dayCount, &back));
        EXPECT_EQ(c.rolled, FromSystemTime(back));
    }
}

TEST(OleDate, MillisecondsAreIgnored) {
    SYSTEMTIME withoutMs = MakeSystemTime(2009, 5, 1, 10, 20, 30, 0);
    SYSTEMTIME withMs = MakeSystemTime(2009, 5, 1, 10, 20, 30, 999);
    DATE a = 0.0, b = 0.0;
    ASSERT_TRUE(SystemTimeToVariantTime(&withoutMs, &a));
    ASSERT_TRUE(SystemTimeToVariantTime(&withMs, &b));
    EXPECT_EQ(a, b);
}

TEST(OleDate, FractionsRoundToTheNearestSecond) {
    const double noon = 39934.5;  // 2009-05-01 12:00:00, a Friday
    struct Case {
        double dayCount;
        Civil civil;
    };
    const Case cases[] = {
        {noon + 0.4 * kSecond, {2009, 5, 1, 12, 0, 0, 5}},
        {noon + 0.6 * kSecond, {2009, 5, 1, 12, 0, 1, 5}},
        {noon + 59.7 * kSecond, {2009, 5, 1, 12, 1, 0, 5}},
        {noon - 0.3 * kSecond, {2009, 5, 1, 12, 0, 0, 5}},
        {noon - 0.7 * kSecond, {2009, 5, 1, 11, 59, 59, 5}},
        {-2.0 - 0.1 * kSecond, {1899, 12, 28, 0, 0, 0, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        SYSTEMTIME st = {};
        ASSERT_TRUE(VariantTimeToSystemTime(c.dayCount, &st));
        EXPECT_EQ(c.civil, FromSystemTime(st));
    }
}

TEST(OleDate, RoundingUpAtMidnightMovesToTheNextDay) {
    struct Case {
        double dayCount;
        int year, month, day;
    };
    const Case cases[] = {
        {39935.0 - 0.2 * kSecond, 2009, 5, 2},
        // 1899-12-29 23:59:59.8: a negative count rounds forwards in time as well.
        {-1.0 - (86400 - 0.2) * kSecond, 1899, 12, 30},
        {36585.0 - 0.2 * kSecond, 2000, 2, 29},
        {36586.0 - 0.2 * kSecond, 2000, 3, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        SYSTEMTIME st = {};
        ASSERT_TRUE(VariantTimeToSystemTime(c.dayCount, &st));
        EXPECT_EQ((Civil{c.year, c.month, c.day, 0, 0, 0, 0}),
                  (Civil{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, 0}));
    }
}
