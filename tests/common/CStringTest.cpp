// Tests of CString: ordering, searching, parts, conversions and formatting.
#include "commonutility/CString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstddef>
#include <limits>
#include <ostream>
#include <string>

// GoogleTest prints a CString as its UTF-8 text (found through argument-dependent lookup).
static void PrintTo(const CString& text, std::ostream* out) {
    *out << '"' << text.ToUtf8() << '"';
}

namespace {

std::string Show(const CString& text) { return text.ToUtf8(); }

int Sign(int value) { return (value > 0) - (value < 0); }

CString Formatted(const wchar_t* format, ...) {
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    return text;
}

// A grinning face: one code point above U+FFFF, two UTF-16 units.
const wchar_t* const kFace = L"\U0001F600";

}  // namespace

TEST(CStringCompare, OrdersByUtf16CodeUnits) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    };
    const Case cases[] = {
        {L"", L"", 0},
        {L"abc", L"abc", 0},
        {L"B", L"a", -1},              // code units, not letters: 'B' is 0x42, 'a' 0x61
        {L"ab", L"abc", -1},           // a proper prefix sorts first
        {L"", L"a", -1},
        {L"abd", L"abc", 1},
        {L"\u00e9", L"f", 1},
        {L"\U0001F600", L"\uFFFD", -1},  // a supplementary character sorts below U+E000..U+FFFF
        {L"\U0001F600", L"\uE000", -1},
        {L"\U0001F600", L"\uD7FF", 1},   // and above everything below the surrogates
        {L"\U0001F600", L"\U00020000", -1},
        {L"x\U0001F600", L"x\uFFFD", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.a) + " vs " + Show(c.b));
        const CString a(c.a), b(c.b);
        EXPECT_EQ(c.sign, Sign(a.Compare(b)));
        EXPECT_EQ(c.sign, Sign(a.Compare(c.b)));
        EXPECT_EQ(-c.sign, Sign(b.Compare(a)));
        EXPECT_EQ(c.sign < 0, a < b);
        EXPECT_EQ(c.sign > 0, a > b);
        EXPECT_EQ(c.sign == 0, a == b);
        EXPECT_EQ(c.sign == 0, a == c.b);
        EXPECT_EQ(c.sign <= 0, a <= b);
    }
}

TEST(CStringCompare, EmbeddedZeroCountsAsText) {
    const CString withZero(L"a\0b", 3);
    EXPECT_EQ(3, withZero.GetLength());
    EXPECT_GT(withZero.Compare(CString(L"a")), 0);
    EXPECT_NE(withZero, CString(L"a"));
}

TEST(CStringCompare, NoCaseFoldsAsciiToLowerCase) {
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    };
    const Case cases[] = {
        {L"Hello", L"hELLO", 0},
        {L"ABC", L"abd", -1},
        {L"abc", L"AB", 1},
        {L"", L"", 0},
        {L"", L"A", -1},
        // Folding to lower case puts '_' (0x5F) below the letters; folding to upper would not.
        {L"_", L"A", -1},
        {L"[", L"a", -1},
        // Only ASCII letters fold.
        {L"\u00c9", L"\u00e9", -1},
        {L"\U0001F600", L"\uFFFD", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Show(c.a) + " vs " + Show(c.b));
        EXPECT_EQ(c.sign, Sign(CString(c.a).CompareNoCase(c.b)));
        EXPECT_EQ(-c.sign, Sign(CString(c.b).CompareNoCase(c.a)));
    }
    EXPECT_EQ(0, CString().CompareNoCase(nullptr));
}

TEST(CStringSearch, FindAndReverseFind) {
    const CString text(L"abcabc");
    EXPECT_EQ(1, text.Find(L'b'));
    EXPECT_EQ(4, text.Find(L'b', 2));
    EXPECT_EQ(-1, text.Find(L'b', 5));
    EXPECT_EQ(-1, text.Find(L'b', 6));
    EXPECT_EQ(-1, text.Find(L'b', 100));
    EXPECT_EQ(-1, text.Find(L'b', -1));
    EXPECT_EQ(-1, text.Find(L'z'));
    EXPECT_EQ(3, text.Find(L"abc", 1));
    EXPECT_EQ(-1, text.Find(L"abc", 4));
    EXPECT_EQ(-1, text.Find(L"abcd"));
    EXPECT_EQ(-1, text.Find(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(4, text.ReverseFind(L'b'));
    EXPECT_EQ(-1, text.ReverseFind(L'z'));
    EXPECT_EQ(-1, CString().Find(L'a'));
    EXPECT_EQ(-1, CString().ReverseFind(L'a'));
}

TEST(CStringParts, ClampToTheText) {
    const CString text(L"abcdef");
    struct Case {
        const char* what;
        CString got;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"Left(2)", text.Left(2), L"ab"},
        {"Left(0)", text.Left(0), L""},
        {"Left(-1)", text.Left(-1), L""},
        {"Left(6)", text.Left(6), L"abcdef"},
        {"Left(100)", text.Left(100), L"abcdef"},
        {"Right(2)", text.Right(2), L"ef"},
        {"Right(0)", text.Right(0), L""},
        {"Right(-3)", text.Right(-3), L""},
        {"Right(100)", text.Right(100), L"abcdef"},
        {"Mid(2)", text.Mid(2), L"cdef"},
        {"Mid(-2)", text.Mid(-2), L"abcdef"},
        {"Mid(6)", text.Mid(6), L""},
        {"Mid(100)", text.Mid(100), L""},
        {"Mid(1, 3)", text.Mid(1, 3), L"bcd"},
        {"Mid(4, 100)", text.Mid(4, 100), L"ef"},
        {"Mid(4, INT_MAX)", text.Mid(4, INT_MAX), L"ef"},
        {"Mid(-1, 2)", text.Mid(-1, 2), L"ab"},
        {"Mid(1, 0)", text.Mid(1, 0), L""},
        {"Mid(1, -1)", text.Mid(1, -1), L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CString(c.expected), c.got);
    }
}

TEST(CStringConvert, NarrowAsciiText) {
    EXPECT_EQ(CString(L"plain text"), CString("plain text"));
    EXPECT_TRUE(CString("").IsEmpty());
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
}

#ifndef _WIN32
// The narrow constructor reads the ANSI code page: UTF-8 on POSIX, a legacy code page on Windows.
TEST(CStringConvert, NarrowTextIsUtf8OnPosix) {
    EXPECT_EQ(CString(L"caf\u00e9 \u20ac \U0001F600"),
              CString("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    // A malformed byte becomes U+FFFD instead of cutting the text.
    EXPECT_EQ(CString(L"a\uFFFDb"), CString("a\xFF" "b"));
}
#endif

TEST(CStringConvert, ToUtf8AndUtf16Length) {
    struct Case {
        const wchar_t* text;
        const char* utf8;
        int utf16Length;
    };
    const Case cases[] = {
        {L"", "", 0},
        {L"abc", "abc", 3},
        {L"caf\u00e9", "caf\xC3\xA9", 4},
        {L"\u20ac", "\xE2\x82\xAC", 1},
        {L"\uFFFD", "\xEF\xBF\xBD", 1},
        {L"a\U0001F600b", "a\xF0\x9F\x98\x80" "b", 4},
        {L"\U0001F600\U0010FFFF", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        const CString text(c.text);
        EXPECT_EQ(std::string(c.utf8), text.ToUtf8());
        EXPECT_EQ(c.utf16Length, text.GetUtf16Length());
    }
    // Text after an embedded zero is converted too.
    EXPECT_EQ(std::string("a\0b", 3), CString(L"a\0b", 3).ToUtf8());
}

TEST(CStringFormat, WindowsStringAndCharacterConventions) {
    struct Case {
        const char* what;
        CString got;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"%s is wide", Formatted(L"[%s]", L"wide"), L"[wide]"},
        {"%ls is wide", Formatted(L"[%ls]", L"wide"), L"[wide]"},
        {"%ws is wide", Formatted(L"[%ws]", L"wide"), L"[wide]"},
        {"%S is narrow", Formatted(L"[%S]", "narrow"), L"[narrow]"},
        {"%hs is narrow", Formatted(L"[%hs]", "narrow"), L"[narrow]"},
        {"%lS is wide", Formatted(L"[%lS]", L"wide"), L"[wide]"},
        {"%S reads UTF-8", Formatted(L"%S", "caf\xC3\xA9"), L"caf\u00e9"},
        {"%c is wide", Formatted(L"%c%c", L'\u00e9', L'x'), L"\u00e9x"},
        {"%lc is wide", Formatted(L"%lc", L'\u20ac'), L"\u20ac"},
        {"%C is narrow", Formatted(L"%C", 'y'), L"y"},
        {"%hc is narrow", Formatted(L"%hc", 'z'), L"z"},
        {"%3c pads", Formatted(L"%3c|%-3c|", L'a', L'b'), L"  a|b  |"},
        {"null %s", Formatted(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)"},
        {"null %S", Formatted(L"%S", static_cast<const char*>(nullptr)), L"(null)"},
        {"null %hs", Formatted(L"%hs", static_cast<const char*>(nullptr)), L"(null)"},
        {"%.2s cuts", Formatted(L"%.2s", L"abcdef"), L"ab"},
        {"%.2S cuts", Formatted(L"%.2S", "abcdef"), L"ab"},
        {"%6s pads left", Formatted(L"%6s|", L"abc"), L"   abc|"},
        {"%-6s pads right", Formatted(L"%-6s|", L"abc"), L"abc   |"},
        // The width of narrow text counts characters, not UTF-8 bytes.
        {"%4S counts characters", Formatted(L"%4S|", "\xC3\xA9"), L"   \u00e9|"},
        {"%*s", Formatted(L"%*s|", 5, L"ab"), L"   ab|"},
        {"%*s negative width", Formatted(L"%*s|", -5, L"ab"), L"ab   |"},
        {"%.*s", Formatted(L"%.*s", 3, L"abcdef"), L"abc"},
        {"%%", Formatted(L"100%% of %d", 7), L"100% of 7"},
        {"no conversion", Formatted(L"plain"), L"plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CString(c.expected), c.got);
    }
}

TEST(CStringFormat, IntegersWithLengthModifiers) {
    const long longMax = std::numeric_limits<long>::max();
    const long longMin = std::numeric_limits<long>::min();
    const unsigned long ulongMax = std::numeric_limits<unsigned long>::max();
    struct Case {
        const char* what;
        CString got;
        std::wstring expected;
    };
    const Case cases[] = {
        {"%d", Formatted(L"%d %d", 42, -42), L"42 -42"},
        {"%i", Formatted(L"%i", INT_MIN), std::to_wstring(INT_MIN)},
        {"%u", Formatted(L"%u", UINT_MAX), L"4294967295"},
        {"%x %X %#x", Formatted(L"%x %X %#x", 255u, 255u, 255u), L"ff FF 0xff"},
        {"%o", Formatted(L"%o", 8u), L"10"},
        // long is 64 bits on Linux and 32 on Windows: the argument must be read with its own size.
        {"%ld max", Formatted(L"%ld|%d", longMax, 7), std::to_wstring(longMax) + L"|7"},
        {"%ld min", Formatted(L"%ld|%d", longMin, 7), std::to_wstring(longMin) + L"|7"},
        {"%lu", Formatted(L"%lu|%d", ulongMax, 7), std::to_wstring(ulongMax) + L"|7"},
        {"%lld", Formatted(L"%lld|%d", LLONG_MIN, 7), L"-9223372036854775808|7"},
        {"%llu", Formatted(L"%llu", ULLONG_MAX), L"18446744073709551615"},
        {"%I64d", Formatted(L"%I64d|%d", -1234567890123LL, 7), L"-1234567890123|7"},
        {"%I64u", Formatted(L"%I64u", 18000000000000000000ULL), L"18000000000000000000"},
        {"%I64x", Formatted(L"%I64x", 0x123456789abcULL), L"123456789abc"},
        {"%I32d", Formatted(L"%I32d|%d", -5, 7), L"-5|7"},
        {"%zu", Formatted(L"%zu|%d", static_cast<std::size_t>(1) << 40, 7),
         std::to_wstring(static_cast<std::size_t>(1) << 40) + L"|7"},
        {"%hd", Formatted(L"%hd", 70000), L"4464"},
        {"%hu", Formatted(L"%hu", 65537u), L"1"},
        {"%hhd", Formatted(L"%hhd", 300), L"44"},
        {"%5d", Formatted(L"[%5d]", 42), L"[   42]"},
        {"%-5d", Formatted(L"[%-5d]", 42), L"[42   ]"},
        {"%05d", Formatted(L"[%05d]", -42), L"[-0042]"},
        {"%+d", Formatted(L"%+d %+d", 5, -5), L"+5 -5"},
        {"% d", Formatted(L"[% d]", 5), L"[ 5]"},
        {"%.3d", Formatted(L"%.3d", 7), L"007"},
        {"%*d", Formatted(L"[%*d]", 4, 7), L"[   7]"},
        {"%*d negative width", Formatted(L"[%*d]", -4, 7), L"[7   ]"},
        {"%*.*d", Formatted(L"[%*.*d]", 6, 3, 7), L"[   007]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CString(c.expected.c_str()), c.got);
    }
}

TEST(CStringFormat, FloatingPoint) {
    struct Case {
        const char* what;
        CString got;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"%f", Formatted(L"%f", 1.5), L"1.500000"},
        {"%lf", Formatted(L"%lf", 1.5), L"1.500000"},
        {"%.2f", Formatted(L"%.2f", 3.14159), L"3.14"},
        {"%05.2f", Formatted(L"[%05.2f]", 3.14159), L"[03.14]"},
        {"%8.3f", Formatted(L"[%8.3f]", -2.5), L"[  -2.500]"},
        {"%-8.1f", Formatted(L"[%-8.1f]", 2.26), L"[2.3     ]"},
        {"%.0f", Formatted(L"%.0f", 2.75), L"3"},
        {"%.*f", Formatted(L"%.*f", 1, 0.26), L"0.3"},
        {"%e", Formatted(L"%e", 12345.678), L"1.234568e+04"},
        {"%.2E", Formatted(L"%.2E", -0.00012), L"-1.20E-04"},
        {"%g", Formatted(L"%g %g", 0.0001, 1e20), L"0.0001 1e+20"},
        {"mixed", Formatted(L"%d:%.1f:%s", 3, 0.5, L"x"), L"3:0.5:x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CString(c.expected), c.got);
    }
}

TEST(CStringFormat, TextBeyondTheSmallBuffer) {
    // Lengths around the 256 characters formatted on the stack, then far beyond it.
    for (int length : {254, 255, 256, 257, 1000, 70000}) {
        SCOPED_TRACE(length);
        const std::wstring body(static_cast<std::size_t>(length), L'w');
        const std::string narrowBody(static_cast<std::size_t>(length), 'n');

        CString text;
        text.Format(L"%s", body.c_str());
        EXPECT_EQ(length, text.GetLength());
        EXPECT_EQ(CString(body.c_str()), text);

        // The arguments after the long one must still be read right on the second pass.
        text.Format(L"<%s|%d|%S|%.1f>", body.c_str(), -17, narrowBody.c_str(), 0.5);
        const std::wstring expected =
            L"<" + body + L"|-17|" + std::wstring(narrowBody.size(), L'n') + L"|0.5>";
        EXPECT_EQ(CString(expected.c_str()), text);

        CString appended(L"head:");
        appended.AppendFormat(L"%s:%d", body.c_str(), 9);
        EXPECT_EQ(CString((L"head:" + body + L":9").c_str()), appended);
    }
    // A wide field alone can make the text long.
    CString padded;
    padded.Format(L"%300d|", 1);
    EXPECT_EQ(301, padded.GetLength());
    EXPECT_EQ(CString(L"1|"), padded.Right(2));
    padded.Format(L"%-300s|", L"x");
    EXPECT_EQ(301, padded.GetLength());
    EXPECT_EQ(CString(L"x "), padded.Left(2));
}

TEST(CStringFormat, ReplacesAndAppends) {
    CString text(L"old");
    text.Format(L"%d", 1);
    EXPECT_EQ(CString(L"1"), text);
    text.AppendFormat(L"+%d", 2);
    EXPECT_EQ(CString(L"1+2"), text);
    text.Format(L"");
    EXPECT_TRUE(text.IsEmpty());
}

TEST(CStringFormat, ArgumentsMayPointIntoTheTextItself) {
    CString text(L"abc");
    text.Format(L"(%s)", text.GetString());
    EXPECT_EQ(CString(L"(abc)"), text);
    text.AppendFormat(L"%s", text.GetString());
    EXPECT_EQ(CString(L"(abc)(abc)"), text);

    CString format(L"<%d>");
    format.Format(format.GetString(), 5);
    EXPECT_EQ(CString(L"<5>"), format);
}

TEST(CStringFormat, SupplementaryCharactersPassThrough) {
    const CString expected = CString(L"a") + kFace + L"b";
    EXPECT_EQ(expected, Formatted(L"a%sb", kFace));
    EXPECT_EQ(expected, Formatted(L"a%Sb", "\xF0\x9F\x98\x80"));
    EXPECT_EQ(expected, Formatted(L"a%hsb", "\xF0\x9F\x98\x80"));
    EXPECT_EQ(expected, Formatted(L"%s", expected.GetString()));
    EXPECT_EQ(4, Formatted(L"%S", "a\xF0\x9F\x98\x80" "b").GetUtf16Length());
    EXPECT_EQ(std::string("[\xF0\x9F\x98\x80]"), Formatted(L"[%S]", "\xF0\x9F\x98\x80").ToUtf8());
}

TEST(CStringFormat, MalformedNarrowTextBecomesReplacementCharacters) {
    EXPECT_EQ(CString(L"a\uFFFDb"), Formatted(L"%S", "a\xFF" "b"));
    EXPECT_EQ(CString(L"a\uFFFD"), Formatted(L"%S", "a\xE2\x82"));
}
