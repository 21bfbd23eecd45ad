// UTF-8 and UTF-16 helpers shared by the string class and the POSIX text conversions.
#include "platform/Unicode.h"

namespace cu::detail {

char32_t DecodeUtf8(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p++;
    if (lead < 0x80) return lead;

    int trail;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the first trail byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        trail = 1;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        trail = 2;
        c = lead & 0x0F;
        if (lead == 0xE0) lo = 0xA0;  // no overlong forms
        if (lead == 0xED) hi = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        trail = 3;
        c = lead & 0x07;
        if (lead == 0xF0) lo = 0x90;  // no overlong forms
        if (lead == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        return kReplacementChar;
    }
    for (int i = 0; i < trail; ++i) {
        if (p == end || *p < lo || *p > hi) return kReplacementChar;
        c = (c << 6) | (*p++ & 0x3F);
        lo = 0x80;
        hi = 0xBF;
    }
    return c;
}

int EncodeUtf8(char32_t c, char* out) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacementChar;
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

char32_t DecodeWide(const wchar_t*& p, const wchar_t* end) {
    auto c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*p++));
    if (c >= 0xDC00 && c <= 0xDFFF) return kReplacementChar;
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (!kWideIsUtf16 || p == end) return kReplacementChar;
        auto next = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(*p));
        if (next < 0xDC00 || next > 0xDFFF) return kReplacementChar;
        ++p;
        return 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
    }
    return c > 0x10FFFF ? kReplacementChar : c;
}

int EncodeWide(char32_t c, wchar_t* out) {
    if (kWideIsUtf16 && c >= 0x10000) {
        c -= 0x10000;
        out[0] = static_cast<wchar_t>(0xD800 + (c >> 10));
        out[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        return 2;
    }
    out[0] = static_cast<wchar_t>(c);
    return 1;
}

std::wstring Utf8ToWide(const char* text, std::size_t length) {
    std::wstring wide;
    Utf8ToWide(text, length, wide);
    return wide;
}

void Utf8ToWide(const char* text, std::size_t length, std::wstring& out) {
    out.resize(length);
    out.resize(Utf8ToWide(text, length, &out[0]));
}

std::size_t Utf8ToWide(const char* text, std::size_t length, wchar_t* out) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    wchar_t* const start = out;
    while (p < end) {
        if (*p < 0x80) {
            *out++ = static_cast<wchar_t>(*p++);
            continue;
        }
        out += EncodeWide(DecodeUtf8(p, end), out);
    }
    return static_cast<std::size_t>(out - start);
}

std::size_t Utf16Length(const wchar_t* text, std::size_t length) {
    std::size_t units = length;
    if (!kWideIsUtf16) {
        for (std::size_t i = 0; i < length; ++i)
            if ((static_cast<std::uint32_t>(text[i]) >> 16) != 0) ++units;  // above U+FFFF
    }
    return units;
}

}  // namespace cu::detail
