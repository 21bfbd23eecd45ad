// Tests of the conversions of the platform layer: text between UTF-8 and UTF-16, length-prefixed
// strings, and OLE Automation dates.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include "support/LastError.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

// Converts with a size query first, as callers do; the result holds what the call wrote.
std::wstring ToWide(const std::string& utf8) {
    const int length = static_cast<int>(utf8.size());
    std::wstring out(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0), L'?');
    out.resize(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &out[0], static_cast<int>(out.size())));
    return out;
}

std::string ToUtf8(const std::wstring& wide) {
    const int length = static_cast<int>(wide.size());
    std::string out(WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr), '?');
    out.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &out[0], static_cast<int>(out.size()), nullptr,
                                   nullptr));
    return out;
}

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

TEST(TextConversion, Utf8BothWays) {
    // The wide literals hold surrogate pairs where wchar_t is 16 bits, single units elsewhere.
    // Malformed UTF-8 becomes U+FFFD, so only valid text comes back as it was.
    struct Case { std::string utf8; std::wstring wide; bool valid; };
    const Case cases[] = {
        {"caf\xC3\xA9 \xE2\x82\xAC\xEF\xBF\xBF", L"caf\u00e9 \u20ac\uFFFF", true},
        {"a\xF0\x9F\x98\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         L"a\U0001F600\U00010000\U0010FFFF", true},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3), true},  // a zero is just a character
        {"a\xFF" "b\x80\x80\xFE", L"a\uFFFDb\uFFFD\uFFFD\uFFFD", false},
        {"a\xE2\x82", L"a\uFFFD", false},  // a sequence cut short by the end is one character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(c.wide, ToWide(c.utf8));
        if (c.valid) EXPECT_EQ(c.utf8, ToUtf8(c.wide));
    }
    const wchar_t loneSurrogate[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'\0'};
    EXPECT_EQ(std::string("a\xEF\xBF\xBD" "b"), ToUtf8(loneSurrogate));
}

TEST(TextConversion, MinusOneLengthIncludesTheTerminator) {
    const std::wstring wide = L"a\U0001F600";  // 2 or 3 units, with the pair
    const int units = static_cast<int>(wide.size()) + 1;
    wchar_t out[8];
    std::wmemset(out, L'#', 8);
    EXPECT_EQ(units, MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", -1, nullptr, 0));
    ASSERT_EQ(units, MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", -1, out, 8));
    EXPECT_EQ(wide + L'\0' + L'#', std::wstring(out, units + 1));  // nothing written beyond
    char bytes[8] = "#######";
    ASSERT_EQ(6, WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, bytes, 8, nullptr, nullptr));
    EXPECT_EQ(std::string("a\xF0\x9F\x98\x80\0#", 7), std::string(bytes, 7));
}

TEST(TextConversion, FailuresSetTheLastError) {
    wchar_t wide[4];
    char bytes[4];
    const DWORD tooSmall = 122, invalid = 87;  // ERROR_INSUFFICIENT_BUFFER, _INVALID_PARAMETER
    EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 4), tooSmall);  // no room for the zero
    EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4), invalid);
    EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, L"abcd", -1, bytes, 4, nullptr, nullptr), tooSmall);
    EXPECT_FAILS_WITH(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 4), invalid);
    // A character is never split: three bytes of a four-byte one do not fit.
    EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, L"\U0001F600", -1, bytes, 3, nullptr, nullptr), tooSmall);
    EXPECT_FAILS_WITH(WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, bytes, 4, nullptr, nullptr), invalid);
    // Exactly enough room succeeds.
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4));
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, bytes, 4, nullptr, nullptr));
}

TEST(Bstr, LengthPrefixedAndTerminated) {
    // Embedded zeros are kept and the zero goes after the length, not after the source; a null
    // source gives units of its own, ended all the same.
    // units: the first units, all of them unless the source was null.
    const struct { BSTR text; std::wstring units; unsigned length; } cases[] = {
        {SysAllocString(L"hello"), L"hello", 5},
        {SysAllocStringLen(L"a\0bc", 3), std::wstring(L"a\0b", 3), 3},
        {SysAllocString(L""), L"", 0},
        {SysAllocStringLen(nullptr, 4), L"", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        ASSERT_NE(nullptr, c.text);
        // The prefix in front of the text counts bytes, not characters.
        std::uint32_t prefix;
        std::memcpy(&prefix, reinterpret_cast<const char*>(c.text) - sizeof prefix, sizeof prefix);
        EXPECT_EQ(c.length * sizeof(OLECHAR), prefix);
        EXPECT_EQ(c.length, SysStringLen(c.text));
        EXPECT_EQ(c.units, std::wstring(c.text, c.units.size()));
        EXPECT_EQ(L'\0', c.text[c.length]);
        SysFreeString(c.text);
    }
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);  // does nothing
}

// Growing keeps the units, also across a move of a string large enough (over 32 MiB on Linux)
// to be given pages of its own; a source is copied in.
TEST(Bstr, ReallocationKeepsOrCopiesTheUnits) {
    BSTR text = SysAllocString(L"abcdef");
    ASSERT_NE(nullptr, text);
    ASSERT_TRUE(SysReAllocStringLen(&text, nullptr, 9000000));
    EXPECT_EQ(9000000u, SysStringLen(text));
    EXPECT_EQ(std::wstring(L"abcdef"), std::wstring(text, 6));
    EXPECT_EQ(L'\0', text[9000000]);
    text[8999999] = L'z';
    ASSERT_TRUE(SysReAllocStringLen(&text, nullptr, 4));
    EXPECT_EQ(std::wstring(L"abcd"), std::wstring(text));
    ASSERT_TRUE(SysReAllocStringLen(&text, L"xyz", 3));
    EXPECT_EQ(std::wstring(L"xyz"), std::wstring(text));
    EXPECT_EQ(3u, SysStringLen(text));
    SysFreeString(text);

    BSTR none = nullptr;
    ASSERT_TRUE(SysReAllocStringLen(&none, L"new", 3));
    EXPECT_EQ(std::wstring(L"new"), std::wstring(none));
    SysFreeString(none);
}

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
