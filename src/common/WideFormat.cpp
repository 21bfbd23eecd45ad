// printf-style formatting of wide text with the Windows conventions on every platform.
//
// The C runtimes disagree on what "%s" means in a wide format (wide text on Windows, narrow text in
// C99), so the conversions are parsed here and each argument is fetched with its real type. Numbers
// are then formatted one at a time by the narrow snprintf, strings and characters directly.
#include "common/WideFormat.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "platform/Unicode.h"

namespace cu::detail {
namespace {

class Sink {
public:
    Sink(wchar_t* buffer, std::size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    void Put(wchar_t c) {
        if (m_length + 1 < m_capacity) m_buffer[m_length] = c;
        ++m_length;
    }
    void PutRepeated(wchar_t c, int count) {
        for (int i = 0; i < count; ++i) Put(c);
    }
    std::size_t Finish() {
        if (m_capacity > 0) m_buffer[m_length < m_capacity ? m_length : m_capacity - 1] = L'\0';
        return m_length;
    }

private:
    wchar_t* m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
};

constexpr int kMaxNumberWidth = 512;
constexpr int kMaxNumberPrecision = 512;

// A wide character argument as fetched from '...': wint_t is 16 bits on Windows and arrives
// promoted to int there, and fetching it as wint_t would be undefined.
using WintArg = std::conditional_t<(sizeof(std::wint_t) < sizeof(int)), int, std::wint_t>;

enum class Length { None, Char, Short, Long, LongLong, IntMax, Size, PtrDiff, LongDouble, Wide };

struct Conversion {
    char flags[8] = {};
    int width = -1;
    int precision = -1;
    Length length = Length::None;
    wchar_t conversion = 0;
    bool LeftAlign() const { return std::strchr(flags, '-') != nullptr; }
};

// value * 10 + digit, held at INT_MAX instead of overflowing.
int AddDigit(int value, wchar_t digit) {
    return value > (INT32_MAX - 9) / 10 ? INT32_MAX : value * 10 + (digit - L'0');
}

// Reads flags, width, precision and length of a conversion; *p stands after the '%'.
// Returns false when the format ends before the conversion character.
bool ParseSpec(const wchar_t*& p, va_list& args, Conversion& conv) {
    int nflags = 0;
    while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0') {
        if (nflags < 7 && !std::strchr(conv.flags, static_cast<char>(*p)))
            conv.flags[nflags++] = static_cast<char>(*p);
        ++p;
    }
    if (*p == L'*') {
        conv.width = va_arg(args, int);
        if (conv.width < 0) {  // a negative width means left alignment
            if (nflags < 7 && !conv.LeftAlign()) conv.flags[nflags++] = '-';
            conv.width = conv.width == INT32_MIN ? INT32_MAX : -conv.width;
        }
        ++p;
    } else {
        for (; *p >= L'0' && *p <= L'9'; ++p)
            conv.width = AddDigit(conv.width < 0 ? 0 : conv.width, *p);
    }
    if (*p == L'.') {
        ++p;
        conv.precision = 0;
        if (*p == L'*') {
            conv.precision = va_arg(args, int);
            if (conv.precision < 0) conv.precision = -1;
            ++p;
        } else {
            for (; *p >= L'0' && *p <= L'9'; ++p) conv.precision = AddDigit(conv.precision, *p);
        }
    }
    switch (*p) {
        case L'h':
            ++p;
            conv.length = Length::Short;
            if (*p == L'h') {
                ++p;
                conv.length = Length::Char;
            }
            break;
        case L'l':
            ++p;
            conv.length = Length::Long;
            if (*p == L'l') {
                ++p;
                conv.length = Length::LongLong;
            }
            break;
        case L'L': ++p; conv.length = Length::LongDouble; break;
        case L'q': ++p; conv.length = Length::LongLong; break;
        case L'j': ++p; conv.length = Length::IntMax; break;
        case L'z': ++p; conv.length = Length::Size; break;
        case L't': ++p; conv.length = Length::PtrDiff; break;
        case L'w': ++p; conv.length = Length::Wide; break;
        case L'I':
            if (p[1] == L'6' && p[2] == L'4') {
                p += 3;
                conv.length = Length::LongLong;
            } else if (p[1] == L'3' && p[2] == L'2') {
                p += 3;
                conv.length = Length::None;
            } else {
                ++p;
                conv.length = Length::Size;
            }
            break;
        default: break;
    }
    conv.conversion = *p;
    if (*p == L'\0') return false;
    ++p;
    return true;
}

// Pads a field of `length` characters to the width; call before and after writing it.
void PadBefore(Sink& out, const Conversion& conv, int length) {
    if (!conv.LeftAlign() && conv.width > length) out.PutRepeated(L' ', conv.width - length);
}
void PadAfter(Sink& out, const Conversion& conv, int length) {
    if (conv.LeftAlign() && conv.width > length) out.PutRepeated(L' ', conv.width - length);
}

void WriteWideText(Sink& out, const Conversion& conv, const wchar_t* text) {
    if (text == nullptr) text = L"(null)";
    int length = 0;
    while (text[length] != L'\0' && (conv.precision < 0 || length < conv.precision)) ++length;
    PadBefore(out, conv, length);
    for (int i = 0; i < length; ++i) out.Put(text[i]);
    PadAfter(out, conv, length);
}

void WriteNarrowText(Sink& out, const Conversion& conv, const char* text) {
    if (text == nullptr) text = "(null)";
    // The field is measured in wide characters, so decode once to count and once to write.
    const auto* begin = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = begin + std::strlen(text);
    wchar_t units[2];
    int length = 0;
    for (const unsigned char* p = begin; p < end;) {
        int n = EncodeWide(DecodeUtf8(p, end), units);
        if (conv.precision >= 0 && length + n > conv.precision) break;
        length += n;
    }
    PadBefore(out, conv, length);
    int written = 0;
    for (const unsigned char* p = begin; p < end && written < length;) {
        int n = EncodeWide(DecodeUtf8(p, end), units);
        for (int i = 0; i < n; ++i) out.Put(units[i]);
        written += n;
    }
    PadAfter(out, conv, length);
}

void WriteChar(Sink& out, const Conversion& conv, char32_t c) {
    wchar_t units[2];
    int n = EncodeWide(c, units);
    PadBefore(out, conv, n);
    for (int i = 0; i < n; ++i) out.Put(units[i]);
    PadAfter(out, conv, n);
}

// Formats one number with the narrow snprintf and copies its (ASCII) text to the sink.
template <typename T>
void WriteNumber(Sink& out, const Conversion& conv, const char* lengthModifier, T value) {
    char format[32];
    char* f = format;
    *f++ = '%';
    for (const char* c = conv.flags; *c; ++c) *f++ = *c;
    *f++ = '*';
    *f++ = '.';
    *f++ = '*';
    for (const char* c = lengthModifier; *c; ++c) *f++ = *c;
    *f++ = static_cast<char>(conv.conversion);
    *f = '\0';

    // "%.*" with a negative precision means "no precision", as if it were left out. Widths and
    // precisions are clamped so that every number fits the stack buffer.
    const int width = conv.width < 0 ? 0 : (conv.width > kMaxNumberWidth ? kMaxNumberWidth : conv.width);
    const int precision = conv.precision > kMaxNumberPrecision ? kMaxNumberPrecision : conv.precision;
    char text[kMaxNumberWidth + kMaxNumberPrecision + 400];
    const int length = std::snprintf(text, sizeof text, format, width, precision, value);
    for (int i = 0; i < length && i < static_cast<int>(sizeof text) - 1; ++i)
        out.Put(static_cast<unsigned char>(text[i]));
}

void WriteSigned(Sink& out, const Conversion& conv, va_list& args) {
    long long value;
    switch (conv.length) {
        case Length::Char: value = static_cast<signed char>(va_arg(args, int)); break;
        case Length::Short: value = static_cast<short>(va_arg(args, int)); break;
        case Length::Long: value = va_arg(args, long); break;
        case Length::LongLong: value = va_arg(args, long long); break;
        case Length::IntMax: value = static_cast<long long>(va_arg(args, std::intmax_t)); break;
        case Length::Size:
        case Length::PtrDiff: value = static_cast<long long>(va_arg(args, std::ptrdiff_t)); break;
        default: value = va_arg(args, int); break;
    }
    WriteNumber(out, conv, "ll", value);
}

void WriteUnsigned(Sink& out, const Conversion& conv, va_list& args) {
    unsigned long long value;
    switch (conv.length) {
        case Length::Char: value = static_cast<unsigned char>(va_arg(args, unsigned)); break;
        case Length::Short: value = static_cast<unsigned short>(va_arg(args, unsigned)); break;
        case Length::Long: value = va_arg(args, unsigned long); break;
        case Length::LongLong: value = va_arg(args, unsigned long long); break;
        case Length::IntMax: value = va_arg(args, std::uintmax_t); break;
        case Length::Size:
        case Length::PtrDiff: value = va_arg(args, std::size_t); break;
        default: value = va_arg(args, unsigned); break;
    }
    WriteNumber(out, conv, "ll", value);
}

}  // namespace

std::size_t FormatWide(wchar_t* buffer, std::size_t capacity, const wchar_t* format,
                       va_list args) {
    Sink out(buffer, capacity);
    if (format == nullptr) return out.Finish();

    va_list ap;
    va_copy(ap, args);
    for (const wchar_t* p = format; *p != L'\0';) {
        if (*p != L'%') {
            out.Put(*p++);
            continue;
        }
        const wchar_t* start = p++;
        if (*p == L'%') {
            out.Put(L'%');
            ++p;
            continue;
        }
        Conversion conv;
        if (!ParseSpec(p, ap, conv)) {  // an unfinished conversion at the end stays as it is
            for (const wchar_t* c = start; c < p; ++c) out.Put(*c);
            break;
        }
        const bool narrow = conv.length == Length::Short || conv.length == Length::Char;
        // Padding text is written one character at a time: a width of billions would take
        // seconds and, for a caller that sizes a buffer from the result, gigabytes.
        const bool text = std::wcschr(L"sScC", conv.conversion) != nullptr;
        if (text && conv.width > kMaxTextWidth) {
            va_end(ap);
            if (capacity > 0) buffer[0] = L'\0';
            return kFormatRefused;
        }
        switch (conv.conversion) {
            case L'd':
            case L'i': WriteSigned(out, conv, ap); break;
            case L'u':
            case L'o':
            case L'x':
            case L'X': WriteUnsigned(out, conv, ap); break;
            case L'e':
            case L'E':
            case L'f':
            case L'F':
            case L'g':
            case L'G':
            case L'a':
            case L'A':
                if (conv.length == Length::LongDouble)
                    WriteNumber(out, conv, "L", va_arg(ap, long double));
                else
                    WriteNumber(out, conv, "", va_arg(ap, double));
                break;
            case L'p': {
                Conversion pointer = conv;
                pointer.precision = -1;
                WriteNumber(out, pointer, "", va_arg(ap, void*));
                break;
            }
            case L's':
                if (narrow)
                    WriteNarrowText(out, conv, va_arg(ap, const char*));
                else
                    WriteWideText(out, conv, va_arg(ap, const wchar_t*));
                break;
            case L'S':
                if (conv.length == Length::Long || conv.length == Length::Wide)
                    WriteWideText(out, conv, va_arg(ap, const wchar_t*));
                else
                    WriteNarrowText(out, conv, va_arg(ap, const char*));
                break;
            case L'c':
                if (narrow)
                    WriteChar(out, conv, static_cast<unsigned char>(va_arg(ap, int)));
                else
                    WriteChar(out, conv, static_cast<char32_t>(va_arg(ap, WintArg)));
                break;
            case L'C':
                if (conv.length == Length::Long || conv.length == Length::Wide)
                    WriteChar(out, conv, static_cast<char32_t>(va_arg(ap, WintArg)));
                else
                    WriteChar(out, conv, static_cast<unsigned char>(va_arg(ap, int)));
                break;
            case L'n':  // writing through a caller's pointer is an attack surface: skip it
                (void)va_arg(ap, void*);
                break;
            default:  // an unknown conversion is copied as it stands
                for (const wchar_t* c = start; c < p; ++c) out.Put(*c);
                break;
        }
    }
    va_end(ap);
    return out.Finish();
}

}  // namespace cu::detail
