// printf-style formatting of wide text with the Windows conventions on every platform.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace cu::detail {

// Formats into buffer (capacity wide characters, terminator included) and always terminates it
// when capacity > 0; text beyond the capacity is cut. Returns the length of the whole formatted
// text without the terminator, so a result >= capacity means it was cut. Allocates nothing.
//
// Conversions: %s and %c take wide text and characters, %S, %hs, %C and %hc narrow (UTF-8) ones,
// %ls, %ws, %lc and %wc wide ones; integers take the length modifiers hh, h, l, ll, I32, I64, j, z
// and t; %n is not supported and writes nothing. Widths and precisions of numbers are clamped
// to 512. A text or character field wider than kMaxTextWidth is refused: the buffer then holds the
// empty text and the result is kFormatRefused.
constexpr int kMaxTextWidth = 65536;
constexpr std::size_t kFormatRefused = static_cast<std::size_t>(-1);
std::size_t FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                       va_list args);

}  // namespace cu::detail
