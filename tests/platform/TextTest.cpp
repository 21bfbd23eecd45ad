// Tests of the text conversions and length-prefixed strings of the platform layer.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include "support/LastError.h"

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
