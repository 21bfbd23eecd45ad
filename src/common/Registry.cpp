// CCommonRegistry: numbers and strings in the registry, and the tool-value list.
#include "commonutility/Registry.h"

#include <cstdint>

#include "commonutility/FileOperation.h"
#include "platform/Scoped.h"
#include "platform/Unicode.h"
#include "platform/win32.h"

namespace {

// Strings travel through a buffer of this many bytes: 511 code units and the zero unit.
constexpr DWORD kStringBytes = 1024;
constexpr int kMaxStringUnits = static_cast<int>(kStringBytes / 2) - 1;

// Reads a value into buffer, announcing size bytes; size becomes the count delivered.
bool Query(HKEY root, const wchar_t* subKey, const wchar_t* valueName, BYTE* buffer, DWORD& size) {
    const cu::platform::ScopedKey key = cu::platform::OpenRegKey(root, subKey, KEY_READ);
    if (!key.IsValid()) return false;
    return RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, buffer, &size) == ERROR_SUCCESS;
}

bool Set(HKEY root, const wchar_t* subKey, const wchar_t* valueName, DWORD type, const BYTE* data,
         DWORD size) {
    const cu::platform::ScopedKey key = cu::platform::OpenRegKey(root, subKey, KEY_WRITE);
    if (!key.IsValid()) return false;
    return RegSetValueExW(key.Get(), valueName, 0, type, data, size) == ERROR_SUCCESS;
}

void PutUnit(BYTE*& out, std::uint32_t unit) {
    *out++ = static_cast<BYTE>(unit & 0xFF);
    *out++ = static_cast<BYTE>(unit >> 8);
}

// The text's UTF-16 code units, zero units left out, as little-endian bytes with a zero unit at
// the end; where wchar_t is UTF-32 a character above U+FFFF becomes its surrogate pair. The byte
// count, or 0 when the text needs more than the buffer.
DWORD EncodeString(const CString& text, BYTE (&buffer)[kStringBytes]) {
    int units = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        const auto c = static_cast<std::uint32_t>(text.GetAt(i));
        if (c != 0) units += (!cu::detail::kWideIsUtf16 && c > 0xFFFF) ? 2 : 1;
    }
    if (units > kMaxStringUnits) return 0;
    BYTE* out = buffer;
    for (int i = 0; i < text.GetLength(); ++i) {
        auto c = static_cast<std::uint32_t>(text.GetAt(i));
        if (c == 0) continue;
        if (!cu::detail::kWideIsUtf16 && c > 0xFFFF) {
            if (c > 0x10FFFF) c = cu::detail::kReplacementChar;
            else {
                c -= 0x10000;
                PutUnit(out, 0xD800 + (c >> 10));
                c = 0xDC00 + (c & 0x3FF);
            }
        }
        PutUnit(out, c);
    }
    PutUnit(out, 0);
    return static_cast<DWORD>(out - buffer);
}

// UTF-16LE bytes up to the first zero unit or the end. Where wchar_t is UTF-32 a surrogate pair
// becomes one character and a lone surrogate stays as it is, so it is written back unchanged.
CString DecodeString(const BYTE* data, DWORD size) {
    CString text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        std::uint32_t unit = data[i] | (static_cast<std::uint32_t>(data[i + 1]) << 8);
        if (unit == 0) break;
        if (!cu::detail::kWideIsUtf16 && unit >= 0xD800 && unit <= 0xDBFF && i + 3 < size) {
            const std::uint32_t low = data[i + 2] | (static_cast<std::uint32_t>(data[i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

}  // namespace

int CCommonRegistry::GetInt32(HKEY root, wchar_t* subKey, wchar_t* valueName, long& value) {
    BYTE bytes[4] = {0, 0, 0, 0};
    DWORD size = sizeof bytes;
    if (!Query(root, subKey, valueName, bytes, size)) return 0;
    const std::uint32_t number = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                 (static_cast<std::uint32_t>(bytes[3]) << 24);
    value = static_cast<long>(static_cast<std::int32_t>(number));
    return 1;
}

int CCommonRegistry::GetString(HKEY root, wchar_t* subKey, wchar_t* valueName, CString& value) {
    BYTE buffer[kStringBytes];
    DWORD size = kStringBytes;
    if (!Query(root, subKey, valueName, buffer, size)) return 0;
    value = DecodeString(buffer, size);
    return 1;
}

int CCommonRegistry::AddInt32(HKEY root, wchar_t* subKey, wchar_t* valueName, int value) {
    const auto number = static_cast<std::uint32_t>(value);
    const BYTE bytes[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                           static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return Set(root, subKey, valueName, REG_DWORD, bytes, sizeof bytes) ? 1 : 0;
}

int CCommonRegistry::AddString(HKEY root, wchar_t* subKey, wchar_t* valueName, const CString& value) {
    BYTE buffer[kStringBytes];
    const DWORD size = EncodeString(value, buffer);
    if (size == 0) return 0;
    return Set(root, subKey, valueName, REG_SZ, buffer, size) ? 1 : 0;
}

int CCommonRegistry::AddInitToolValue(wchar_t* machineKey, wchar_t* machineValueName, wchar_t* keyHead,
                                      wchar_t* /*unused*/, wchar_t* keyTail, wchar_t* namePrefix,
                                      const CString& text) {
    CString machineString;
    if (GetString(HKEY_LOCAL_MACHINE, machineKey, machineValueName, machineString) != 1) return 0;
    const CString listKey = CFileOperation::Concatenate(
        CFileOperation::Concatenate(CString(keyHead), machineString), CString(keyTail));
    wchar_t* const key = const_cast<wchar_t*>(listKey.GetString());

    CString countName;
    countName.Format(L"%sCount", namePrefix != nullptr ? namePrefix : L"");
    long count = 0;
    if (GetInt32(HKEY_CURRENT_USER, key, const_cast<wchar_t*>(countName.GetString()), count) != 1) return 0;
    if (count <= 0) return 1;

    // A failed read leaves the text of the one before it for the comparison.
    CString entry;
    CString entryName;
    for (long i = 0; i < count; ++i) {
        entryName.Format(L"%s%ld", namePrefix != nullptr ? namePrefix : L"", i);
        GetString(HKEY_CURRENT_USER, key, const_cast<wchar_t*>(entryName.GetString()), entry);
        if (entry.Compare(text) == 0) return 1;
    }
    // The entry before the count: a failure in between leaves an entry that the next call
    // overwrites.
    entryName.Format(L"%s%ld", namePrefix != nullptr ? namePrefix : L"", count);
    if (AddString(HKEY_CURRENT_USER, key, const_cast<wchar_t*>(entryName.GetString()), text) != 1) return 0;
    return AddInt32(HKEY_CURRENT_USER, key, const_cast<wchar_t*>(countName.GetString()),
                    static_cast<int>(count + 1));
}
