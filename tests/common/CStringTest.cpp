// Tests of CString: ordering, searching, parts, conversions and formatting.
#include "commonutility/CString.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/Printers.h"

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

CString Formatted(const wchar_t* format, ...) {
    CString text;
    va_list args;
    va_start(args, format);
    text.FormatV(format, args);
    va_end(args);
    return text;
}

// One table row: what was called, what it gave, what it should have given.
struct Row { const char* what; CString got; std::wstring expected; };

void ExpectRows(std::initializer_list<Row> rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(CString(std::wstring(row.expected)), row.got);
    }
}

}  // namespace

TEST(CStringCompare, OrdersByUtf16CodeUnits) {
    // sign is that of Compare; noCase that of CompareNoCase, which folds ASCII letters to lower.
    struct Case { const wchar_t *a, *b; int sign, noCase; };
    const Case cases[] = {
        {L"ab", L"abc", -1, -1},  // a proper prefix sorts first
        {L"B", L"a", -1, 1},      // code units, not letters: 'B' is 0x42, 'a' 0x61
        {L"Hello", L"hELLO", -1, 0},
        {L"_", L"A", 1, -1},  // folding to lower case puts '_' (0x5F) below the letters
        {L"\u00c9", L"\u00e9", -1, -1},  // only ASCII letters fold
        // A supplementary character is a surrogate pair: below U+E000..U+FFFF, above U+D7FF.
        {L"x\U0001F600", L"x\uFFFD", -1, -1},
        {L"\U0001F600", L"\uD7FF", 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CString(c.a).ToUtf8() + " vs " + CString(c.b).ToUtf8());
        const CString a(c.a), b(c.b);
        EXPECT_EQ(c.sign, Sign(a.Compare(b)));
        EXPECT_EQ(-c.sign, Sign(b.Compare(a)));
        EXPECT_EQ(c.sign == 0, a == b);
        EXPECT_EQ(c.noCase, Sign(a.CompareNoCase(c.b)));
        EXPECT_EQ(-c.noCase, Sign(b.CompareNoCase(c.a)));
    }
    // Text after an embedded zero takes part.
    EXPECT_GT(CString(L"a\0b", 3).Compare(CString(L"a")), 0);
}

TEST(CStringSearch, FindAndReverseFind) {
    const CString text(L"abcabc");
    EXPECT_EQ(4, text.Find(L'b', 2));
    for (int start : {-1, 5, 100}) EXPECT_EQ(-1, text.Find(L'b', start)) << start;
    EXPECT_EQ(3, text.Find(L"abc", 1));
    EXPECT_EQ(-1, text.Find(L"abcd"));
    EXPECT_EQ(-1, text.Find(static_cast<const wchar_t*>(nullptr)));
    EXPECT_EQ(4, text.ReverseFind(L'b'));
    EXPECT_EQ(-1, CString().ReverseFind(L'a'));
}

TEST(CStringParts, ClampToTheText) {
    const CString text(L"abcdef");
    ExpectRows({
        {"Left", text.Left(2) + L"|" + text.Left(-1) + L"|" + text.Left(100), L"ab||abcdef"},
        {"Right", text.Right(2) + L"|" + text.Right(-3) + L"|" + text.Right(100), L"ef||abcdef"},
        {"Mid", text.Mid(2) + L"|" + text.Mid(-2) + L"|" + text.Mid(100), L"cdef|abcdef|"},
        // Mid(4, INT_MAX) must not overflow start + count.
        {"Mid with a count", text.Mid(1, 3) + L"|" + text.Mid(4, INT_MAX), L"bcd|ef"},
        {"Mid clamps a count", text.Mid(-1, 2) + L"|" + text.Mid(1, -1), L"ab|"},
    });
}

TEST(CStringConvert, Utf8AndUtf16Length) {
    const CString supplementary(L"a\U0001F600\U0010FFFF");
    EXPECT_EQ(std::string("a\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"), supplementary.ToUtf8());
    EXPECT_EQ(5, supplementary.GetUtf16Length());  // each character above U+FFFF counts two
    EXPECT_EQ(0, CString().GetUtf16Length());
    EXPECT_EQ(std::string("a\0b", 3), CString(L"a\0b", 3).ToUtf8());
    const std::string bytes = supplementary.ToUtf8();
    EXPECT_EQ(supplementary, CString::FromUtf8(bytes.data(), bytes.size()));
    EXPECT_EQ(CString(L"a\uFFFDb"), CString::FromUtf8("a\xC3" "b", 3));  // a cut sequence
    const CString japanese = CString::FromUtf8("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", 9);
    EXPECT_EQ(CString(L"\u65e5\u672c\u8a9e"), japanese);  // three units, as equality compares lengths
    EXPECT_TRUE(CString::FromUtf8(nullptr, 0).IsEmpty());
    EXPECT_EQ(CString(L"plain"), CString("plain"));
    EXPECT_TRUE(CString(static_cast<const char*>(nullptr)).IsEmpty());
#ifndef _WIN32
    // The narrow constructor reads the ANSI code page: UTF-8 here, a legacy one on Windows.
    EXPECT_EQ(CString(L"\u00e9\U0001F600"), CString("\xC3\xA9\xF0\x9F\x98\x80"));
    EXPECT_EQ(CString(L"a\uFFFDb"), CString("a\xFF" "b"));  // a bad byte does not cut the text
#endif
}

TEST(CStringFormat, WindowsStringAndCharacterConventions) {
    // %s and %c take wide arguments, %S and %C narrow (UTF-8) ones; h and l force either.
    ExpectRows({
        {"%s %ls %ws", Formatted(L"[%s|%ls|%ws]", L"a", L"b", L"c"), L"[a|b|c]"},
        {"%S %hs %lS", Formatted(L"[%S|%hs|%lS]", "a", "b", L"c"), L"[a|b|c]"},
        {"%S reads UTF-8", Formatted(L"%S", "\xC3\xA9\xF0\x9F\x98\x80"), L"\u00e9\U0001F600"},
        {"%S malformed", Formatted(L"%S|%S", "a\xFF" "b", "a\xE2\x82"), L"a\uFFFDb|a\uFFFD"},
        {"%c %lc", Formatted(L"%c%lc", L'\u00e9', L'\u20ac'), L"\u00e9\u20ac"},
        {"%C %hc", Formatted(L"%C%hc", 'y', 'z'), L"yz"},
        {"%3c pads", Formatted(L"%3c|%-3c|", L'a', L'b'), L"  a|b  |"},
        {"null text", Formatted(L"%s %S", static_cast<const wchar_t*>(nullptr),
                                static_cast<const char*>(nullptr)), L"(null) (null)"},
        {"precision cuts", Formatted(L"%.2s|%.2S", L"abc", "abc"), L"ab|ab"},
        {"width pads", Formatted(L"%6s|%-6s|", L"abc", L"abc"), L"   abc|abc   |"},
        // The width of narrow text counts characters, not UTF-8 bytes.
        {"%4S", Formatted(L"%4S|", "\xC3\xA9"), L"   \u00e9|"},
        {"* widths", Formatted(L"%*s|%*s|%.*s", 4, L"ab", -4, L"ab", 1, L"ab"), L"  ab|ab  |a"},
        {"%%", Formatted(L"100%%"), L"100%"},
    });
}

TEST(CStringFormat, Numbers) {
    // long is 64 bits on Linux and 32 on Windows: each argument must be read with its own size,
    // which the %d after it shows.
    const long lmax = std::numeric_limits<long>::max(), lmin = std::numeric_limits<long>::min();
    const unsigned long ulmax = std::numeric_limits<unsigned long>::max();
    const std::size_t big = static_cast<std::size_t>(1) << 40;
    ExpectRows({
        {"int", Formatted(L"%d %i %u %#x %X %o", -42, INT_MIN, UINT_MAX, 255u, 255u, 8u),
         L"-42 -2147483648 4294967295 0xff FF 10"},
        {"%ld %lu", Formatted(L"%ld|%ld|%lu|%d", lmax, lmin, ulmax, 7),
         std::to_wstring(lmax) + L"|" + std::to_wstring(lmin) + L"|" + std::to_wstring(ulmax) +
             L"|7"},
        {"%lld %llu", Formatted(L"%lld|%llu|%d", LLONG_MIN, ULLONG_MAX, 7),
         L"-9223372036854775808|18446744073709551615|7"},
        {"%I64 %I32", Formatted(L"%I64d|%I64u|%I64x|%I32d|%d", -1234567890123LL,
                                18000000000000000000ULL, 0x123456789abcULL, -5, 7),
         L"-1234567890123|18000000000000000000|123456789abc|-5|7"},
        {"%zu %hd %hu %hhd", Formatted(L"%zu|%hd %hu %hhd", big, 70000, 65537u, 300),
         std::to_wstring(big) + L"|4464 1 44"},
        {"flags", Formatted(L"[%5d|%-5d|%05d|%+d|% d|%.3d]", 42, 42, -42, 5, 5, 7),
         L"[   42|42   |-0042|+5| 5|007]"},
        {"* widths", Formatted(L"[%*d|%*d|%*.*d]", 4, 7, -4, 7, 6, 3, 7), L"[   7|7   |   007]"},
        {"%f", Formatted(L"%f|%lf|%.0f|%.*f|%-5.1f|%05.2f", 1.5, 1.5, 2.75, 1, 0.26, 2.26, 3.14159),
         L"1.500000|1.500000|3|0.3|2.3  |03.14"},
        {"%e %g", Formatted(L"%.2E|%e|%g", -0.00012, 12345.678, 1e20),
         L"-1.20E-04|1.234568e+04|1e+20"},
    });
}

TEST(CStringFormat, TextBeyondTheSmallBuffer) {
    // Lengths around the 256 characters formatted on the stack, then far beyond it.
    for (int length : {255, 256, 257, 70000}) {
        SCOPED_TRACE(length);
        const std::wstring body(static_cast<std::size_t>(length), L'w');
        const std::string narrow(static_cast<std::size_t>(length), 'n');
        EXPECT_EQ(CString(std::wstring(body)), Formatted(L"%s", body.c_str()));

        // The arguments after the long one must still be read right on the second pass.
        CString text(L"head:");
        text.AppendFormat(L"<%s|%d|%S|%.1f>", body.c_str(), -17, narrow.c_str(), 0.5);
        const std::wstring wideNarrow(narrow.size(), L'n');
        EXPECT_EQ(CString(L"head:<" + body + L"|-17|" + wideNarrow + L"|0.5>"), text);
    }
    // A wide field alone can make the text long.
    EXPECT_EQ(CString(std::wstring(299, L' ') + L"1|"), Formatted(L"%300d|", 1));
}

// A text field may be up to 65536 characters wide; a wider one, however it is written, refuses
// the whole call, which leaves the text as it was. Widths of numbers are clamped instead.
TEST(CStringFormat, AbsurdTextWidthsAreRefused) {
    const struct { const char* what; CString got; int length; } rows[] = {  // length -1: refused
        {"%65536s", Formatted(L"%65536s", L"a"), 65536},
        {"%-65536c", Formatted(L"%-65536c", L'a'), 65536},
        {"%65537s", Formatted(L"%65537s", L"a"), -1},
        {"%7777777777777777ls", Formatted(L"%7777777777777777ls", L"a"), -1},
        {"%99999999999S", Formatted(L"[%d%99999999999S]", 1, "a"), -1},
        {"%*s INT_MAX", Formatted(L"%*s", INT_MAX, L"a"), -1},
        {"%*C INT_MIN", Formatted(L"%*C", INT_MIN, 'a'), -1},
        {"%7777777777777777d", Formatted(L"%7777777777777777d", 1), 512},
        {"%.7777777777777777s", Formatted(L"%.7777777777777777s", L"ab"), 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.length < 0 ? 0 : row.length, row.got.GetLength());
    }
    CString text(L"kept");
    text.Format(L"%s%7777777777777777ls", L"x", L"y");
    text.AppendFormat(L"%2147483647hc", 'z');
    EXPECT_EQ(CString(L"kept"), text);
}

TEST(CStringFormat, ReplacesAndMayReadItsOwnText) {
    CString text(L"old");
    text.Format(L"%d", 1);
    // Arguments, and the format itself, may point into the text being written.
    text.Format(L"(%s)", text.GetString());
    text.AppendFormat(L"%s", text.GetString());
    EXPECT_EQ(CString(L"(1)(1)"), text);
    CString format(L"<%d>");
    format.Format(format.GetString(), 5);
    EXPECT_EQ(CString(L"<5>"), format);
}

TEST(CStringCopy, SharesTheTextUntilOneIsWritten) {
    const CString original(L"shared");
    void (*const writes[])(CString&) = {
        [](CString& s) { s.SetAt(0, L'S'); }, [](CString& s) { s += s; },
        [](CString& s) { s.Append(L"!", 1); }, [](CString& s) { s.Delete(0); },
        [](CString& s) { s.Truncate(1); }, [](CString& s) { s.AppendFormat(L"%d", 1); },
    };
    for (const auto& write : writes) {
        SCOPED_TRACE(&write - writes);
        CString copy = original;
        EXPECT_EQ(original.GetString(), copy.GetString());
        write(copy);
        EXPECT_NE(original, copy);  // the write took a buffer of its own, not the shared one
        EXPECT_EQ(CString(L"shared"), original);
    }
}

// Copies of one text taken, written and dropped on several threads at once: each thread sees the
// text whole, and the last holder frees it (ThreadSanitizer and AddressSanitizer check the rest).
TEST(CStringCopy, CopiesLiveOnSeveralThreads) {
    const CString original(L"shared across threads");
    std::vector<std::thread> threads;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&original, &wrong, t] {
            for (int i = 0; i < 2000; ++i) {
                CString copy = original;
                CString second(copy);
                if (i % 2 == t % 2) second += L'!';
                if (copy != original || second.Left(original.GetLength()) != original) ++wrong;
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(CString(L"shared across threads"), original);
}
