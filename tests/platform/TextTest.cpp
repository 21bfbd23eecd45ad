// Tests of the text conversions and length-prefixed strings of the platform layer.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Converts with a size query first, as callers do; the result holds what the call wrote.
std::wstring ToWide(const std::string& utf8) {
    const int length = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    EXPECT_GT(needed, 0);
    std::wstring out(static_cast<std::size_t>(needed), L'?');
    EXPECT_EQ(needed, MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &out[0], needed));
    return out;
}

std::string ToUtf8(const std::wstring& wide) {
    const int length = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    EXPECT_GT(needed, 0);
    std::string out(static_cast<std::size_t>(needed), '?');
    EXPECT_EQ(needed, WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, &out[0], needed,
                                          nullptr, nullptr));
    return out;
}

}  // namespace

TEST(TextConversion, Utf8RoundTrip) {
    // The wide literals hold surrogate pairs where wchar_t is 16 bits, single units elsewhere.
    struct Case {
        const char* utf8;
        const wchar_t* wide;
    };
    const Case cases[] = {
        {"abc", L"abc"},
        {"caf\xC3\xA9", L"caf\u00e9"},
        {"\xE2\x82\xAC", L"\u20ac"},
        {"\xEF\xBF\xBF", L"\uFFFF"},
        {"a\xF0\x9F\x98\x80z", L"a\U0001F600z"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", L"\U00010000\U0010FFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(std::wstring(c.wide), ToWide(c.utf8));
        EXPECT_EQ(std::string(c.utf8), ToUtf8(c.wide));
    }
}

TEST(TextConversion, MinusOneLengthIncludesTheTerminator) {
    const wchar_t* const wide = L"a\U0001F600";
    const int wideUnits = static_cast<int>(std::wcslen(wide));  // 2 or 3, with the pair

    EXPECT_EQ(wideUnits + 1, MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", -1, nullptr, 0));
    wchar_t out[8];
    std::wmemset(out, L'#', 8);
    ASSERT_EQ(wideUnits + 1, MultiByteToWideChar(CP_UTF8, 0, "a\xF0\x9F\x98\x80", -1, out, 8));
    EXPECT_EQ(0, std::wcscmp(wide, out));
    EXPECT_EQ(L'#', out[wideUnits + 1]);  // nothing beyond the terminator

    EXPECT_EQ(6, WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr));
    char bytes[8];
    std::memset(bytes, '#', sizeof bytes);
    ASSERT_EQ(6, WideCharToMultiByte(CP_UTF8, 0, wide, -1, bytes, 8, nullptr, nullptr));
    EXPECT_STREQ("a\xF0\x9F\x98\x80", bytes);
    EXPECT_EQ('#', bytes[6]);

    // An explicit length converts exactly that much and adds no terminator.
    EXPECT_EQ(2, MultiByteToWideChar(CP_UTF8, 0, "abc", 2, out, 8));
    EXPECT_EQ(2, WideCharToMultiByte(CP_UTF8, 0, L"abc", 2, bytes, 8, nullptr, nullptr));
    // The empty text with -1 is its terminator alone.
    EXPECT_EQ(1, MultiByteToWideChar(CP_UTF8, 0, "", -1, out, 8));
    EXPECT_EQ(L'\0', out[0]);
}

TEST(TextConversion, TooSmallBufferFailsWithInsufficientBuffer) {
    wchar_t wide[4];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, wide, 4));
    EXPECT_EQ(122u, GetLastError());  // ERROR_INSUFFICIENT_BUFFER

    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 4));  // no room for the terminator
    EXPECT_EQ(122u, GetLastError());

    char bytes[4];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"abcd", -1, bytes, 4, nullptr, nullptr));
    EXPECT_EQ(122u, GetLastError());

    // A character is never split: three bytes of a four-byte character do not fit.
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"\U0001F600", -1, bytes, 3, nullptr, nullptr));
    EXPECT_EQ(122u, GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"a\u00e9", 2, bytes, 2, nullptr, nullptr));
    EXPECT_EQ(122u, GetLastError());

    // Exactly enough room succeeds.
    EXPECT_EQ(4, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 4));
    EXPECT_EQ(4, WideCharToMultiByte(CP_UTF8, 0, L"abc", -1, bytes, 4, nullptr, nullptr));
}

TEST(TextConversion, InvalidArgumentsFail) {
    wchar_t wide[4];
    char bytes[4];
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4));
    EXPECT_EQ(87u, GetLastError());  // ERROR_INVALID_PARAMETER
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", 0, wide, 4));
    EXPECT_EQ(87u, GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 4));
    EXPECT_EQ(87u, GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, bytes, 4, nullptr, nullptr));
    EXPECT_EQ(87u, GetLastError());
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, L"abc", 0, bytes, 4, nullptr, nullptr));
    EXPECT_EQ(87u, GetLastError());
}

TEST(TextConversion, MalformedUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"\xFF", L"\uFFFD"},
        {"a\xFF" "b", L"a\uFFFDb"},
        {"\x80", L"\uFFFD"},
        {"a\x80\x80" "b", L"a\uFFFD\uFFFDb"},
        {"\xFE\xFF", L"\uFFFD\uFFFD"},
        {"a\xE2\x82", L"a\uFFFD"},  // a sequence cut short by the end is one character
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},  // a zero is just a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(c.wide, ToWide(c.utf8));
    }
}

TEST(TextConversion, LoneSurrogateBecomesReplacementCharacter) {
    const wchar_t text[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'\0'};
    EXPECT_EQ(std::string("a\xEF\xBF\xBD" "b"), ToUtf8(text));
}

TEST(Bstr, AllocateKeepsALengthPrefix) {
    BSTR text = SysAllocString(L"hello");
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(5u, SysStringLen(text));
    EXPECT_EQ(0, std::wcscmp(L"hello", text));
    // The prefix in front of the text counts bytes, not characters.
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(text) - sizeof prefix, sizeof prefix);
    EXPECT_EQ(5u * sizeof(OLECHAR), prefix);
    SysFreeString(text);

    BSTR empty = SysAllocString(L"");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    EXPECT_EQ(L'\0', empty[0]);
    SysFreeString(empty);
}

TEST(Bstr, AllocateWithLengthKeepsEmbeddedZeros) {
    const OLECHAR source[] = {L'a', L'\0', L'b', L'c', L'd'};
    BSTR text = SysAllocStringLen(source, 3);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(3u, SysStringLen(text));
    EXPECT_EQ(L'a', text[0]);
    EXPECT_EQ(L'\0', text[1]);
    EXPECT_EQ(L'b', text[2]);
    EXPECT_EQ(L'\0', text[3]);  // terminated after the length, not after the source
    SysFreeString(text);
}

TEST(Bstr, NullInput) {
    EXPECT_EQ(nullptr, SysAllocString(nullptr));
    EXPECT_EQ(0u, SysStringLen(nullptr));
    SysFreeString(nullptr);  // does nothing

    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(nullptr, blank);
    EXPECT_EQ(4u, SysStringLen(blank));
    EXPECT_EQ(L'\0', blank[4]);
#ifndef _WIN32
    // Windows leaves the characters of a string allocated without source uninitialised.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(L'\0', blank[i]) << i;
#endif
    SysFreeString(blank);

    BSTR none = SysAllocStringLen(nullptr, 0);
    ASSERT_NE(nullptr, none);
    EXPECT_EQ(0u, SysStringLen(none));
    EXPECT_EQ(L'\0', none[0]);
    SysFreeString(none);
}
