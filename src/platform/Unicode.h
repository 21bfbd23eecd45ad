// UTF-8 and UTF-16 helpers: the text conversions of the platform layer, used by the string class
// above it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace cu::detail {

constexpr char32_t kReplacementChar = 0xFFFD;
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

// Decodes one character from [*p, end) and advances *p past it. A malformed sequence gives
// U+FFFD and advances past its longest valid prefix (at least one byte), as Windows does.
char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end);

// Writes the UTF-8 form of c (1 to 4 bytes; a surrogate code point becomes U+FFFD) into out and
// returns the number of bytes.
int EncodeUtf8(char32_t c, char* out);

// Decodes one character from the wide text [*p, end): a surrogate pair where wchar_t is UTF-16,
// one unit elsewhere. A lone surrogate gives U+FFFD.
char32_t DecodeWide(const wchar_t*& p, const wchar_t* end);

// Writes c as wide text (1 or 2 units where wchar_t is UTF-16, 1 elsewhere); returns the count.
int EncodeWide(char32_t c, wchar_t* out);

// Sort key that orders wide characters as their UTF-16 code units would: where wchar_t is UTF-32,
// U+E000..U+FFFF must sort after every supplementary character, whose lead unit is a surrogate.
inline std::uint32_t Utf16SortKey(wchar_t c) {
    auto u = static_cast<std::uint32_t>(c);
    if (!kWideIsUtf16 && u >= 0xE000 && u <= 0xFFFF) return u + 0x110000;
    return u;
}

// Decodes UTF-8 into wide text in one pass (malformed sequences become U+FFFD). The second form
// replaces the content of out, reusing its storage; the third writes to out, which has room for
// length units (never fewer bytes than units), and gives the number of units written.
std::wstring Utf8ToWide(const char* text, std::size_t length);
void Utf8ToWide(const char* text, std::size_t length, std::wstring& out);
std::size_t Utf8ToWide(const char* text, std::size_t length, wchar_t* out);

// Length of a wide text in UTF-16 code units.
std::size_t Utf16Length(const wchar_t* text, std::size_t length);

}  // namespace cu::detail
