// Tests of the OLE Automation date conversions of the platform layer.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// Year, month, day, hour, minute, second and day of week (0 = Sunday) of a SYSTEMTIME.
using Civil = std::array<int, 7>;

Civil FromSystemTime(const SYSTEMTIME& st) {
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wDayOfWeek};
}

SYSTEMTIME ToSystemTime(const Civil& c, int milliseconds = 0) {
    auto w = [](int value) { return static_cast<WORD>(value); };
    return {w(c[0]), w(c[1]), w(c[6]), w(c[2]), w(c[3]), w(c[4]), w(c[5]), w(milliseconds)};
}

constexpr double kSecond = 1.0 / 86400.0;

}  // namespace

TEST(OleDate, ConvertsBothWays) {
    struct Case { Civil civil; double dayCount; int dayOfYear; };
    const Case cases[] = {
        {{1899, 12, 30, 0, 0, 0, 6}, 0.0, 364},
        // Whole days back from the epoch, the fraction forwards from midnight.
        {{1899, 12, 29, 6, 0, 0, 5}, -1.25, 363},
        {{1899, 12, 28, 23, 59, 59, 4}, -2.0 - 86399 * kSecond, 362},
        {{1900, 3, 1, 0, 0, 0, 4}, 61.0, 60},  // 1900 is not a leap year
        {{2000, 2, 29, 18, 30, 15, 2}, 36585.0 + 66615 * kSecond, 60},
        {{2000, 12, 31, 0, 0, 0, 0}, 36891.0, 366},  // 2000 is one
        {{2009, 5, 1, 10, 20, 30, 5}, 39934.0 + 37230 * kSecond, 121},
        {{100, 1, 1, 12, 0, 0, 5}, -657434.5, 1},
        {{9999, 12, 31, 23, 59, 59, 5}, 2958465.0 + 86399 * kSecond, 365},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        // The day of week given is ignored, and so are the milliseconds.
        SYSTEMTIME st = ToSystemTime(c.civil, 999);
        st.wDayOfWeek = 3;
        DATE dayCount = 12345.0;
        ASSERT_TRUE(SystemTimeToVariantTime(&st, &dayCount));
        EXPECT_NEAR(c.dayCount, dayCount, 1e-8);  // far below half a second

        st = ToSystemTime({1, 1, 1, 1, 1, 1, 1}, 777);
        ASSERT_TRUE(VariantTimeToSystemTime(c.dayCount, &st));
        EXPECT_EQ(c.civil, FromSystemTime(st));
        EXPECT_EQ(0, st.wMilliseconds);

        UDATE fields = {};
        ASSERT_EQ(S_OK, VarUdateFromDate(c.dayCount, 0, &fields));
        EXPECT_EQ(c.civil, FromSystemTime(fields.st));
        EXPECT_EQ(c.dayOfYear, fields.wDayOfYear);
    }
}

TEST(OleDate, DaysBeyondTheMonthRollOverFieldsOutOfRangeFail) {
    struct Case { Civil given, rolled; };  // nothing rolled: the conversion fails
    const Case cases[] = {
        {{1900, 2, 29, 0, 0, 0}, {1900, 3, 1, 0, 0, 0, 4}},
        {{2009, 2, 30, 12, 0, 0}, {2009, 3, 2, 12, 0, 0, 1}},
        {{2008, 2, 30, 0, 0, 0}, {2008, 3, 1, 0, 0, 0, 6}},
        {{9999, 4, 31, 0, 0, 0}, {9999, 5, 1, 0, 0, 0, 6}},
        {{2009, 5, 32}, {}},
        {{2009, 13, 1}, {}},
        {{10000, 1, 1}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.given));
        SYSTEMTIME st = ToSystemTime(c.given);
        DATE dayCount = 0.0;
        const bool converted =
            SystemTimeToVariantTime(&st, &dayCount) && VariantTimeToSystemTime(dayCount, &st);
        EXPECT_EQ(c.rolled != Civil{}, converted);
        if (converted) EXPECT_EQ(c.rolled, FromSystemTime(st));
    }
}

TEST(OleDate, DayCountsRoundToTheSecondWithinTheYears100To9999) {
    // Fields without the day of week: where rounding moves into the next day, Windows gives the
    // day of week of the day before.
    const double noon = 39934.5;  // 2009-05-01 12:00:00
    struct Case { double dayCount; Civil civil; };  // no fields: the conversion fails
    const Case cases[] = {
        {noon + 0.4 * kSecond, {2009, 5, 1, 12, 0, 0}},
        {noon + 59.7 * kSecond, {2009, 5, 1, 12, 1, 0}},
        {noon - 0.7 * kSecond, {2009, 5, 1, 11, 59, 59}},
        {-2.0 - 0.1 * kSecond, {1899, 12, 28, 0, 0, 0}},
        // Rounding up at midnight moves to the next day, for a negative count as well.
        {39935.0 - 0.2 * kSecond, {2009, 5, 2, 0, 0, 0}},
        {-1.0 - (86400 - 0.2) * kSecond, {1899, 12, 30, 0, 0, 0}},
        {36585.0 - 0.2 * kSecond, {2000, 2, 29, 0, 0, 0}},
        // Only the years 100 to 9999 have fields.
        {-657435.0, {}}, {-657435.5, {}}, {2958466.0, {}}, {1e9, {}}, {-1e9, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dayCount);
        SYSTEMTIME st = {};
        const bool converted = VariantTimeToSystemTime(c.dayCount, &st);
        EXPECT_EQ(c.civil != Civil{}, converted);
        st.wDayOfWeek = 0;
        if (converted) EXPECT_EQ(c.civil, FromSystemTime(st));
        UDATE fields = {};
        EXPECT_EQ(converted, SUCCEEDED(VarUdateFromDate(c.dayCount, 0, &fields)));
    }
}
