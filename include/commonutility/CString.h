// CString: the library's wide text value.
#pragma once

#include <cstdarg>
#include <memory>
#include <string>
#include <utility>

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
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const wchar_t* text);
    ~CString() = default;

    int GetLength() const { return m_text ? static_cast<int>(m_text->size()) : 0; }
    bool IsEmpty() const { return GetLength() == 0; }
    void Empty() { m_text.reset(); }
    const wchar_t* GetString() const { return m_text ? m_text->c_str() : L""; }
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
    int GetUtf16Length() const;

    // The text itself; the same object for every copy that shares this one's buffer.
    const std::wstring& str() const { return m_text ? *m_text : EmptyText(); }

private:
    static const std::wstring& EmptyText();
    // The buffer to write to, made or copied first unless this CString alone holds it.
    std::wstring& Mutable();

    std::shared_ptr<std::wstring> m_text;  // null for the empty text
};

COMMONUTILITY_API CString operator+(const CString& a, const CString& b);
COMMONUTILITY_API CString operator+(const CString& a, const wchar_t* b);
COMMONUTILITY_API CString operator+(const wchar_t* a, const CString& b);
COMMONUTILITY_API CString operator+(const CString& a, wchar_t b);

// Copies sharing a buffer are equal without reading it.
inline bool operator==(const CString& a, const CString& b) {
    return &a.str() == &b.str() || a.str() == b.str();
}
inline bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }
inline bool operator==(const wchar_t* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
inline bool operator!=(const wchar_t* a, const CString& b) { return !(a == b); }
inline bool operator<(const CString& a, const CString& b) { return a.Compare(b) < 0; }
inline bool operator>(const CString& a, const CString& b) { return a.Compare(b) > 0; }
inline bool operator<=(const CString& a, const CString& b) { return a.Compare(b) <= 0; }
inline bool operator>=(const CString& a, const CString& b) { return a.Compare(b) >= 0; }
