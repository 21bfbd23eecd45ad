// CString: the library's wide text value.
#include "commonutility/CString.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cwchar>
#include <new>
#include <string_view>
#include <vector>

#include "platform/Unicode.h"
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

// A buffer is released by its last holder. The decrement releases this holder's reads and
// writes; the last holder's acquire makes every other holder's come before the free.
void CString::Release(wchar_t* data) noexcept {
    if (data == nullptr) return;
    Header* header = HeaderOf(data);
    if (header->references.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        header->~Header();
        std::free(header);
    }
}

wchar_t* CString::Allocate(int capacity, const wchar_t* text, int length) {
    const std::size_t bytes = sizeof(Header) + (static_cast<std::size_t>(capacity) + 1) * sizeof(wchar_t);
    void* block = capacity >= 0 && capacity < INT_MAX ? std::malloc(bytes) : nullptr;
    if (block == nullptr) throw std::bad_alloc();
    auto* header = new (block) Header{{1}, length, capacity};
    auto* data = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(header) + sizeof(Header));
    if (length > 0) std::wmemcpy(data, text, static_cast<std::size_t>(length));
    data[length] = L'\0';
    return data;
}

// A count of one means no other CString holds the buffer, and none can get it but from this
// one, so it is written in place. Copies released on other threads may have read it: the acquire
// load pairs with their releasing decrement, so those reads come before the writes here. A new
// buffer is filled before the old one is released, so text that points into it stays readable.
wchar_t* CString::Unique(int capacity) {
    const int length = GetLength();
    if (capacity < length) capacity = length;
    if (m_data != nullptr && HeaderOf(m_data)->references.load(std::memory_order_acquire) == 1 &&
        HeaderOf(m_data)->capacity >= capacity)
        return m_data;
    if (m_data != nullptr && HeaderOf(m_data)->references.load(std::memory_order_relaxed) == 1) {
        // Growing: room for more appends to come.
        const int grown = HeaderOf(m_data)->capacity + HeaderOf(m_data)->capacity / 2;
        if (grown > capacity && grown < INT_MAX / 2) capacity = grown;
    }
    wchar_t* data = Allocate(capacity, m_data, length);
    Release(m_data);
    m_data = data;
    return m_data;
}

CString::CString(const CString& other) noexcept : m_data(other.m_data) {
    if (m_data != nullptr) HeaderOf(m_data)->references.fetch_add(1, std::memory_order_relaxed);
}

CString& CString::operator=(const CString& other) noexcept {
    if (other.m_data != nullptr) HeaderOf(other.m_data)->references.fetch_add(1, std::memory_order_relaxed);
    Release(m_data);
    m_data = other.m_data;
    return *this;
}

CString& CString::operator=(CString&& other) noexcept {
    if (this != &other) {
        Release(m_data);
        m_data = other.m_data;
        other.m_data = nullptr;
    }
    return *this;
}

CString::~CString() { Release(m_data); }

void CString::Empty() {
    Release(m_data);
    m_data = nullptr;
}

namespace {
int CheckedLength(std::size_t length) {
    if (length >= static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    return static_cast<int>(length);
}
}  // namespace

CString::CString(const wchar_t* text) {
    if (text != nullptr && *text != L'\0') {
        const int length = CheckedLength(std::wcslen(text));
        m_data = Allocate(length, text, length);
    }
}

CString::CString(const wchar_t* text, int length) {
    if (text != nullptr && length > 0) m_data = Allocate(length, text, length);
}

CString::CString(wchar_t ch, int repeat) {
    if (repeat <= 0) return;
    m_data = Allocate(repeat, nullptr, 0);
    std::wmemset(m_data, ch, static_cast<std::size_t>(repeat));
    m_data[repeat] = L'\0';
    HeaderOf(m_data)->length = repeat;
}

CString::CString(std::wstring&& text) {
    if (!text.empty()) {
        const int length = CheckedLength(text.size());
        m_data = Allocate(length, text.data(), length);
    }
}

CString::CString(const char* text) {
    if (text == nullptr || *text == '\0') return;
    const int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 1) return;
    // The buffer has room for the terminator that the conversion writes.
    m_data = Allocate(needed - 1, nullptr, 0);
    MultiByteToWideChar(CP_ACP, 0, text, -1, m_data, needed);
    HeaderOf(m_data)->length = needed - 1;
    m_data[needed - 1] = L'\0';
}

// The new text is complete before the old one goes: text may point into it.
CString& CString::operator=(const wchar_t* text) {
    *this = CString(text);
    return *this;
}

wchar_t CString::GetAt(int index) const {
    return (index >= 0 && index < GetLength()) ? m_data[index] : L'\0';
}

void CString::SetAt(int index, wchar_t ch) {
    if (index >= 0 && index < GetLength()) Unique(GetLength())[index] = ch;
}

// Text that points into this one stays valid while it is appended: a new buffer is filled before
// the old one goes, and in place the appended units lie beyond the ones they are read from.
void CString::Append(const wchar_t* text, int length) {
    if (text == nullptr || length <= 0) return;
    const int old = GetLength();
    if (length > INT_MAX - 1 - old) throw std::bad_alloc();
    if (m_data != nullptr && HeaderOf(m_data)->references.load(std::memory_order_acquire) == 1 &&
        HeaderOf(m_data)->capacity >= old + length) {
        std::wmemmove(m_data + old, text, static_cast<std::size_t>(length));
    } else {
        int capacity = old + length;
        if (old > 0 && capacity < old + old / 2 && old + old / 2 < INT_MAX / 2) capacity = old + old / 2;
        wchar_t* data = Allocate(capacity, m_data, old);
        std::wmemcpy(data + old, text, static_cast<std::size_t>(length));
        Release(m_data);
        m_data = data;
    }
    HeaderOf(m_data)->length = old + length;
    m_data[old + length] = L'\0';
}

CString& CString::operator+=(const CString& text) {
    Append(text.GetString(), text.GetLength());
    return *this;
}

CString& CString::operator+=(const wchar_t* text) {
    if (text != nullptr && *text != L'\0') Append(text, CheckedLength(std::wcslen(text)));
    return *this;
}

CString& CString::operator+=(wchar_t ch) {
    Append(&ch, 1);
    return *this;
}

int CString::Compare(const CString& other) const {
    if (m_data == other.m_data) return 0;
    return CompareUnits(GetString(), static_cast<std::size_t>(GetLength()), other.GetString(),
                        static_cast<std::size_t>(other.GetLength()));
}

int CString::Compare(const wchar_t* other) const {
    if (other == nullptr) other = L"";
    return CompareUnits(GetString(), static_cast<std::size_t>(GetLength()), other, std::wcslen(other));
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
    const auto pos = std::wstring_view(GetString(), static_cast<std::size_t>(GetLength())).find(ch, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const wchar_t* sub, int start) const {
    if (sub == nullptr || start < 0 || start > GetLength()) return -1;
    const auto pos = std::wstring_view(GetString(), static_cast<std::size_t>(GetLength())).find(sub, static_cast<std::size_t>(start));
    return pos == std::wstring::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(wchar_t ch) const {
    const auto pos = std::wstring_view(GetString(), static_cast<std::size_t>(GetLength())).rfind(ch);
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
    const int length = GetLength();
    if (index >= 0 && index < length && count > 0) {
        if (count > length - index) count = length - index;
        wchar_t* data = Unique(length);
        std::wmemmove(data + index, data + index + count, static_cast<std::size_t>(length - index - count));
        HeaderOf(data)->length = length - count;
        data[length - count] = L'\0';
    }
    return GetLength();
}

void CString::Truncate(int length) {
    if (length >= 0 && length < GetLength()) {
        wchar_t* data = Unique(length);
        HeaderOf(data)->length = length;
        data[length] = L'\0';
    }
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
    if (AppendFormatted(result, format, args)) *this = std::move(result);
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

// Decoded straight into the buffer, which has a unit for every byte; one left much too large (text
// mostly beyond ASCII) is copied into one of the right size.
CString CString::FromUtf8(const char* text, std::size_t length) {
    if (text == nullptr || length == 0) return CString();
    if (length >= static_cast<std::size_t>(INT_MAX)) throw std::bad_alloc();
    CString result;
    result.m_data = Allocate(static_cast<int>(length), nullptr, 0);
    const auto units = static_cast<int>(cu::detail::Utf8ToWide(text, length, result.m_data));
    result.m_data[units] = L'\0';
    HeaderOf(result.m_data)->length = units;
    if (static_cast<std::size_t>(units) * 2 < length) return CString(result.m_data, units);
    return result;
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
    return static_cast<int>(cu::detail::Utf16Length(GetString(), static_cast<std::size_t>(GetLength())));
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
