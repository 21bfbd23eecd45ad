// CString: the library's wide text value.
#include "commonutility/CString.h"

#include <atomic>
#include <climits>
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
    if (text != nullptr && *text != L'\0') m_text = std::make_shared<std::wstring>(text);
}

CString::CString(const wchar_t* text, int length) {
    if (text != nullptr && length > 0)
        m_text = std::make_shared<std::wstring>(text, static_cast<std::size_t>(length));
}

CString::CString(wchar_t ch, int repeat) {
    if (repeat > 0) m_text = std::make_shared<std::wstring>(static_cast<std::size_t>(repeat), ch);
}

CString::CString(std::wstring&& text) {
    if (!text.empty()) m_text = std::make_shared<std::wstring>(std::move(text));
}

CString::CString(const char* text) {
    if (text == nullptr || *text == '\0') return;
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1) return;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], needed);
    wide.resize(static_cast<std::size_t>(needed - 1));
    m_text = std::make_shared<std::wstring>(std::move(wide));
}

// The new text is complete before the old one goes: text may point into it.
CString& CString::operator=(const wchar_t* text) {
    *this = CString(text);
    return *this;
}

const std::wstring& CString::EmptyText() {
    static const std::wstring empty;
    return empty;
}

// A count of one means no other CString holds the buffer, and none can get it but from this
// one, so it is written in place. Copies released on other threads may have read it: the acquire
// fence pairs with their releasing decrement, so those reads come before the writes here.
std::wstring& CString::Mutable() {
    if (!m_text) {
        m_text = std::make_shared<std::wstring>();
    } else if (m_text.use_count() > 1) {
        m_text = std::make_shared<std::wstring>(*m_text);
    } else {
        std::atomic_thread_fence(std::memory_order_acquire);
    }
    return *m_text;
}

wchar_t CString::GetAt(int index) const {
    return (index >= 0 && index < GetLength()) ? (*m_text)[static_cast<std::size_t>(index)] : L'\0';
}

void CString::SetAt(int index, wchar_t ch) {
    if (index >= 0 && index < GetLength()) Mutable()[static_cast<std::size_t>(index)] = ch;
}

// Text that points into this one stays valid while it is appended: std::wstring copes with its
// own characters, and a shared buffer is left to its other holders.
CString& CString::operator+=(const CString& text) {
    if (!text.IsEmpty()) Mutable() += text.str();
    return *this;
}

CString& CString::operator+=(const wchar_t* text) {
    if (text != nullptr && *text != L'\0') Mutable() += text;
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    Mutable() += ch;
    return *this;
}

void CString::Append(const wchar_t* text, int length) {
    if (text != nullptr && length > 0) Mutable().append(text, static_cast<std::size_t>(length));
}

int CString::Compare(const CString& other) const {
    if (m_text == other.m_text) return 0;
    return CompareUnits(GetString(), str().size(), other.GetString(), other.str().size());
}

int CString::Compare(const wchar_t* other) const {
    if (other == nullptr) other = L"";
    return CompareUnits(GetString(), str().size(), other, std::wcslen(other));
}

int CString::CompareNoCase(const wchar_t* other) const {
    if (other == nullptr) other = L"";
    const wchar_t* a = GetString();
    for (;; ++a, ++other) {
        const wchar_t ca = FoldAscii(*a), cb = FoldAscii(*other);
        if (ca != cb)
            return cu::detail::Utf16SortKey(ca) < cu::detail::Utf16SortKey(cb) ? -1 : 1;
        if (ca == L'\0') return 0;
    }
}

int CString::Find(wchar_t ch, int start) const {
    if (start < 0 || start >= GetLength()) return -1;
    const auto pos = str().find(ch, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* sub, int start) const {
    if (sub == nullptr || start < 0 || start > GetLength()) return -1;
    const auto pos = str().find(sub, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
    const auto pos = str().rfind(ch);
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(GetString(), count);
}

CString CString::Right(int count) const {
    if (count <= 0) return CString();
    if (count >= GetLength()) return *this;
    return CString(GetString() + (GetLength() - count), count);
}

CString CString::Mid(int first) const { return Mid(first, GetLength()); }

CString CString::Mid(int first, int count) const {
    if (first < 0) first = 0;
    if (first >= GetLength() || count <= 0) return CString();
    if (count > GetLength() - first) count = GetLength() - first;
    return CString(GetString() + first, count);
}

int CString::Delete(int index, int count) {
    if (index >= 0 && index < GetLength() && count > 0)
        Mutable().erase(static_cast<std::size_t>(index), static_cast<std::size_t>(count));
    return GetLength();
}

void CString::Truncate(int length) {
    if (length >= 0 && length < GetLength()) Mutable().resize(static_cast<std::size_t>(length));
}

void CString::Format(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

namespace {

// Appends the formatted text to target; false, with target unchanged, when the format is refused
// or its text is longer than a CString can measure.
bool AppendFormatted(CString& target, const wchar_t* format, va_list args) {
    wchar_t small[256];
    va_list again;
    va_copy(again, args);
    const std::size_t length = cu::detail::FormatWide(small, 256, format, args);
    const bool ok = length != cu::detail::kFormatRefused && length < static_cast<std::size_t>(INT_MAX);
    if (ok && length < 256) {
        target.Append(small, static_cast<int>(length));
    } else if (ok) {
        std::vector<wchar_t> large(length + 1);
        cu::detail::FormatWide(large.data(), large.size(), format, again);
        target.Append(large.data(), static_cast<int>(length));
    }
    va_end(again);
    return ok;
}

}  // namespace

// The format or an argument may point into this text ("s.Format(L"(%s)", s.GetString())"), so the
// old text stays intact until the new one is complete. A refused format leaves it as it was.
void CString::FormatV(const wchar_t* format, va_list args) {
    CString result;
    if (AppendFormatted(result, format, args)) m_text = std::move(result.m_text);
}

void CString::AppendFormat(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void CString::AppendFormatV(const wchar_t* format, va_list args) {
    AppendFormatted(*this, format, args);
}

std::string CString::ToUtf8() const {
    std::string out;
    if (IsEmpty()) return out;
    const int length = GetLength();
    const int needed = WideCharToMultiByte(CP_UTF8, 0, GetString(), length, nullptr, 0, nullptr,
                                           nullptr);
    if (needed <= 0) return out;
    out.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_UTF8, 0, GetString(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

int CString::GetUtf16Length() const {
    return static_cast<int>(cu::detail::Utf16Length(GetString(), str().size()));
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
