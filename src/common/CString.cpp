// CString: the library's wide text value.
#include "commonutility/CString.h"

#include <cwchar>
#include <vector>

#include "common/Unicode.h"
#include "common/WideFormat.h"
#include "platform/win32.h"

namespace {

int CompareUnits(const wchar_t* a, std::size_t lengthA, const wchar_t* b, std::size_t lengthB) {
    const std::size_t common = lengthA < lengthB ? lengthA : lengthB;
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] != b[i])
            return cu::detail::Utf16SortKey(a[i]) < cu::detail::Utf16SortKey(b[i]) ? -1 : 1;
    }
    return lengthA < lengthB ? -1 : (lengthA > lengthB ? 1 : 0);
}

wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

CString::CString(const wchar_t* text) {
    if (text != nullptr) m_text = text;
}

CString::CString(const wchar_t* text, int length) {
    if (text != nullptr && length > 0) m_text.assign(text, static_cast<std::size_t>(length));
}

CString::CString(wchar_t ch, int repeat) {
    if (repeat > 0) m_text.assign(static_cast<std::size_t>(repeat), ch);
}

CString::CString(const char* text) {
    if (text == nullptr || *text == '\0') return;
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1) return;
    m_text.resize(static_cast<std::size_t>(needed));
    MultiByteToWideChar(CP_ACP, 0, text, -1, &m_text[0], needed);
    m_text.resize(static_cast<std::size_t>(needed - 1));
}

CString& CString::operator=(const wchar_t* text) {
    if (text == nullptr)
        m_text.clear();
    else
        m_text = text;  // std::wstring copes with text that points into itself
    return *this;
}

wchar_t CString::GetAt(int index) const {
    return (index >= 0 && index < GetLength()) ? m_text[static_cast<std::size_t>(index)] : L'\0';
}

void CString::SetAt(int index, wchar_t ch) {
    if (index >= 0 && index < GetLength()) m_text[static_cast<std::size_t>(index)] = ch;
}

CString& CString::operator+=(const CString& text) {
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(const wchar_t* text) {
    if (text != nullptr) m_text += text;
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    m_text += ch;
    return *this;
}

void CString::Append(const wchar_t* text, int length) {
    if (text != nullptr && length > 0) m_text.append(text, static_cast<std::size_t>(length));
}

int CString::Compare(const CString& other) const {
    return CompareUnits(m_text.data(), m_text.size(), other.m_text.data(), other.m_text.size());
}

int CString::Compare(const wchar_t* other) const {
    if (other == nullptr) other = L"";
    return CompareUnits(m_text.data(), m_text.size(), other, std::wcslen(other));
}

int CString::CompareNoCase(const wchar_t* other) const {
    if (other == nullptr) other = L"";
    const wchar_t* a = m_text.c_str();
    for (;; ++a, ++other) {
        const wchar_t ca = FoldAscii(*a), cb = FoldAscii(*other);
        if (ca != cb)
            return cu::detail::Utf16SortKey(ca) < cu::detail::Utf16SortKey(cb) ? -1 : 1;
        if (ca == L'\0') return 0;
    }
}

int CString::Find(wchar_t ch, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    const auto pos = m_text.find(ch, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* sub, int start) const {
    if (sub == nullptr || start < 0 || start > GetLength()) return -1;
    const auto pos = m_text.find(sub, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
    const auto pos = m_text.rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    return CString(m_text.c_str(), count < GetLength() ? count : GetLength());
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(m_text.c_str() + (GetLength() - count), count);
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (first >= GetLength() || count <= 0) return CString();
    if (count > GetLength() - first) count = GetLength() - first;
    return CString(m_text.c_str() + first, count);
}

int CString::Delete(int index, int count) {
    if (index >= 0 && index < GetLength() && count > 0)
        m_text.erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
    return GetLength();
}

void CString::Truncate(int length) {
    if (length >= 0 && length < GetLength()) m_text.resize(static_cast<std::size_t>(length));
}

void CString::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

// The format or an argument may point into this text ("s.Format(L"(%s)", s.GetString())"), so the
// old text stays intact until the new one is complete.
void CString::FormatV(const wchar_t* format, va_list args) {
    CString result;
    result.AppendFormatV(format, args);
    m_text.swap(result.m_text);
}

void CString::AppendFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CString::AppendFormatV(const wchar_t* format, va_list args) {
    wchar_t small[256];
    va_list again;
    va_copy(again, args);
    const std::size_t length = cu::detail::FormatWide(small, 256, format, args);
    if (length < 256) {
        m_text.append(small, length);
    } else {
        std::vector<wchar_t> large(length + 1);
        cu::detail::FormatWide(large.data(), large.size(), format, again);
        m_text.append(large.data(), length);
    }
    va_end(again);
}

std::string CString::ToUtf8() const {
    std::string out;
    if (m_text.empty()) return out;
    const int length = GetLength();
    const int needed = WideCharToMultiByte(CP_UTF8, 0, m_text.data(), length, nullptr, 0, nullptr,
                                           nullptr);
    if (needed <= 0) return out;
    out.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_UTF8, 0, m_text.data(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

int CString::GetUtf16Length() const {
    return static_cast<int>(cu::detail::Utf16Length(m_text.data(), m_text.size()));
}

CString operator+(const CString& a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, const wchar_t* b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const wchar_t* a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}

CString operator+(const CString& a, wchar_t b) {
    CString result(a);
    result += b;
    return result;
}
