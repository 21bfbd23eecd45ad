// CString: the library's wide text value.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cwchar>
#include <string>

#include "commonutility/Export.h"

// A wide string with value semantics.
//
// Copies share one buffer until one of them is written to, which then takes a copy of its own; a
// buffer that is shared is never written. So copying is cheap whatever the length, texts that
// share a buffer compare equal at once, and copies of one text may be used on different threads
// (each thread its own CString object, as for any value).
//
// Texts are ordered by their UTF-16 code units taken as unsigned numbers, on every platform:
// where wchar_t holds UTF-32 (Linux), a character above U+FFFF sorts as its surrogate pair
// would, so that it sorts below U+E000..U+FFFF exactly as on Windows.
//
// Format follows the Windows wide-format convention on every platform: "%s" takes wide text,
// "%S" and "%hs" take narrow (UTF-8) text, "%ls" and "%ws" wide text again.
class COMMONUTILITY_API CString {
public:
    CString() = default;
    CString(const wchar_t* text);  // NOLINT: implicit on purpose, as for any text value
    CString(const wchar_t* text, int length);
    CString(wchar_t ch, int repeat = 1);
    explicit CString(std::wstring&& text);
    // Converts narrow text from the ANSI code page (UTF-8 here).
    explicit CString(const char* text);
    CString(const CString& other) noexcept;
    CString(CString&& other) noexcept : m_data(other.m_data) { other.m_data = nullptr; }
    CString& operator=(const CString& other) noexcept;
    CString& operator=(CString&& other) noexcept;
    CString& operator=(const wchar_t* text);
    ~CString();

    int GetLength() const { return m_data ? HeaderOf(m_data)->length : 0; }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty();
    const wchar_t* GetString() const { return m_data ? m_data : L""; }
    operator const wchar_t*() const { return GetString(); }  // NOLINT: as callers expect

    // Character access; an index outside 0 to length - 1 gives 0 and SetAt does nothing.
    wchar_t GetAt(int index) const;
    void SetAt(int index, wchar_t ch);

    CString& operator+=(const CString& text);
    CString& operator+=(const wchar_t* text);
    CString& operator+=(wchar_t ch);
    void Append(const wchar_t* text, int length);

    // <0, 0 or >0 as this text sorts before, equal to or after the other.
    int Compare(const CString& other) const;
    int Compare(const wchar_t* other) const;
    // Ordinal comparison with the ASCII letters folded to lower case, as the C runtime's
    // case-insensitive comparison does in the C locale.
    int CompareNoCase(const wchar_t* other) const;

    // Positions are 0-based; -1 when not found.
    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;

    // Parts are clamped to the text: a count beyond the end gives what there is.
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    // Removes count characters from index; returns the new length.
    int Delete(int index, int count = 1);
    void Truncate(int length);

    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);
    void AppendFormatV(const wchar_t* format, va_list args);

    // The text as UTF-8, and its length in UTF-16 code units.
    std::string ToUtf8() const;
    // The text of UTF-8 bytes, whatever the code page; malformed sequences become U+FFFD.
    static CString FromUtf8(const char* text, std::size_t length);
    int GetUtf16Length() const;

    // A copy of the text as a standard string.
    std::wstring str() const { return std::wstring(GetString(), static_cast<std::size_t>(GetLength())); }

private:
    // The buffer is one heap block: this header, then the units and a terminating zero.
    struct Header {
        std::atomic<int> references;
        int length;
        int capacity;  // units, the terminator not counted
    };
    static Header* HeaderOf(const wchar_t* data) {
        return reinterpret_cast<Header*>(reinterpret_cast<char*>(const_cast<wchar_t*>(data)) - sizeof(Header));
    }
    // A new buffer of this capacity holding the text [text, text + length) (length <= capacity).
    static wchar_t* Allocate(int capacity, const wchar_t* text, int length);
    static void Release(wchar_t* data) noexcept;
    // Makes this CString the only holder of a buffer with room for capacity units, keeping the
    // text, and returns the units.
    wchar_t* Unique(int capacity);

    wchar_t* m_data = nullptr;  // null for the empty text

    // Copies sharing a buffer are equal without reading it.
    friend bool operator==(const CString& a, const CString& b) {
        if (a.m_data == b.m_data) return true;
        const int length = a.GetLength();
        return length == b.GetLength() &&
               std::wmemcmp(a.GetString(), b.GetString(), static_cast<std::size_t>(length)) == 0;
    }
};

COMMONUTILITY_API CString operator+(const CString& a, const CString& b);
COMMONUTILITY_API CString operator+(const CString& a, const wchar_t* b);
COMMONUTILITY_API CString operator+(const wchar_t* a, const CString& b);
COMMONUTILITY_API CString operator+(const CString& a, wchar_t b);

inline bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }
inline bool operator==(const wchar_t* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
inline bool operator!=(const wchar_t* a, const CString& b) { return !(a == b); }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
inline bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
inline bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
